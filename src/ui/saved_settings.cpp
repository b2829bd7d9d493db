// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/saved_settings.h"

#include <algorithm>
#include <optional>
#include <string>

#include "playback/settings.h"

namespace sonavela::ui {

namespace {

using playback::Setting;

// Each under its setting's name, as the command line spells its option.
QString Key(Setting setting, const char* part = nullptr) {
  QString key = QString::fromUtf8(playback::Spec(setting).name.data(),
                                  static_cast<qsizetype>(playback::Spec(setting).name.size()));
  if (part != nullptr) {
    key += QLatin1Char('-') + QLatin1String(part);
  }
  const bool timing =
      setting == Setting::kSync || setting == Setting::kTempo || setting == Setting::kBeatsPerChord;
  return (timing ? QStringLiteral("sync/") : QStringLiteral("sound/")) + key;
}

void PutChoice(QSettings& settings, Setting setting, int index) {
  const auto& values = playback::Spec(setting).values;
  if (index >= 0 && static_cast<std::size_t>(index) < values.size()) {
    settings.setValue(
        Key(setting),
        QString::fromUtf8(values[static_cast<std::size_t>(index)].data(),
                          static_cast<qsizetype>(values[static_cast<std::size_t>(index)].size())));
  }
}

std::optional<int> Choice(const QSettings& settings, Setting setting) {
  const std::string name = settings.value(Key(setting)).toString().toStdString();
  const auto& values = playback::Spec(setting).values;
  const auto found = std::find(values.begin(), values.end(), name);
  if (found == values.end()) {
    return std::nullopt;
  }
  return static_cast<int>(found - values.begin());
}

std::optional<double> Number(const QSettings& settings, Setting setting,
                             const char* part = nullptr) {
  bool ok = false;
  const double value = settings.value(Key(setting, part)).toDouble(&ok);
  if (!ok || !playback::InRange(playback::Spec(setting), value)) {
    return std::nullopt;
  }
  return value;
}

template <typename T>
void Take(std::optional<double> value, T& into) {
  if (value) {
    into = static_cast<T>(*value);
  }
}

}  // namespace

QSettings ProgramSettings() {
  return QSettings(QStringLiteral("Sonavela"), QStringLiteral("Sonavela"));
}

void SaveSoundSettings(const SoundSettings& sound) {
  QSettings settings = ProgramSettings();
  const midi::VoicingSettings& voicing = sound.voicing;
  PutChoice(settings, Setting::kVoicing, static_cast<int>(voicing.mode));
  PutChoice(settings, Setting::kPattern, static_cast<int>(voicing.pattern));
  settings.setValue(Key(Setting::kRegister, "low"), voicing.upper.low);
  settings.setValue(Key(Setting::kRegister, "high"), voicing.upper.high);
  settings.setValue(Key(Setting::kChannel), voicing.channel);
  settings.setValue(Key(Setting::kBassChannel), voicing.bassChannel);
  settings.setValue(Key(Setting::kVelocity), voicing.velocity);
  settings.setValue(Key(Setting::kHumanize), voicing.humanizeMs);
  settings.setValue(QStringLiteral("sound/soundfont"),
                    QString::fromStdString(sound.synth.soundFont));
  settings.setValue(Key(Setting::kGain), sound.synth.sound.gainDb);
  settings.setValue(Key(Setting::kReverb), sound.synth.sound.reverb ? 1 : 0);
  settings.setValue(Key(Setting::kChorus), sound.synth.sound.chorus ? 1 : 0);
}

void SaveSyncSettings(const timing::SyncSettings& sync) {
  QSettings settings = ProgramSettings();
  PutChoice(settings, Setting::kSync, static_cast<int>(sync.source));
  settings.setValue(Key(Setting::kTempo), sync.tempo);
  settings.setValue(Key(Setting::kBeatsPerChord), sync.beatsPerChord);
  settings.setValue(QStringLiteral("sync/clock-from"), QString::fromStdString(sync.clockInput));
  settings.setValue(QStringLiteral("sync/clock-out"), sync.clockOut);
}

void LoadSavedSettings(SoundSettings& sound, timing::SyncSettings& sync) {
  const QSettings settings = ProgramSettings();
  midi::VoicingSettings& voicing = sound.voicing;
  if (const auto mode = Choice(settings, Setting::kVoicing)) {
    voicing.mode = static_cast<midi::VoicingMode>(*mode);
  }
  if (const auto pattern = Choice(settings, Setting::kPattern)) {
    voicing.pattern = static_cast<midi::ChordPattern>(*pattern);
  }
  const auto low = Number(settings, Setting::kRegister, "low");
  const auto high = Number(settings, Setting::kRegister, "high");
  if (low && high && *high - *low >= playback::Spec(Setting::kRegister).narrowest) {
    voicing.upper.low = static_cast<int>(*low);
    voicing.upper.high = static_cast<int>(*high);
  }
  Take(Number(settings, Setting::kChannel), voicing.channel);
  Take(Number(settings, Setting::kBassChannel), voicing.bassChannel);
  Take(Number(settings, Setting::kVelocity), voicing.velocity);
  Take(Number(settings, Setting::kHumanize), voicing.humanizeMs);
  if (settings.contains(QStringLiteral("sound/soundfont"))) {
    sound.synth.soundFont =
        settings.value(QStringLiteral("sound/soundfont")).toString().toStdString();
  }
  Take(Number(settings, Setting::kGain), sound.synth.sound.gainDb);
  if (const auto reverb = Number(settings, Setting::kReverb)) {
    sound.synth.sound.reverb = *reverb != 0;
  }
  if (const auto chorus = Number(settings, Setting::kChorus)) {
    sound.synth.sound.chorus = *chorus != 0;
  }
  if (const auto source = Choice(settings, Setting::kSync)) {
    sync.source = static_cast<timing::SyncSource>(*source);
  }
  Take(Number(settings, Setting::kTempo), sync.tempo);
  Take(Number(settings, Setting::kBeatsPerChord), sync.beatsPerChord);
  if (settings.contains(QStringLiteral("sync/clock-from"))) {
    sync.clockInput = settings.value(QStringLiteral("sync/clock-from")).toString().toStdString();
  }
  if (settings.contains(QStringLiteral("sync/clock-out"))) {
    sync.clockOut = settings.value(QStringLiteral("sync/clock-out")).toBool();
  }
}

}  // namespace sonavela::ui
