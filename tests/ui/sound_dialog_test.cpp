// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>

#include "dialog_harness.h"
#include "ui/sound_dialog.h"

namespace sonavela::ui::testing {
namespace {

class SoundSettingsTest : public DialogTest {};

const harmony::Key kAMinor{{'A', 0}, harmony::kMinor};
const harmony::Key kEFlat{{'E', -1}, harmony::kMajor};

// The menu item opens the settings, 開始 takes them, and the box 短調 and
// the key choice agree on A minor.
TEST_F(SoundSettingsTest, TheSettingsTakeEffectAtStartAndTheBoxFollowsAMinor) {
  Open();
  WhenItAppears([] { return qobject_cast<SoundDialog*>(QApplication::activeModalWidget()); },
                [](SoundDialog* sound) {
                  EXPECT_EQ(sound->Settings(), SoundSettings{}) << "the program's own sound";
                  EXPECT_FALSE(sound->RegisterLow().isEnabled());
                  sound->Key().setCurrentIndex(sound->Key().findText(QStringLiteral("Eb")));
                  sound->Voicing().setCurrentIndex(2);  // open
                  sound->Channel().setValue(3);
                  sound->BassChannel().setValue(2);
                  sound->Velocity().setValue(100);
                  sound->Pattern().setCurrentIndex(4);  // pulse
                  sound->Humanize().setValue(7);
                  EXPECT_EQ(sound->SoundFont(), nullptr) << "no synthesizer to set up";
                  sound->accept();
                });
  dialog->OnSysCommand(kSoundCommand);
  EXPECT_EQ(dialog->SoundSettings().homeKey, kEFlat);
  EXPECT_EQ(dialog->SoundSettings().voicing,
            (midi::VoicingSettings{midi::VoicingMode::kOpen, midi::kDefaultRegister, 3, 2, 100,
                                   midi::ChordPattern::kPulse, 7}));

  log->Clear();
  Click(kIdStart);
  EXPECT_EQ(Lines(kIdResultList), QStringList{QStringLiteral("Eb  : Eb")});
  const auto messages = log->MessagesTo(0);
  // Silence on both channels, then the instrument on the chords' channel.
  ASSERT_GE(messages.size(), 4U);
  EXPECT_EQ(messages[0], midi::MidiMessage::AllNotesOff(3));
  EXPECT_EQ(messages[1], midi::MidiMessage::AllNotesOff(2));
  EXPECT_EQ(messages[2], midi::MidiMessage::ProgramChange(3, 48));
  for (const midi::MidiMessage& m : messages) {
    if (m.IsNoteOn()) {
      EXPECT_EQ(m.Data2(), 100);
      EXPECT_TRUE(m.Channel() == 3 || m.Channel() == 2) << m.Channel();
    }
  }

  QCheckBox* minor = Ctl<QCheckBox>(kIdMinorCheck);
  EXPECT_FALSE(minor->isChecked());
  SoundSettings aMinor = dialog->SoundSettings();
  aMinor.homeKey = kAMinor;
  dialog->SetSoundSettings(aMinor);
  EXPECT_TRUE(minor->isChecked());
  minor->setChecked(false);
  Click(kIdStart);
  EXPECT_EQ(Lines(kIdResultList), QStringList{QStringLiteral("C   : C")}) << "the box says C";
  minor->setChecked(true);
  Click(kIdStart);
  EXPECT_EQ(Lines(kIdResultList), QStringList{QStringLiteral("Am  : Am")});
}

TEST(SoundDialog, OffersTheSynthesizersSoundFontGainAndEffects) {
  SoundSettings settings;
  settings.synth = {"/x/gm.sf2", {-6.0, true, false}};
  SoundDialog sound(settings, true);
  ASSERT_NE(sound.SoundFont(), nullptr);
  EXPECT_EQ(sound.Settings(), settings);
  sound.SoundFont()->setText(QStringLiteral("  /y/strings.sf2 "));
  sound.Gain()->setValue(-12.5);
  sound.Reverb()->setChecked(false);
  sound.Chorus()->setChecked(true);
  EXPECT_EQ(sound.Settings().synth, (midi::SynthChoice{"/y/strings.sf2", {-12.5, false, true}}));
}

TEST(SoundDialog, KeepsTheRegisterAnOctaveWide) {
  SoundSettings settings;
  settings.voicing.mode = midi::VoicingMode::kClose;
  SoundDialog sound(settings);
  EXPECT_TRUE(sound.RegisterLow().isEnabled());
  sound.RegisterLow().setValue(75);
  EXPECT_EQ(sound.Settings().voicing.upper, (midi::NoteRange{75, 87}));
  sound.RegisterHigh().setValue(70);
  EXPECT_EQ(sound.Settings().voicing.upper, (midi::NoteRange{58, 70}));
}

}  // namespace
}  // namespace sonavela::ui::testing
