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

#include "midi/port/pattern.h"
#include "playback/chord_feed.h"
#include "playback/settings.h"
#include "plugin/atom_ports.h"
#include "plugin/host_time.h"
#include "plugin/plugin_worker.h"
#include "plugin/uris.h"
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

// One plugin instance. Run and WorkResponse are the audio thread's: they
// place chords that the worker rendered ahead on the host's beats, and
// allocate nothing, lock nothing and read no file.
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
  [[nodiscard]] double Value(PortIndex port, double fallback, double low, double high) const;
  // A port of a setting, within the setting's range, its default when unset.
  [[nodiscard]] double Value(PortIndex port, playback::Setting setting) const;
  [[nodiscard]] StartSettings ControlSettings() const;
  [[nodiscard]] int BeatsPerChord() const;
  void FollowControls();
  void PlayUntil(std::int64_t from, std::int64_t to);
  void PlayBoundary(const Boundary& boundary);
  void PlayChord(const playback::RenderedChord& chord, std::uint32_t offset);
  // The notes of the pattern playing that fall before frame `end`.
  void PatternUntil(std::int64_t end);
  [[nodiscard]] midi::Timestamp TimeOfFrame(std::int64_t frame) const;
  void StartAt(std::uint32_t offset);
  void NextAt(std::uint32_t offset);
  void Silence(std::uint32_t offset);
  void SendJob(Job job);
  void ReportLate();
  void HandleEvent(const LV2_Atom_Event& event, std::int64_t frame);
  void AskForRules(const LV2_Atom& path);
  void Schedule(const Request& request);
  void RetryUnsent();

  void AnnounceRuleFile(std::uint32_t offset);

  Uris uris_;
  LV2_Worker_Schedule schedule_;
  LV2_Log_Logger logger_;
  PluginWorker worker_;

  const void* control_ = nullptr;  // atom sequences, not always aligned as atoms should be
  void* out_ = nullptr;
  // The control ports, by index; null until connected.
  std::array<const float*, kPortCount> controls_{};

  HostTime time_;
  std::int64_t cycleStart_ = 0;
  AtomInput input_;
  AtomOutput output_;

  StartSettings settings_;
  // A start needs nothing from the worker: its chord is the tonic.
  playback::OpeningRenderer opener_;
  // The channels of the progression that plays, which a stop silences.
  int liveChannel_ = midi::kChordChannel;
  int liveBassChannel_ = midi::kChordChannel;
  // How the progression that plays sounds, and its chord as a pattern.
  midi::VoicingSettings liveVoicing_;
  midi::PatternPlayer pattern_;
  playback::RenderedChord upcoming_;
  bool upcomingReady_ = false;
  std::uint32_t run_ = 0;
  bool live_ = false;     // a start has played since activation
  bool waiting_ = false;  // for the chord of a boundary that has passed
  bool lateReported_ = false;

  // Requests the host had no room for, sent again at the next cycle.
  static constexpr std::size_t kUnsentCapacity = 4;
  std::array<Request, kUnsentCapacity> unsent_{};
  std::size_t unsentCount_ = 0;
  Request scratch_{};
  Response responseScratch_{};

  std::array<char, kPathCapacity> ruleFile_{};
  std::uint32_t ruleFileLength_ = 0;
  bool announceRuleFile_ = false;
};

}  // namespace sonavela::plugin
