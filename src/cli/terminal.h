// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string_view>

namespace sonavela::cli {

// Writes whole texts to a file descriptor with write(2), so that a reader that
// went away (`sonavela-cli | head`) shows up as EPIPE instead of killing the
// process; SIGPIPE is ignored by StopSignal.
class FdWriter {
 public:
  explicit FdWriter(int fd) : fd_(fd) {}

  // False once the text could not be written completely; every later call
  // then fails at once.
  bool Write(std::string_view text);
  [[nodiscard]] bool Broken() const { return broken_; }
  [[nodiscard]] int Fd() const { return fd_; }
  // errno of the failed write, 0 while nothing failed.
  [[nodiscard]] int Error() const { return error_; }

 private:
  int fd_;
  bool broken_ = false;
  int error_ = 0;
};

// Turns Ctrl-C, SIGTERM and SIGHUP into a stop request that wakes a waiting
// loop at once (a self-pipe written by the signal handler), and ignores
// SIGPIPE and SIGXFSZ. One instance at a time; the previous handlers come back when it is
// destroyed.
class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  [[nodiscard]] bool Requested() const;
  // Requested(), for code that has no StopSignal at hand.
  [[nodiscard]] static bool Pending();
  // The signal that asked for the stop, 0 when none did.
  [[nodiscard]] int Received() const;
  // A stop for a reason of the program's own, such as a closed output pipe.
  void Request();
  // Sleeps on the steady clock until `deadline` or a stop request, whichever
  // comes first. True when a stop was requested.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);
};

}  // namespace sonavela::cli
