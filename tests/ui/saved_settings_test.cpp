// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/saved_settings.h"

#include <QCheckBox>

#include "dialog_harness.h"

namespace sonavela::ui::testing {
namespace {

class SavedSettingsTest : public DialogTest {
 protected:
  void TearDown() override {
    QSettings settings = ProgramSettings();
    settings.remove(QStringLiteral("sound"));
    settings.remove(QStringLiteral("sync"));
  }
};

// The sound and tempo settings come back after a restart; the specified
// controls, the home key among them, start as specified, and a value the
// setting does not take is left out.
TEST_F(SavedSettingsTest, SoundAndTempoComeBackAndTheSpecifiedControlsStartAsSpecified) {
  remember = true;
  Open();
  ui::SoundSettings sound = dialog->SoundSettings();
  sound.homeKey = {{'D', 0}, harmony::kMajor};
  sound.voicing.mode = midi::VoicingMode::kOpen;
  sound.voicing.pattern = midi::ChordPattern::kStrum;
  sound.voicing.upper = {50, 70};
  sound.voicing.velocity = 90;
  sound.voicing.humanizeMs = 12;
  sound.synth = {"/x/strings.sf2", {-6.5, false, true}};
  dialog->SetSoundSettings(sound);
  timing::SyncSettings sync;
  sync.tempo = 96.5;
  sync.beatsPerChord = 2;
  sync.clockOut = true;
  dialog->SetSyncSettings(sync);

  dialog.reset();
  Open();
  EXPECT_EQ(dialog->SoundSettings().voicing, sound.voicing);
  EXPECT_EQ(dialog->SoundSettings().synth, sound.synth);
  EXPECT_EQ(dialog->SyncSettings(), sync);
  EXPECT_EQ(dialog->SoundSettings().homeKey, (harmony::Key{{'C', 0}, harmony::kMajor}));
  EXPECT_FALSE(Ctl<QCheckBox>(kIdMinorCheck)->isChecked());

  ProgramSettings().setValue(QStringLiteral("sound/velocity"), 300);
  ProgramSettings().setValue(QStringLiteral("sound/voicing"), QStringLiteral("spec"));
  ProgramSettings().setValue(QStringLiteral("sync/tempo"), QStringLiteral("fast"));
  dialog.reset();
  Open();
  EXPECT_EQ(dialog->SoundSettings().voicing.velocity, midi::VoicingSettings{}.velocity);
  EXPECT_EQ(dialog->SoundSettings().voicing.mode, midi::VoicingSettings{}.mode);
  EXPECT_EQ(dialog->SyncSettings().tempo, timing::SyncSettings{}.tempo);
  EXPECT_EQ(dialog->SoundSettings().voicing.humanizeMs, 12) << "the rest as saved";

  remember = false;
  dialog.reset();
  Open();
  EXPECT_EQ(dialog->SoundSettings().voicing, midi::VoicingSettings{});
}

}  // namespace
}  // namespace sonavela::ui::testing
