// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/sound_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <array>

#include "generator/candidate_keys.h"
#include "harmony/names.h"
#include "ui/setting_boxes.h"

namespace sonavela::ui {

namespace {

// A row's label whose mnemonic reaches `buddy`, for rows that hold more than
// one control (QFormLayout gives a buddy only to a row of one).
QLabel* BuddyLabel(QWidget* parent, const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

struct VoicingItem {
  midi::VoicingMode mode;
  const char* label;
};

// The order of the choice list.
constexpr std::array<VoicingItem, 4> kVoicings{{
    {midi::VoicingMode::kFull, QT_TRANSLATE_NOOP("Sonavela", "全音域 (3 オクターブ)")},
    {midi::VoicingMode::kClose, QT_TRANSLATE_NOOP("Sonavela", "密集配置 (声部進行)")},
    {midi::VoicingMode::kOpen, QT_TRANSLATE_NOOP("Sonavela", "開離配置 (声部進行)")},
    {midi::VoicingMode::kBassTriad, QT_TRANSLATE_NOOP("Sonavela", "ベースと三和音")},
}};

struct PatternItem {
  midi::ChordPattern pattern;
  const char* label;
};

constexpr std::array<PatternItem, 5> kPatterns{{
    {midi::ChordPattern::kBlock, QT_TRANSLATE_NOOP("Sonavela", "ブロック (全音同時)")},
    {midi::ChordPattern::kArpeggioUp, QT_TRANSLATE_NOOP("Sonavela", "アルペジオ (上行)")},
    {midi::ChordPattern::kArpeggioDown, QT_TRANSLATE_NOOP("Sonavela", "アルペジオ (下行)")},
    {midi::ChordPattern::kStrum, QT_TRANSLATE_NOOP("Sonavela", "ストラム")},
    {midi::ChordPattern::kPulse, QT_TRANSLATE_NOOP("Sonavela", "拍ごとに刻む")},
}};

}  // namespace

SoundDialog::SoundDialog(const SoundSettings& settings, bool offerSynth, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      kept_(settings.synth) {
  setWindowTitle(QCoreApplication::translate("Sonavela", "音色と声部"));
  auto* form = new QFormLayout(this);

  key_ = new QComboBox(this);
  const auto& keys = generator::CandidateKeys();
  for (std::size_t i = 0; i < keys.size(); ++i) {
    key_->addItem(QString::fromStdString(harmony::KeyName(keys[i])), static_cast<int>(i));
  }
  key_->setCurrentIndex(key_->findData(generator::CandidateKeyIndex(settings.homeKey)));
  form->addRow(QCoreApplication::translate("Sonavela", "主調(&K):"), key_);

  voicing_ = new QComboBox(this);
  for (const VoicingItem& item : kVoicings) {
    voicing_->addItem(QCoreApplication::translate("Sonavela", item.label),
                      static_cast<int>(item.mode));
  }
  voicing_->setCurrentIndex(voicing_->findData(static_cast<int>(settings.voicing.mode)));
  form->addRow(QCoreApplication::translate("Sonavela", "和音の配置(&V):"), voicing_);

  auto* range = new QHBoxLayout;
  const playback::SettingSpec& notes = playback::Spec(playback::Setting::kRegister);
  low_ = NewSpinBox(this, static_cast<int>(notes.min),
                    static_cast<int>(notes.max) - notes.narrowest, settings.voicing.upper.low);
  high_ = NewSpinBox(this, static_cast<int>(notes.min) + notes.narrowest,
                     static_cast<int>(notes.max), settings.voicing.upper.high);
  range->addWidget(low_);
  range->addWidget(high_);
  // Two fields under one label: each says which end it is.
  low_->setAccessibleName(QCoreApplication::translate("Sonavela", "上声部の音域の下端"));
  high_->setAccessibleName(QCoreApplication::translate("Sonavela", "上声部の音域の上端"));
  form->addRow(BuddyLabel(this, QCoreApplication::translate("Sonavela", "上声部の音域(&R):"), low_),
               range);
  // The register is at least an octave wide, whichever end moves.
  connect(low_, &QSpinBox::valueChanged, this, [this](int low) {
    high_->setValue(std::max(high_->value(), low + midi::kNarrowestRegister));
  });
  connect(high_, &QSpinBox::valueChanged, this, [this](int high) {
    low_->setValue(std::min(low_->value(), high - midi::kNarrowestRegister));
  });

  channel_ =
      NewSpinBox(this, playback::Spec(playback::Setting::kChannel), settings.voicing.channel);
  form->addRow(QCoreApplication::translate("Sonavela", "チャンネル(&C):"), channel_);
  bassChannel_ = NewSpinBox(this, playback::Spec(playback::Setting::kBassChannel),
                            settings.voicing.bassChannel);
  bassChannel_->setSpecialValueText(QCoreApplication::translate("Sonavela", "和音と同じ"));
  form->addRow(QCoreApplication::translate("Sonavela", "ベースのチャンネル(&B):"), bassChannel_);
  velocity_ =
      NewSpinBox(this, playback::Spec(playback::Setting::kVelocity), settings.voicing.velocity);
  form->addRow(QCoreApplication::translate("Sonavela", "ベロシティ(&L):"), velocity_);

  pattern_ = new QComboBox(this);
  for (const PatternItem& item : kPatterns) {
    pattern_->addItem(QCoreApplication::translate("Sonavela", item.label),
                      static_cast<int>(item.pattern));
  }
  pattern_->setCurrentIndex(pattern_->findData(static_cast<int>(settings.voicing.pattern)));
  form->addRow(QCoreApplication::translate("Sonavela", "奏法(&P):"), pattern_);
  humanize_ =
      NewSpinBox(this, playback::Spec(playback::Setting::kHumanize), settings.voicing.humanizeMs);
  humanize_->setSuffix(QStringLiteral(" ms"));
  humanize_->setSpecialValueText(QCoreApplication::translate("Sonavela", "なし"));
  form->addRow(QCoreApplication::translate("Sonavela", "タイミングのゆらぎ(&H):"), humanize_);
  if (offerSynth) {
    AddSynthRows(settings.synth);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)
      ->setText(QCoreApplication::translate("Sonavela", "キャンセル"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(buttons);

  connect(voicing_, &QComboBox::currentIndexChanged, this, &SoundDialog::OnVoicingChanged);
  OnVoicingChanged();
}

void SoundDialog::AddSynthRows(const midi::SynthChoice& synth) {
  auto* form = static_cast<QFormLayout*>(layout());
  auto* file = new QHBoxLayout;
  soundFont_ = new QLineEdit(QString::fromStdString(synth.soundFont), this);
  soundFont_->setPlaceholderText(
      QCoreApplication::translate("Sonavela", "標準の General MIDI SoundFont"));
  auto* browse = new QPushButton(QCoreApplication::translate("Sonavela", "参照(&S)..."), this);
  connect(browse, &QPushButton::clicked, this, &SoundDialog::ChooseSoundFont);
  file->addWidget(soundFont_);
  file->addWidget(browse);
  // The placeholder whole, in either language.
  soundFont_->setMinimumWidth(
      soundFont_->fontMetrics().horizontalAdvance(soundFont_->placeholderText()) +
      soundFont_->fontMetrics().averageCharWidth() * 4);
  form->addRow(BuddyLabel(this, QStringLiteral("SoundFont(&F):"), soundFont_), file);
  gain_ = NewDecimalBox(this, playback::Spec(playback::Setting::kGain));
  gain_->setSuffix(QStringLiteral(" dB"));
  gain_->setValue(synth.sound.gainDb);
  form->addRow(QCoreApplication::translate("Sonavela", "内蔵シンセの音量(&G):"), gain_);
  reverb_ = new QCheckBox(QCoreApplication::translate("Sonavela", "リバーブ(&E)"), this);
  reverb_->setChecked(synth.sound.reverb);
  chorus_ = new QCheckBox(QCoreApplication::translate("Sonavela", "コーラス(&O)"), this);
  chorus_->setChecked(synth.sound.chorus);
  auto* effects = new QHBoxLayout;
  effects->addWidget(reverb_);
  effects->addWidget(chorus_);
  form->addRow(QCoreApplication::translate("Sonavela", "効果:"), effects);
}

void SoundDialog::ChooseSoundFont() {
  const QString chosen = QFileDialog::getOpenFileName(
      this, QCoreApplication::translate("Sonavela", "SoundFont を開く"), soundFont_->text(),
      QCoreApplication::translate("Sonavela",
                                  "SoundFont (*.sf2 *.sf3 *.dls);;すべてのファイル (*)"));
  if (!chosen.isEmpty()) {
    soundFont_->setText(chosen);
  }
}

void SoundDialog::OnVoicingChanged() {
  // The three-octave voicing has fixed ranges of its own.
  const bool ranged = Settings().voicing.mode != midi::VoicingMode::kFull;
  low_->setEnabled(ranged);
  high_->setEnabled(ranged);
}

SoundSettings SoundDialog::Settings() const {
  SoundSettings settings;
  settings.homeKey =
      generator::CandidateKeys()[static_cast<std::size_t>(key_->currentData().toInt())];
  settings.voicing.mode = static_cast<midi::VoicingMode>(voicing_->currentData().toInt());
  settings.voicing.upper = {low_->value(), high_->value()};
  settings.voicing.channel = channel_->value();
  settings.voicing.bassChannel = bassChannel_->value();
  settings.voicing.velocity = velocity_->value();
  settings.voicing.pattern = static_cast<midi::ChordPattern>(pattern_->currentData().toInt());
  settings.voicing.humanizeMs = humanize_->value();
  settings.synth = kept_;
  if (soundFont_ != nullptr) {
    settings.synth.soundFont = soundFont_->text().trimmed().toStdString();
    settings.synth.sound = {gain_->value(), reverb_->isChecked(), chorus_->isChecked()};
  }
  return settings;
}

}  // namespace sonavela::ui
