// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "harmony/note.h"
#include "midi/devices/synth/synth_config.h"
#include "midi/port/midi_port.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QSpinBox;

namespace sonavela::ui {

// How the chords sound and where the progression starts from.
struct SoundSettings {
  harmony::Key homeKey{{'C', 0}, harmony::kMajor};
  midi::VoicingSettings voicing;
  midi::SynthChoice synth;

  friend bool operator==(const SoundSettings&, const SoundSettings&) = default;
};

// "音色と声部": the home key, the voicing and its register, the channels,
// the velocity, the pattern and its looseness, and where the built-in
// synthesizer is offered its SoundFont, gain, reverb and chorus. It only
// edits the settings; the main dialog takes them at the next 開始 (the
// synthesizer's when it opens again).
class SoundDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit SoundDialog(const SoundSettings& settings, bool offerSynth = false,
                       QWidget* parent = nullptr);

  [[nodiscard]] SoundSettings Settings() const;

  // The controls, for inspection.
  [[nodiscard]] QComboBox& Key() const { return *key_; }
  [[nodiscard]] QComboBox& Voicing() const { return *voicing_; }
  [[nodiscard]] QSpinBox& RegisterLow() const { return *low_; }
  [[nodiscard]] QSpinBox& RegisterHigh() const { return *high_; }
  [[nodiscard]] QSpinBox& Channel() const { return *channel_; }
  [[nodiscard]] QSpinBox& BassChannel() const { return *bassChannel_; }
  [[nodiscard]] QSpinBox& Velocity() const { return *velocity_; }
  [[nodiscard]] QComboBox& Pattern() const { return *pattern_; }
  [[nodiscard]] QSpinBox& Humanize() const { return *humanize_; }
  // Null unless the synthesizer is offered.
  [[nodiscard]] QLineEdit* SoundFont() const { return soundFont_; }
  [[nodiscard]] QDoubleSpinBox* Gain() const { return gain_; }
  [[nodiscard]] QCheckBox* Reverb() const { return reverb_; }
  [[nodiscard]] QCheckBox* Chorus() const { return chorus_; }

 private:
  void OnVoicingChanged();
  void AddSynthRows(const midi::SynthChoice& synth);
  void ChooseSoundFont();

  midi::SynthChoice kept_;  // what is not offered stays as it was

  QComboBox* key_ = nullptr;
  QComboBox* voicing_ = nullptr;
  QSpinBox* low_ = nullptr;
  QSpinBox* high_ = nullptr;
  QSpinBox* channel_ = nullptr;
  QSpinBox* bassChannel_ = nullptr;
  QSpinBox* velocity_ = nullptr;
  QComboBox* pattern_ = nullptr;
  QSpinBox* humanize_ = nullptr;
  QLineEdit* soundFont_ = nullptr;
  QDoubleSpinBox* gain_ = nullptr;
  QCheckBox* reverb_ = nullptr;
  QCheckBox* chorus_ = nullptr;
};

}  // namespace sonavela::ui
