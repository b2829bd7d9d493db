// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/plugin_instance.h"

#include <lv2/atom/util.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "generator/candidate_keys.h"
#include "midi/port/midi_port.h"
#include "playback/settings.h"

namespace sonavela::plugin {

namespace {

using playback::Setting;

constexpr double kMaxSeed = 16777215.0;  // every integer up to here is exact in a float port
constexpr double kCMajorRow = 6.0;       // of the candidate tonics, from G flat up by fifths
// A time a hair past a frame is on that frame: times are whole nanoseconds.
constexpr double kOnTheFrame = 1e-3;

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
      schedule_(schedule),
      logger_(logger),
      worker_(logger_),
      time_(sampleRate),
      output_(map, uris_) {
  // Made here, once: run() reads the settings' ranges and may not allocate.
  (void)playback::SettingSpecs();
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

StartSettings PluginInstance::ControlSettings() const {
  StartSettings settings;
  settings.seed = static_cast<std::uint32_t>(Value(kSeedPort, 1.0, 0.0, kMaxSeed));
  playback::OpeningSettings& opening = settings.opening;
  const auto& row = generator::CandidateTonics()[static_cast<std::size_t>(
      Value(kKeyPort, kCMajorRow, 0.0, generator::kCandidateRows - 1))];
  opening.homeKey = Value(kMinorPort, 0.0, 0.0, 1.0) > 0.5 ? row.minor : row.major;
  opening.instrument = static_cast<std::int32_t>(Value(kInstrumentPort, 49.0, 1.0, 128.0));
  midi::VoicingSettings& voicing = opening.voicing;
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
  return settings;
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
  settings_ = ControlSettings();
  upcomingReady_ = false;
  live_ = false;
  waiting_ = false;
  lateReported_ = false;
  unsentCount_ = 0;
  cycleStart_ = 0;
  time_.Activate(0);
}

void PluginInstance::SendJob(Job job) {
  scratch_.job = job;
  scratch_.run = run_;
  scratch_.settings = settings_;
  scratch_.pathLength = 0;
  Schedule(scratch_);
}

void PluginInstance::Schedule(const Request& request) {
  if (schedule_.schedule_work(schedule_.handle, request.Size(), &request) != LV2_WORKER_SUCCESS &&
      unsentCount_ < kUnsentCapacity) {
    unsent_[unsentCount_++] = request;
  }
}

void PluginInstance::RetryUnsent() {
  const std::size_t count = unsentCount_;
  unsentCount_ = 0;
  for (std::size_t i = 0; i < count; ++i) {
    Schedule(unsent_[i]);
  }
}

void PluginInstance::FollowControls() {
  const StartSettings settings = ControlSettings();
  if (settings == settings_) {
    return;
  }
  // The worker builds the next start for them ahead; one that comes first
  // is built when it is played.
  settings_ = settings;
  SendJob(Job::kSettings);
}

void PluginInstance::Run(std::uint32_t frames) {
  output_.Begin(out_);
  RetryUnsent();
  FollowControls();
  if (announceRuleFile_) {
    AnnounceRuleFile(0);
  }
  // A chord whose result came late is played as soon as it is there.
  if (waiting_) {
    NextAt(0);
  }
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
  output_.End();
  cycleStart_ = end;
}

void PluginInstance::PlayUntil(std::int64_t from, std::int64_t to) {
  while (const std::optional<Boundary> boundary = time_.NextBoundary(from, to, BeatsPerChord())) {
    PatternUntil(boundary->frame);
    PlayBoundary(*boundary);
    time_.Passed();
    // One chord a frame at most, however fast the host's tempo.
    from = boundary->frame + 1;
  }
  PatternUntil(to);
}

midi::Timestamp PluginInstance::TimeOfFrame(std::int64_t frame) const {
  return midi::Timestamp(std::chrono::nanoseconds(
      std::llround(static_cast<double>(frame) * 1e9 / time_.SampleRate())));
}

void PluginInstance::PatternUntil(std::int64_t end) {
  const midi::Timestamp before = TimeOfFrame(end);
  while (const std::optional<midi::PatternNote> note = pattern_.Take(before)) {
    const double exact =
        static_cast<double>(note->at.time_since_epoch().count()) * time_.SampleRate() / 1e9;
    // A note's time went through whole nanoseconds: up to a nanosecond past
    // its frame is still on it.
    const std::int64_t frame =
        std::clamp(static_cast<std::int64_t>(std::ceil(exact - kOnTheFrame)), cycleStart_, end - 1);
    const int channel = note->note.bass ? liveVoicing_.BassChannel() : liveVoicing_.channel;
    output_.Midi(note->on
                     ? midi::MidiMessage::NoteOn(channel, note->note.key, liveVoicing_.velocity)
                     : midi::MidiMessage::NoteOff(channel, note->note.key),
                 static_cast<std::uint32_t>(frame - cycleStart_));
  }
}

void PluginInstance::PlayChord(const playback::RenderedChord& chord, std::uint32_t offset) {
  if (pattern_.Plain()) {
    for (const midi::MidiMessage& message : chord.Messages()) {
      output_.Midi(message, offset);
    }
    return;
  }
  // The silences and the instrument at the boundary; the notes as the
  // pattern places them, on the host's beats.
  for (const midi::MidiMessage& message : chord.Messages()) {
    if (!message.IsNoteOn()) {
      output_.Midi(message, offset);
    }
  }
  const std::int64_t frame = cycleStart_ + offset;
  pattern_.Begin(chord.voiced, TimeOfFrame(frame), {time_.SecondsPerBeat() * 1e9, BeatsPerChord()});
  PatternUntil(frame + 1);
}

void PluginInstance::PlayBoundary(const Boundary& boundary) {
  const auto offset = static_cast<std::uint32_t>(boundary.frame - cycleStart_);
  if (boundary.fresh || !live_) {
    StartAt(offset);
  } else if (!waiting_) {
    NextAt(offset);
  }
  // Otherwise the chord still awaited stands for this boundary.
}

void PluginInstance::StartAt(std::uint32_t offset) {
  const midi::VoicingSettings& voicing = settings_.opening.voicing;
  // Notes of the last start on channels this one does not use would ring on.
  for (const int channel : {liveChannel_, liveBassChannel_}) {
    if (live_ && channel != voicing.channel && channel != voicing.BassChannel()) {
      output_.Midi(midi::MidiMessage::AllNotesOff(channel), offset);
    }
  }
  liveVoicing_ = voicing;
  pattern_ = midi::PatternPlayer(voicing.pattern, voicing.humanizeMs);
  PlayChord(opener_.Render(settings_.opening), offset);
  liveChannel_ = voicing.channel;
  liveBassChannel_ = voicing.BassChannel();
  waiting_ = false;
  live_ = true;
  upcomingReady_ = false;
  ++run_;
  SendJob(Job::kGoLive);
}

void PluginInstance::NextAt(std::uint32_t offset) {
  if (!upcomingReady_) {
    waiting_ = true;
    ReportLate();
    return;
  }
  PlayChord(upcoming_, offset);
  waiting_ = false;
  upcomingReady_ = false;
  SendJob(Job::kNext);
}

void PluginInstance::Silence(std::uint32_t offset) {
  // A chord that was still awaited must not sound after the stop, nor the
  // rest of a pattern.
  waiting_ = false;
  pattern_.Clear();
  if (!live_) {
    return;  // nothing has sounded since activation
  }
  output_.Midi(midi::MidiMessage::AllNotesOff(liveChannel_), offset);
  if (liveBassChannel_ != liveChannel_) {
    output_.Midi(midi::MidiMessage::AllNotesOff(liveBassChannel_), offset);
  }
}

void PluginInstance::ReportLate() {
  if (lateReported_) {
    return;
  }
  lateReported_ = true;
  SendJob(Job::kReportLate);
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
    HostPosition position;
    position.speed = Number(uris_, speed);
    position.beatsPerMinute = Number(uris_, tempo);
    position.beatsPerBar = Number(uris_, beatsPerBar);
    if (const std::optional<double> n = Number(uris_, bar)) {
      position.bar = static_cast<std::int64_t>(std::llround(*n));
    }
    position.barBeat = Number(uris_, barBeat);
    if (time_.Apply(frame, position)) {
      Silence(offset);
    }
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
  scratch_.job = length < kPathCapacity ? Job::kLoadRules : Job::kPathTooLong;
  scratch_.pathLength = scratch_.job == Job::kLoadRules ? static_cast<std::uint32_t>(length) : 0;
  std::memcpy(scratch_.path.data(), text, scratch_.pathLength);
  Schedule(scratch_);
}

void PluginInstance::WorkResponse(std::uint32_t size, const void* data) {
  Response& response = responseScratch_;
  std::memcpy(&response, data, std::min<std::size_t>(size, sizeof(Response)));
  switch (response.reply) {
    case Reply::kChord:
      if (response.run == run_) {
        upcoming_ = response.chord;
        upcomingReady_ = true;
      }
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
