// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMenu>
#include <QSpinBox>

#include "dialog_harness.h"
#include "ui/playback_adapters.h"
#include "ui/sync_dialog.h"

namespace sonavela::ui::testing {
namespace {

using namespace std::chrono_literals;

class SyncSettingsTest : public DialogTest {};

// The menu item opens the settings; what they say is taken at the next
// Start, and an untouched dialog keeps the program's two seconds.
TEST_F(SyncSettingsTest, TheMenuItemSitsAboveAboutAndItsSettingsTakeEffectAtStart) {
  Open(TwoDevices(), std::nullopt);
  const auto items = dialog->SystemMenu().actions();
  ASSERT_GE(items.size(), 4);
  EXPECT_EQ(items[items.size() - 4]->text(), QStringLiteral("テンポと同期(&T)..."));
  EXPECT_TRUE(items[items.size() - 2]->isSeparator());
  EXPECT_EQ(items.back()->data().toUInt(), kAboutCommand);

  WhenItAppears([] { return qobject_cast<SyncDialog*>(QApplication::activeModalWidget()); },
                [](SyncDialog* sync) {
                  EXPECT_EQ(sync->Tempo().value(), 120.0);
                  EXPECT_EQ(sync->BeatsPerChord().value(), 4);
                  EXPECT_EQ(sync->Source().currentText(), QStringLiteral("内部"));
                  EXPECT_FALSE(sync->ClockInput().isEnabled());
                  EXPECT_FALSE(sync->ClockOut().isChecked());
                  sync->Tempo().setValue(90);
                  sync->BeatsPerChord().setValue(3);
                  sync->accept();
                });
  dialog->OnSysCommand(kSyncCommand);
  EXPECT_EQ(dialog->SyncSettings().tempo, 90.0);
  EXPECT_EQ(dialog->StepTimerState().Period(), 2000ms) << "nothing changes before Start";
  Click(kIdStart);
  EXPECT_EQ(dialog->StepTimerState().Period(), 2000ms) << "90 BPM x 3 beats";
  timing::SyncSettings fast;
  fast.tempo = 60.0;
  fast.beatsPerChord = 1;
  dialog->SetSyncSettings(fast);
  Click(kIdStart);
  EXPECT_EQ(dialog->StepTimerState().Period(), 1000ms);
  EXPECT_TRUE(notifier.notices.empty());
}

TEST_F(SyncSettingsTest, AMasterThatCannotBeFollowedIsToldAndNothingStarts) {
  Open();
  timing::SyncSettings jack;
  jack.source = timing::SyncSource::kJack;
  dialog->SetSyncSettings(jack);
  Click(kIdStart);
  ASSERT_EQ(notifier.notices.size(), 1U);
  EXPECT_EQ(notifier.notices[0].text, QStringLiteral("同期の設定を使えません。"));
  EXPECT_EQ(List(kIdResultList)->count(), 0);
  EXPECT_FALSE(dialog->StepTimerState().IsArmed());
}

TEST(SyncDialog, OffersTheInputsOnlyForAMidiClockAndKeepsAnAbsentOne) {
  timing::SyncSettings settings;
  settings.source = timing::SyncSource::kMidiClock;
  settings.clockInput = "gone:clock";
  settings.clockOut = true;
  SyncDialog sync(settings, {"a:out", "b:clock"});
  EXPECT_TRUE(sync.ClockInput().isEnabled());
  EXPECT_EQ(sync.ClockInput().count(), 3);
  EXPECT_EQ(sync.Settings(), settings) << "unchanged by showing it";
  sync.Source().setCurrentIndex(sync.Source().findText(QStringLiteral("Ableton Link")));
  EXPECT_FALSE(sync.ClockInput().isEnabled());
  EXPECT_EQ(sync.Settings().source, timing::SyncSource::kLink);
}

}  // namespace
}  // namespace sonavela::ui::testing
