// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace sonavela::cli::testing {

struct ProcessResult {
  bool exited = false;  // false: killed by a signal
  int status = -1;      // exit status, or the signal number
  std::string out;
  std::string err;
  std::chrono::steady_clock::duration elapsed{};
};

struct ProcessOptions {
  std::vector<std::string> env;  // extra NAME=value entries
  // Called with the output read so far whenever more arrives; returning true
  // lets `onOutput` act once (send a signal, close the pipe).
  std::function<bool(const std::string& out)> trigger;
  // What to do when the trigger fires: a signal to send, or 0 to close the
  // reading end of the output pipe instead.
  int signal = 0;
  std::chrono::milliseconds timeout{20000};
};

// Runs the program with `args`, standard input from /dev/null, and collects
// its output. A run that outlives the timeout is killed (and fails the test
// through `exited` being false).
[[nodiscard]] ProcessResult RunProgram(const std::string& program,
                                       const std::vector<std::string>& args,
                                       const ProcessOptions& options = {});

[[nodiscard]] int CountLines(const std::string& text);

// Ended as an interrupted program should, after silencing and completing its
// files: by the signal itself, so that a shell sees 128 + the signal.
[[nodiscard]] inline bool EndedBy(const ProcessResult& r, int signal) {
  return !r.exited && r.status == signal;
}

// The index that a listing of "index<TAB>name" lines (--list-devices,
// --list-inputs) gives `name`; empty when it is not listed.
[[nodiscard]] std::string IndexInListing(const std::string& listing, const std::string& name);

// A folder of its own for one test, named after the process and the running
// test, empty at the start and removed at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace sonavela::cli::testing
