// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What run() and the worker tell each other. The host copies these through
// its own buffers, so they are plain data of a fixed size.

#include <array>
#include <cstddef>
#include <cstdint>

#include "playback/chord_feed.h"

namespace sonavela::plugin {

// Longer paths are refused rather than cut: a cut path names another file.
inline constexpr std::size_t kPathCapacity = 2048;

// What a start reads from the controls.
struct StartSettings {
  std::uint32_t seed = 1;
  playback::OpeningSettings opening;

  friend bool operator==(const StartSettings&, const StartSettings&) = default;
};

enum class Job : std::uint32_t {
  kSettings,   // build the next start for these settings, ahead
  kGoLive,     // a start with these settings was played: its progression goes on
  kNext,       // the chord after the last one was played: hand over the next
  kLoadRules,  // read the rule file at `path`
  kPathTooLong,
  kReportLate,
};

struct Request {
  Job job = Job::kSettings;
  std::uint32_t run = 0;  // which start the progression belongs to
  StartSettings settings;
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
  playback::RenderedChord chord;
  std::uint32_t pathLength = 0;
  std::array<char, kPathCapacity> path{};

  [[nodiscard]] std::uint32_t Size() const {
    return static_cast<std::uint32_t>(offsetof(Response, path) + pathLength);
  }
};

}  // namespace sonavela::plugin
