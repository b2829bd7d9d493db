// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/log/logger.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "midi/port/midi_port.h"
#include "playback/session.h"
#include "playback/settings.h"
#include "plugin/atom_backend.h"
#include "plugin/atom_ports.h"
#include "plugin/plugin_worker.h"
#include "plugin/uris.h"
#include "plugin/worker_chords.h"
#include "plugin/worker_messages.h"

namespace sonavela::plugin {

enum PortIndex : std::uint32_t {
  kControlPort = 0,
  kMidiOutPort = 1,
  kMinorPort = 2,
  kInstrumentPort = 3,
  kBeatsPerChordPort = 4,
  kSeedPort = 5,
  kKeyPort = 6,
  kVoicingPort = 7,
  kRegisterLowPort = 8,
  kRegisterHighPort = 9,
  kChannelPort = 10,
  kBassChannelPort = 11,
  kVelocityPort = 12,
  kPatternPort = 13,
  kHumanizePort = 14,
  kPortCount = 15,
};

// What the controls set: the start they ask for and how its chords sound.
struct Controls {
  StartSettings start;
  midi::VoicingSettings voicing;
};

// One plugin instance: a playback session on the host's timeline, whose
// chords the host's worker searches. Run and WorkResponse are the audio
// thread's: they allocate nothing, lock nothing and read no file.
class PluginInstance {
 public:
  PluginInstance(double sampleRate, const LV2_URID_Map& map, const LV2_Worker_Schedule& schedule,
                 LV2_Log_Logger logger);

  void ConnectPort(std::uint32_t port, void* data);
  void Activate();
  void Run(std::uint32_t frames);
  void WorkResponse(std::uint32_t size, const void* data);

  [[nodiscard]] PluginWorker& Worker() { return worker_; }
  [[nodiscard]] const Uris& UriMap() const { return uris_; }

  // A restored state's tables came from `path`: the parameter shows it from
  // the next cycle on. Not while run() runs.
  void RestoredRuleFile(std::string_view path);

 private:
  // The session's clock, output and chords, each kept in view here.
  [[nodiscard]] static playback::SessionOptions Parts(double sampleRate, PluginInstance& plugin);
  [[nodiscard]] double Value(PortIndex port, double fallback, double low, double high) const;
  // A port of a setting, within the setting's range, its default when unset.
  [[nodiscard]] double Value(PortIndex port, playback::Setting setting) const;
  [[nodiscard]] Controls ReadControls() const;
  [[nodiscard]] int BeatsPerChord() const;
  void FollowControls();
  void PlayUntil(std::int64_t from, std::int64_t to);
  void HandleEvent(const LV2_Atom_Event& event, std::int64_t frame);
  void AskForRules(const LV2_Atom& path);
  // What the session says goes to the host's log, by way of the worker.
  void Tell(const playback::SessionEvent& event);
  void AnnounceRuleFile(std::uint32_t offset);

  Uris uris_;
  LV2_Log_Logger logger_;
  PluginWorker worker_;
  WorkerQueue jobs_;

  const void* control_ = nullptr;  // atom sequences, not always aligned as atoms should be
  void* out_ = nullptr;
  // The control ports, by index; null until connected.
  std::array<const float*, kPortCount> controls_{};

  std::int64_t cycleStart_ = 0;
  AtomInput input_;
  AtomOutput output_;

  // Owned by session_.
  timing::HostClock* clock_ = nullptr;
  AtomBackend* backend_ = nullptr;
  WorkerChords* chords_ = nullptr;
  midi::VoicingSettings voicing_;
  playback::PlaybackSession session_;
  Response responseScratch_{};

  std::array<char, kPathCapacity> ruleFile_{};
  std::uint32_t ruleFileLength_ = 0;
  bool announceRuleFile_ = false;
};

}  // namespace sonavela::plugin
