// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/plugin_instance.h"

#include <lv2/atom/util.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
#include <variant>

#include "generator/candidate_keys.h"
#include "playback/settings.h"

namespace sonavela::plugin {

namespace {

using playback::Setting;

constexpr double kMaxSeed = 16777215.0;  // every integer up to here is exact in a float port
constexpr double kCMajorRow = 6.0;       // of the candidate tonics, from G flat up by fifths

double Control(const float* port, double fallback, double low, double high) {
  if (port == nullptr || !std::isfinite(*port)) {
    return fallback;
  }
  return std::clamp(std::round(static_cast<double>(*port)), low, high);
}

// A number of any of the atom types hosts use for time:Position fields.
std::optional<double> Number(const Uris& uris, const LV2_Atom* atom) {
  if (atom == nullptr) {
    return std::nullopt;
  }
  if (atom->type == uris.atomFloat) {
    return reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
  }
  if (atom->type == uris.atomDouble) {
    return reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
  }
  if (atom->type == uris.atomInt) {
    return reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
  }
  if (atom->type == uris.atomLong) {
    return static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
  }
  return std::nullopt;
}

}  // namespace

PluginInstance::PluginInstance(double sampleRate, const LV2_URID_Map& map,
                               const LV2_Worker_Schedule& schedule, LV2_Log_Logger logger)
    : uris_(map),
      logger_(logger),
      worker_(logger_),
      jobs_(schedule),
      output_(map, uris_),
      session_(Parts(sampleRate, *this)) {
  // Made here, once: run() reads the settings' ranges and may not allocate.
  (void)playback::SettingSpecs();
  (void)session_.OpenDevice(0);  // the plugin's own output, which cannot fail
  session_.SetEventSink([this](const playback::SessionEvent& event) { Tell(event); });
}

playback::SessionOptions PluginInstance::Parts(double sampleRate, PluginInstance& plugin) {
  playback::SessionOptions options;
  auto clock = std::make_unique<timing::HostClock>(sampleRate);
  plugin.clock_ = clock.get();
  auto backend = std::make_unique<AtomBackend>(plugin.output_, *clock);
  plugin.backend_ = backend.get();
  auto chords = std::make_unique<WorkerChords>(plugin.jobs_);
  plugin.chords_ = chords.get();
  options.clock = std::move(clock);
  options.devices = std::move(backend);
  options.chords = std::move(chords);
  return options;
}

void PluginInstance::ConnectPort(std::uint32_t port, void* data) {
  switch (port) {
    case kControlPort:
      control_ = data;
      break;
    case kMidiOutPort:
      out_ = data;
      break;
    default:
      if (port < kPortCount) {
        controls_[port] = static_cast<const float*>(data);
      }
      break;
  }
}

double PluginInstance::Value(PortIndex port, double fallback, double low, double high) const {
  return Control(controls_[port], fallback, low, high);
}

Controls PluginInstance::ReadControls() const {
  Controls controls;
  StartSettings& start = controls.start;
  start.seed = static_cast<std::uint32_t>(Value(kSeedPort, 1.0, 0.0, kMaxSeed));
  const auto& row = generator::CandidateTonics()[static_cast<std::size_t>(
      Value(kKeyPort, kCMajorRow, 0.0, generator::kCandidateRows - 1))];
  start.homeKey = Value(kMinorPort, 0.0, 0.0, 1.0) > 0.5 ? row.minor : row.major;
  start.instrument = static_cast<std::int32_t>(Value(kInstrumentPort, 49.0, 1.0, 128.0));
  midi::VoicingSettings& voicing = controls.voicing;
  voicing.mode = static_cast<midi::VoicingMode>(Value(kVoicingPort, Setting::kVoicing));
  const playback::SettingSpec& notes = playback::Spec(Setting::kRegister);
  voicing.upper.low = static_cast<int>(
      Value(kRegisterLowPort, notes.defaultValue, notes.min, notes.max - notes.narrowest));
  voicing.upper.high =
      std::max(voicing.upper.low + notes.narrowest,
               static_cast<int>(Value(kRegisterHighPort, notes.defaultHigh, notes.min, notes.max)));
  voicing.channel = static_cast<int>(Value(kChannelPort, Setting::kChannel));
  voicing.bassChannel = static_cast<int>(Value(kBassChannelPort, Setting::kBassChannel));
  voicing.velocity = static_cast<int>(Value(kVelocityPort, Setting::kVelocity));
  voicing.pattern = static_cast<midi::ChordPattern>(Value(kPatternPort, Setting::kPattern));
  voicing.humanizeMs = static_cast<int>(Value(kHumanizePort, Setting::kHumanize));
  return controls;
}

double PluginInstance::Value(PortIndex port, Setting setting) const {
  const playback::SettingSpec& spec = playback::Spec(setting);
  const double last = spec.kind == playback::SettingKind::kChoice
                          ? static_cast<double>(spec.values.size() - 1)
                          : spec.max;
  return Value(port, spec.defaultValue,
               spec.kind == playback::SettingKind::kChoice ? 0.0 : spec.min, last);
}

int PluginInstance::BeatsPerChord() const {
  return static_cast<int>(Value(kBeatsPerChordPort, Setting::kBeatsPerChord));
}

void PluginInstance::Activate() {
  const Controls controls = ReadControls();
  chords_->Take(controls.start);
  voicing_ = controls.voicing;
  session_.SetVoicing(voicing_);
  jobs_.Forget();
  cycleStart_ = 0;
  clock_->Activate(0);
  session_.Start();
}

void PluginInstance::FollowControls() {
  const Controls controls = ReadControls();
  chords_->Follow(controls.start);
  if (!(controls.voicing == voicing_)) {
    voicing_ = controls.voicing;
    session_.SetVoicing(voicing_);  // from the next chord on
  }
}

void PluginInstance::Run(std::uint32_t frames) {
  output_.Begin(out_);
  jobs_.Retry();
  FollowControls();
  if (announceRuleFile_) {
    AnnounceRuleFile(0);
  }
  backend_->Cycle(cycleStart_, frames);
  clock_->SetBeatsPerChord(BeatsPerChord());
  std::int64_t from = cycleStart_;
  const std::int64_t end = cycleStart_ + frames;
  input_.Begin(control_);
  while (const LV2_Atom_Event* event = input_.Next()) {
    const std::int64_t at = cycleStart_ + std::clamp<std::int64_t>(event->time.frames, 0, frames);
    PlayUntil(from, at);
    from = std::max(from, at);
    HandleEvent(*event, from);
  }
  PlayUntil(from, end);
  backend_->Cycle(end, 0);
  output_.End();
  cycleStart_ = end;
}

void PluginInstance::PlayUntil(std::int64_t from, std::int64_t to) {
  clock_->Span(from, to);
  // One chord a call: a cycle may hold several.
  while (session_.Pump() > 0) {
  }
}

void PluginInstance::Tell(const playback::SessionEvent& event) {
  LogEntry entry;
  if (const auto* notice = std::get_if<playback::Notice>(&event)) {
    entry = {LogEntry::What::kNotice, static_cast<std::uint32_t>(notice->kind)};
  } else if (const auto* failure = std::get_if<playback::Failure>(&event)) {
    entry = {LogEntry::What::kFailure, static_cast<std::uint32_t>(failure->error.kind)};
  } else {
    return;  // the chords and the transport's state the host shows itself
  }
  Request& request = jobs_.Scratch();
  request.job = Job::kLog;
  request.log = entry;
  request.pathLength = 0;
  jobs_.SendScratch();
}

void PluginInstance::HandleEvent(const LV2_Atom_Event& event, std::int64_t frame) {
  if (event.body.type != uris_.atomObject && event.body.type != uris_.atomBlank) {
    return;
  }
  const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event.body);
  const auto offset = static_cast<std::uint32_t>(frame - cycleStart_);
  if (object->body.otype == uris_.timePosition) {
    const LV2_Atom* speed = nullptr;
    const LV2_Atom* tempo = nullptr;
    const LV2_Atom* beatsPerBar = nullptr;
    const LV2_Atom* bar = nullptr;
    const LV2_Atom* barBeat = nullptr;
    lv2_atom_object_get(object, uris_.timeSpeed, &speed, uris_.timeBeatsPerMinute, &tempo,
                        uris_.timeBeatsPerBar, &beatsPerBar, uris_.timeBar, &bar, uris_.timeBarBeat,
                        &barBeat, 0);
    timing::HostPosition position;
    position.speed = Number(uris_, speed);
    position.beatsPerMinute = Number(uris_, tempo);
    position.beatsPerBar = Number(uris_, beatsPerBar);
    if (const std::optional<double> n = Number(uris_, bar)) {
      position.bar = static_cast<std::int64_t>(std::llround(*n));
    }
    position.barBeat = Number(uris_, barBeat);
    clock_->Apply(frame, position);
  } else if (object->body.otype == uris_.patchSet) {
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, uris_.patchProperty, &property, uris_.patchValue, &value, 0);
    if (property != nullptr && property->type == uris_.atomUrid &&
        reinterpret_cast<const LV2_Atom_URID*>(property)->body == uris_.ruleFile &&
        value != nullptr && value->type == uris_.atomPath) {
      AskForRules(*value);
    }
  } else if (object->body.otype == uris_.patchGet) {
    AnnounceRuleFile(offset);
  }
}

