// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog's window menu and About box, while the progression plays.
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>

#include "dialog_harness.h"
#include "ui/about_dialog.h"

namespace sonavela::ui::testing {
namespace {

using namespace std::chrono_literals;

class WindowMenuTest : public DialogTest {};

// The window menu ends with a separator and the About item, which opens the
// About box; ticks keep coming while the menu and the box are open.
TEST_F(WindowMenuTest, TheWindowMenuOpensTheAboutBoxWhileTheProgressionPlays) {
  Open(TwoDevices(), 15ms);
  Click(kIdStart);
  QStringList menuItems;
  bool menuEndsWithSeparator = false;
  int linesWhenAboutOpened = -1;
  int linesWhenAboutClosed = -1;
  QString aboutTitle;

  WhenItAppears([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                [&](QMenu* menu) {
                  const auto actions = menu->actions();
                  for (const QAction* action : actions) {
                    menuItems << action->text();
                  }
                  menuEndsWithSeparator =
                      actions.size() >= 2 && actions[actions.size() - 2]->isSeparator();
                  QTest::keyClick(menu, Qt::Key_A);
                });
  WhenItAppears([] { return qobject_cast<AboutDialog*>(QApplication::activeModalWidget()); },
                [&](AboutDialog* about) {
                  aboutTitle = about->windowTitle();
                  linesWhenAboutOpened = List(kIdResultList)->count();
                  QTimer::singleShot(150, about, [&, about] {
                    linesWhenAboutClosed = List(kIdResultList)->count();
                    QTest::keyClick(about, Qt::Key_Escape);
                  });
                });
  QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5),
                               dialog->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(List(kIdResultList)->viewport(), &rightClick);

  ASSERT_FALSE(menuItems.isEmpty()) << "no menu";
  EXPECT_EQ(menuItems.back(), QStringLiteral("Sonavela のﾊﾞｰｼﾞｮﾝ情報(&A)..."));
  EXPECT_TRUE(menuEndsWithSeparator);
  EXPECT_EQ(aboutTitle, QStringLiteral("Sonavelaのﾊﾞｰｼﾞｮﾝ情報"));
  ASSERT_GE(linesWhenAboutOpened, 1);
  EXPECT_GT(linesWhenAboutClosed, linesWhenAboutOpened);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "Escape closed the About box";
  EXPECT_TRUE(dialog->isVisible());
}

// Shift+F10 is the dialog's own shortcut; the Menu key reaches the focused
// control as a keyboard context-menu event from the platform, which the
// controls without a menu of their own pass on to the dialog.
TEST_F(WindowMenuTest, TheWindowMenuOpensFromTheKeyboard) {
  Open();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  const std::function<void()> presses[] = {
      [&] { QTest::keyClick(dialog->windowHandle(), Qt::Key_F10, Qt::ShiftModifier); },
      [&] {
        // Sent to the first control rather than to whatever has the focus:
        // after the popup of the first way closes, the offscreen platform
        // hands the focus back only some time later.
        QWidget* control = List(kIdDeviceList);
        const QPoint at = control->rect().center();
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, at, control->mapToGlobal(at));
        QApplication::sendEvent(control, &menuKey);
      }};
  for (std::size_t i = 0; i < std::size(presses); ++i) {
    bool opened = false;
    WhenItAppears([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); },
                  [&](QMenu* menu) {
                    opened = menu == &dialog->SystemMenu();
                    menu->close();
                  });
    presses[i]();
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened; }, 2000)) << "way " << i;
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 2000));
  }
}

TEST_F(WindowMenuTest, TheAboutBoxClosesWithOk) {
  Open();
  bool closed = false;
  WhenItAppears([] { return qobject_cast<AboutDialog*>(QApplication::activeModalWidget()); },
                [&](AboutDialog* about) {
                  auto* ok = about->findChild<QPushButton*>(QStringLiteral("control1"));
                  ASSERT_NE(ok, nullptr);
                  QTest::mouseClick(ok, Qt::LeftButton);
                  closed = !about->isVisible();
                });
  dialog->OnSysCommand(kAboutCommand + 3);  // the low four bits are the system's
  EXPECT_TRUE(closed);
}

// With the program's own message boxes: the box names the failure, has only
// OK and no icon, and the progression keeps playing while it is open.
TEST_F(WindowMenuTest, TicksGoOnWhileAMessageBoxIsOpen) {
  Open({{"Synth A"}, {"Port B", false}}, 15ms, /*realBoxes=*/true);
  Click(kIdStart);
  QString text;
  QString title;
  QMessageBox::Icon icon = QMessageBox::Warning;
  QMessageBox::StandardButtons buttons;
  int linesWhenOpened = -1;
  int linesWhenClosed = -1;
  WhenItAppears([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
                [&](QMessageBox* box) {
                  text = box->text();
                  title = box->windowTitle();
                  icon = box->icon();
                  buttons = box->standardButtons();
                  linesWhenOpened = List(kIdResultList)->count();
                  QTimer::singleShot(150, box, [&, box] {
                    linesWhenClosed = List(kIdResultList)->count();
                    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
                  });
                });
  ClickLine(kIdDeviceList, 1);
  EXPECT_EQ(text, QStringLiteral("<Open Error>"));
  EXPECT_EQ(title, QStringLiteral("sonavela_ui_test"));
  EXPECT_EQ(icon, QMessageBox::NoIcon);
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_GT(linesWhenClosed, linesWhenOpened);
}

}  // namespace
}  // namespace sonavela::ui::testing
