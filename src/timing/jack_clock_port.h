// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/result.h"
#include "midi/devices/spsc_queue.h"
#include "timing/clock_message.h"

namespace sonavela::timing {

// A JACK client of its own with one MIDI input, "clock in", connected from a
// master's MIDI output. JACK's real-time thread stamps every clock message
// with the time of its own frame, not of the cycle that brought it (a
// clock keeps its place within a period of 1024 frames, 21 ms at 48 kHz),
// and queues it: no allocation, lock or system call there. The times are
// moved onto the program's clock when taken.
//
// Everything but the process callback is for the thread that plays.
class JackClockPort {
 public:
  // Fails with a clause when no server answers or the source cannot be
  // connected. A server is never started.
  static Result<std::unique_ptr<JackClockPort>> Open(const std::string& clientName,
                                                     const std::string& source);
  ~JackClockPort();
  // The server quit: this client is dead for good.
  [[nodiscard]] bool ServerGone() const;
  JackClockPort(const JackClockPort&) = delete;
  JackClockPort& operator=(const JackClockPort&) = delete;

  // The oldest message not yet taken; kLost once after the queue overflowed.
  [[nodiscard]] std::optional<ClockInputEvent> Next();
  // Whether the source port or the server is gone. A source that comes back
  // is connected again.
  [[nodiscard]] bool SourceGone();

  struct Shared;
  explicit JackClockPort(std::unique_ptr<Shared> shared);

 private:
  std::unique_ptr<Shared> shared_;
  bool sourceMissing_ = false;
};

}  // namespace sonavela::timing
