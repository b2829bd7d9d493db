// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a render goes besides a file: a pipe on standard output, and the
// progress of a long render on the terminal.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "cli/terminal.h"
#include "midi/files/byte_sink.h"

namespace sonavela::cli {

// `--wav -`: the sound file streamed to standard output. A pipe only goes
// forwards, so nothing written is ever replaced.
class PipeSink final : public midi::ByteSink {
 public:
  explicit PipeSink(FdWriter& out) : out_(out) {}

  Status Append(std::span<const std::uint8_t> bytes) override;
  Status Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
  // The reader went away: `| head -c` had enough; no failure of the program.
  [[nodiscard]] bool ReaderLeft() const;

 private:
  FdWriter& out_;
};

// "rendering x.wav: chord 12 of 100, 0:24 of 3:20" on one line of a terminal,
// redrawn a few times a second once a render has taken a while, and wiped
// when it ends. Draws nothing when the terminal is not there.
class RenderProgress {
 public:
  using Clock = std::chrono::steady_clock;

  RenderProgress(FdWriter& terminal, bool shown, std::string name, std::uint64_t chords,
                 std::chrono::nanoseconds chordLength, Clock::time_point began = Clock::now());
  ~RenderProgress();  // wipes the line
  RenderProgress(const RenderProgress&) = delete;
  RenderProgress& operator=(const RenderProgress&) = delete;

  void Update(std::uint64_t chordsDone, Clock::time_point now = Clock::now());

 private:
  FdWriter& terminal_;
  bool shown_;
  std::string name_;
  std::uint64_t chords_;
  std::chrono::nanoseconds chordLength_;
  Clock::time_point began_;
  Clock::time_point drawn_{};
  bool drawing_ = false;
};

// Whether a file descriptor is a terminal.
[[nodiscard]] bool IsTerminal(int fd);

}  // namespace sonavela::cli
