// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

namespace sonavela::midi {

// Takes over FluidSynth's log for as long as it lives, so that none of it
// reaches stderr: the user gets one line with the first message that matters,
// not a flood. FluidSynth also logs from its audio thread and from libjack's
// threads, so taking a message allocates nothing and takes no lock.
//
// FluidSynth has one log for the whole process; while several of these live,
// each sees every message.
class SynthLog {
 public:
  SynthLog();
  ~SynthLog();
  SynthLog(const SynthLog&) = delete;
  SynthLog& operator=(const SynthLog&) = delete;

  // Forgets the kept messages, to collect the reasons of one setup step. Only
  // while no audio driver runs: its thread may be writing them.
  void Clear();
  // The warnings and errors since Clear, joined by "; "; empty when
  // FluidSynth said nothing worth telling.
  [[nodiscard]] std::string Reasons() const;

  // From now on an error, or an event queue that overflows because nothing
  // renders it any more, means that the audio output is lost.
  void WatchAudio();
  // The message that told of the loss, once the audio output is lost.
  [[nodiscard]] std::optional<std::string> AudioLoss() const;

  // Called by the process-wide log function, on any thread.
  void Take(int level, const char* message) noexcept;

 private:
  static constexpr std::size_t kLineSize = 240;
  static constexpr std::size_t kKept = 2;

  struct Line {
    char text[kLineSize] = {};
    std::atomic<bool> ready{false};
  };

  std::array<Line, kKept> kept_;
  std::atomic<unsigned> keptCount_{0};
  Line loss_;
  std::atomic<bool> lossClaimed_{false};
  std::atomic<bool> watching_{false};
  int slot_ = -1;
};

}  // namespace sonavela::midi
