#pragma once

#include <QDialog>

#include "harmony/note.h"
#include "midi/port/midi_port.h"

class QComboBox;
class QSpinBox;

namespace sonavela::ui {

// How the chords sound and where the progression starts from.
struct SoundSettings {
  harmony::Key homeKey{{'C', 0}, harmony::kMajor};
  midi::VoicingSettings voicing;

  friend bool operator==(const SoundSettings&, const SoundSettings&) = default;
};

// "音色と声部": the home key, the voicing and its register, the channels
// and the velocity. It only edits the settings; the main dialog takes them
// at the next 開始.
class SoundDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit SoundDialog(const SoundSettings& settings, QWidget* parent = nullptr);

  [[nodiscard]] SoundSettings Settings() const;

  // The controls, for inspection.
  [[nodiscard]] QComboBox& Key() const { return *key_; }
  [[nodiscard]] QComboBox& Voicing() const { return *voicing_; }
  [[nodiscard]] QSpinBox& RegisterLow() const { return *low_; }
  [[nodiscard]] QSpinBox& RegisterHigh() const { return *high_; }
  [[nodiscard]] QSpinBox& Channel() const { return *channel_; }
  [[nodiscard]] QSpinBox& BassChannel() const { return *bassChannel_; }
  [[nodiscard]] QSpinBox& Velocity() const { return *velocity_; }

 private:
  void OnVoicingChanged();

  QComboBox* key_ = nullptr;
  QComboBox* voicing_ = nullptr;
  QSpinBox* low_ = nullptr;
  QSpinBox* high_ = nullptr;
  QSpinBox* channel_ = nullptr;
  QSpinBox* bassChannel_ = nullptr;
  QSpinBox* velocity_ = nullptr;
};

}  // namespace sonavela::ui
