// SPDX-License-Identifier: GPL-3.0-or-later
#include <QListWidget>

#include "dialog_harness.h"

namespace sonavela::ui::testing {
namespace {

class ListFocusTest : public DialogTest {};

// The colour behind a list's selected line, as drawn.
QColor SelectionColour(QListWidget& list) {
  const QRect line = list.visualItemRect(list.currentItem());
  const QImage drawn = list.viewport()->grab().toImage();
  return drawn.pixelColor(line.right() - 2, line.center().y());
}

// Which list has the keyboard focus shows: its selection in the highlight,
// the others' in grey.
TEST_F(ListFocusTest, TheListWithTheFocusShowsItsSelectionInTheHighlight) {
  Open();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  QListWidget* devices = List(kIdDeviceList);
  QListWidget* rules = List(kIdConnList);
  for (QListWidget* focused : {devices, rules}) {
    focused->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return focused->hasFocus(); }));
    QListWidget* other = focused == devices ? rules : devices;
    const QColor highlight = focused->palette().color(QPalette::Highlight);
    const QColor shown = SelectionColour(*focused);
    EXPECT_LT(std::abs(shown.lightness() - highlight.lightness()), 12)
        << shown.name().toStdString() << " for " << highlight.name().toStdString();
    const QColor quiet = SelectionColour(*other);
    EXPECT_GT(std::abs(quiet.lightness() - highlight.lightness()), 40)
        << quiet.name().toStdString() << " beside " << highlight.name().toStdString();
  }
}

}  // namespace
}  // namespace sonavela::ui::testing
