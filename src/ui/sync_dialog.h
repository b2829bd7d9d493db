// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "timing/sync_settings.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;

namespace sonavela::ui {

// "テンポと同期": the tempo, the beats of a chord, the master to follow,
// the MIDI input of a MIDI clock, and MIDI clock output. It only edits the
// settings; the main dialog takes them at the next 開始.
class SyncDialog final : public QDialog {
  Q_OBJECT

 public:
  // `inputs` are the MIDI inputs a MIDI clock can come from.
  SyncDialog(const timing::SyncSettings& settings, std::vector<std::string> inputs,
             QWidget* parent = nullptr);

  [[nodiscard]] timing::SyncSettings Settings() const;

  // The controls, for inspection.
  [[nodiscard]] QDoubleSpinBox& Tempo() const { return *tempo_; }
  [[nodiscard]] QSpinBox& BeatsPerChord() const { return *beats_; }
  [[nodiscard]] QComboBox& Source() const { return *source_; }
  [[nodiscard]] QComboBox& ClockInput() const { return *input_; }
  [[nodiscard]] QCheckBox& ClockOut() const { return *clockOut_; }

 private:
  void OnSourceChanged();

  QDoubleSpinBox* tempo_ = nullptr;
  QSpinBox* beats_ = nullptr;
  QComboBox* source_ = nullptr;
  QComboBox* input_ = nullptr;
  QCheckBox* clockOut_ = nullptr;
};

}  // namespace sonavela::ui
