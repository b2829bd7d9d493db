// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/sync_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>
#include <array>

#include "ui/setting_boxes.h"

namespace sonavela::ui {

namespace {

struct SourceItem {
  timing::SyncSource source;
  const char* label;
};

// The order of the choice list.
constexpr std::array<SourceItem, 4> kSources{{
    {timing::SyncSource::kInternal, QT_TRANSLATE_NOOP("Sonavela", "内部")},
    {timing::SyncSource::kJack, QT_TRANSLATE_NOOP("Sonavela", "JACK トランスポート")},
    {timing::SyncSource::kMidiClock, QT_TRANSLATE_NOOP("Sonavela", "MIDI クロック")},
    {timing::SyncSource::kLink, "Ableton Link"},
}};

}  // namespace

SyncDialog::SyncDialog(const timing::SyncSettings& settings, std::vector<std::string> inputs,
                       QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QCoreApplication::translate("Sonavela", "テンポと同期"));
  auto* form = new QFormLayout(this);

  tempo_ = NewDecimalBox(this, playback::Spec(playback::Setting::kTempo));
  tempo_->setSuffix(QStringLiteral(" BPM"));
  tempo_->setValue(settings.tempo);
  form->addRow(QCoreApplication::translate("Sonavela", "テンポ(&T):"), tempo_);

  beats_ =
      NewSpinBox(this, playback::Spec(playback::Setting::kBeatsPerChord), settings.beatsPerChord);
  form->addRow(QCoreApplication::translate("Sonavela", "コードあたりの拍数(&B):"), beats_);

  source_ = new QComboBox(this);
  for (const SourceItem& item : kSources) {
    source_->addItem(QCoreApplication::translate("Sonavela", item.label),
                     static_cast<int>(item.source));
  }
  source_->setCurrentIndex(source_->findData(static_cast<int>(settings.source)));
  form->addRow(QCoreApplication::translate("Sonavela", "同期(&S):"), source_);

  input_ = new QComboBox(this);
  for (const std::string& name : inputs) {
    input_->addItem(QString::fromStdString(name));
  }
  const int current = input_->findText(QString::fromStdString(settings.clockInput));
  if (current >= 0) {
    input_->setCurrentIndex(current);
  } else if (!settings.clockInput.empty()) {
    // An input that is not there now is kept, so that it is not lost.
    input_->addItem(QString::fromStdString(settings.clockInput));
    input_->setCurrentIndex(input_->count() - 1);
  }
  form->addRow(QCoreApplication::translate("Sonavela", "クロック入力(&I):"), input_);

  clockOut_ =
      new QCheckBox(QCoreApplication::translate("Sonavela", "MIDI クロックを出力する(&O)"), this);
  clockOut_->setChecked(settings.clockOut);
  form->addRow(clockOut_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)
      ->setText(QCoreApplication::translate("Sonavela", "キャンセル"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);

  connect(source_, &QComboBox::currentIndexChanged, this, &SyncDialog::OnSourceChanged);
  OnSourceChanged();
}

void SyncDialog::OnSourceChanged() {
  // Only a MIDI clock comes from an input.
  input_->setEnabled(Settings().source == timing::SyncSource::kMidiClock);
}

timing::SyncSettings SyncDialog::Settings() const {
  timing::SyncSettings settings;
  settings.tempo = tempo_->value();
  settings.beatsPerChord = beats_->value();
  settings.source = static_cast<timing::SyncSource>(source_->currentData().toInt());
  settings.clockInput = input_->currentText().toStdString();
  settings.clockOut = clockOut_->isChecked();
  return settings;
}

}  // namespace sonavela::ui
