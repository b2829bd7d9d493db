// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What run() and the worker tell each other. The host copies these through
// its own buffers, so they are plain data of a fixed size.

#include <array>
#include <cstddef>
#include <cstdint>

#include "generator/plan.h"
#include "harmony/note.h"
#include "playback/chord_source.h"

namespace sonavela::plugin {

// Longer paths are refused rather than cut: a cut path names another file.
inline constexpr std::size_t kPathCapacity = 2048;

// What a start reads from the controls.
struct StartSettings {
  std::uint32_t seed = 1;
  harmony::Key homeKey{{'C', 0}, harmony::kMajor};
  std::int32_t instrument = playback::kInstrumentAtStart;

  friend bool operator==(const StartSettings&, const StartSettings&) = default;
};

enum class Job : std::uint32_t {
  kSettings,   // build the next start for these settings, ahead
  kGoLive,     // a start with these settings was played: its progression goes on
  kNext,       // the chord after the last one was played: hand over the next
  kLoadRules,  // read the rule file at `path`
  kPathTooLong,
  kLog,  // tell the host's log what the session said
};

// What the session said, for the host's log: the kinds of its events, which
// the worker words.
struct LogEntry {
  enum class What : std::uint32_t { kNotice, kFailure };
  What what = What::kNotice;
  std::uint32_t kind = 0;  // a NoticeKind or an ErrorKind
};

struct Request {
  Job job = Job::kSettings;
  std::uint32_t run = 0;  // which start the progression belongs to
  StartSettings settings;
  LogEntry log;
  std::uint32_t pathLength = 0;
  std::array<char, kPathCapacity> path{};

  // Only the part that is used is copied through the host.
  [[nodiscard]] std::uint32_t Size() const {
    return static_cast<std::uint32_t>(offsetof(Request, path) + pathLength);
  }
};

enum class Reply : std::uint32_t {
  kChord,  // the next chord of start `run`
  kRulesTaken,
  kRulesRefused,  // the tables stay those of the file last taken
};

struct Response {
  Reply reply = Reply::kChord;
  std::uint32_t run = 0;
  generator::ProgressionStep step;
  std::uint32_t pathLength = 0;
  std::array<char, kPathCapacity> path{};

  [[nodiscard]] std::uint32_t Size() const {
    return static_cast<std::uint32_t>(offsetof(Response, path) + pathLength);
  }
};

}  // namespace sonavela::plugin