void PluginInstance::AskForRules(const LV2_Atom& path) {
  const char* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(&path));
  const std::size_t length = strnlen(text, path.size);
  Request& request = jobs_.Scratch();
  request.job = length < kPathCapacity ? Job::kLoadRules : Job::kPathTooLong;
  request.pathLength = request.job == Job::kLoadRules ? static_cast<std::uint32_t>(length) : 0;
  std::memcpy(request.path.data(), text, request.pathLength);
  jobs_.SendScratch();
}

void PluginInstance::WorkResponse(std::uint32_t size, const void* data) {
  Response& response = responseScratch_;
  std::memcpy(&response, data, std::min<std::size_t>(size, sizeof(Response)));
  switch (response.reply) {
    case Reply::kChord:
      chords_->Found(response.run, response.step);
      break;
    case Reply::kRulesTaken:
      ruleFileLength_ = std::min<std::uint32_t>(response.pathLength, kPathCapacity);
      std::memcpy(ruleFile_.data(), response.path.data(), ruleFileLength_);
      announceRuleFile_ = true;
      break;
    case Reply::kRulesRefused:
      // The host shows the file it asked for: tell it which is in use.
      announceRuleFile_ = true;
      break;
  }
}

void PluginInstance::RestoredRuleFile(std::string_view path) {
  ruleFileLength_ = static_cast<std::uint32_t>(std::min(path.size(), kPathCapacity - 1));
  std::memcpy(ruleFile_.data(), path.data(), ruleFileLength_);
  announceRuleFile_ = true;
}

void PluginInstance::AnnounceRuleFile(std::uint32_t offset) {
  // Tried again at the next cycle when there was no room.
  announceRuleFile_ =
      !output_.RuleFile(std::string_view(ruleFile_.data(), ruleFileLength_), offset);
}

}  // namespace sonavela::plugin
