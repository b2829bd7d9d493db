// SPDX-License-Identifier: GPL-3.0-or-later
// Every dialog without the mouse: every mnemonic, pressed as a user presses
// it, reaches the control its label names, no two controls of a dialog share
// a letter, and every control has a name a screen reader can say.
#include <QAbstractButton>
#include <QAccessible>
#include <QKeySequence>
#include <QLabel>
#include <map>

#include "dialog_harness.h"
#include "ui/sound_dialog.h"
#include "ui/sync_dialog.h"

namespace sonavela::ui::testing {
namespace {

class MnemonicTest : public DialogTest {
 protected:
  // Runs `check` on the main dialog and on the sound and sync dialogs, each
  // with every control enabled: a voicing with a register, a MIDI clock.
  template <typename Check>
  void ForEveryDialog(Check check) {
    Open();
    check(*dialog, "main dialog");
    SoundSettings voiced;
    voiced.voicing.mode = midi::VoicingMode::kClose;
    SoundDialog sound(voiced, true);
    check(sound, "sound");
    timing::SyncSettings following;
    following.source = timing::SyncSource::kMidiClock;
    SyncDialog sync(following, {"a:out"});
    check(sync, "sync");
  }
};

void WalkMnemonics(QWidget& window, const std::string& name) {
  SCOPED_TRACE(name);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  std::map<int, int> controls;  // per key, the controls it reaches
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    const QKeySequence key = QKeySequence::mnemonic(button->text());
    if (!key.isEmpty() && button->isVisible()) {
      ++controls[key[0].toCombined()];
    }
  }
  for (QLabel* label : window.findChildren<QLabel*>()) {
    const QKeySequence key = QKeySequence::mnemonic(label->text());
    if (key.isEmpty() || !label->isVisible()) {
      continue;
    }
    QWidget* buddy = label->buddy();
    ASSERT_NE(buddy, nullptr) << "shows its & as it is: " << label->text().toStdString();
    ++controls[key[0].toCombined()];
    if (!buddy->isEnabled()) {
      continue;  // a control that does not apply now takes no focus
    }
    window.setFocus();
    QTest::keyClick(window.windowHandle(), key[0].key(), key[0].keyboardModifiers());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
          const QWidget* focus = QApplication::focusWidget();
          return focus == buddy || (focus != nullptr && buddy->isAncestorOf(focus));
        },
        1000))
        << label->text().toStdString();
  }
  for (const auto& [key, count] : controls) {
    EXPECT_EQ(count, 1) << QKeySequence(key).toString().toStdString() << " reaches " << count;
  }
}

TEST_F(MnemonicTest, EveryMnemonicReachesItsOwnControl) {
  ForEveryDialog(WalkMnemonics);
}

// What a screen reader says of each control the focus can reach.
void ExpectNamed(QWidget& window, const std::string& name) {
  SCOPED_TRACE(name);
  window.show();
  for (QWidget* control : window.findChildren<QWidget*>()) {
    if (control->focusPolicy() == Qt::NoFocus || !control->isVisible() ||
        control->focusProxy() != nullptr || control->parentWidget()->focusProxy() == control) {
      continue;  // what the focus cannot reach, or reaches through another
    }
    const QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    ASSERT_NE(accessible, nullptr);
    EXPECT_FALSE(accessible->text(QAccessible::Name).trimmed().isEmpty())
        << control->metaObject()->className() << " " << control->objectName().toStdString();
  }
}

TEST_F(MnemonicTest, EveryControlHasANameForScreenReaders) {
  ForEveryDialog(ExpectNamed);
}

}  // namespace
}  // namespace sonavela::ui::testing
