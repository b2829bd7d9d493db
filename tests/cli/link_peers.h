// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <jack/jack.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Peers and witnesses for sonavela-cli in an Ableton Link session: the
// LinkHut example program, a record of the JACK server's cycles to put the
// frames a sink saw on the clock Link uses, and the private network the
// whole test runs in.
namespace sonavela::cli::testing {

// Whether this process runs in a network namespace of its own with nothing
// but the loopback interface; else why not.
[[nodiscard]] std::optional<std::string> WhyNotPrivateNetwork();

// Runs `argv` again inside a new network namespace whose loopback carries
// multicast, unless it runs there already (then -1: go on). Returns only
// then, or with the status to exit with when it cannot. Listing the tests
// needs no network and goes on where it is.
[[nodiscard]] int RunInPrivateNetwork(int argc, char** argv);

// LinkHut driven through its keys, its status line read back from its
// output.
class LinkHut {
 public:
  struct Status {
    bool enabled = false;
    int peers = 0;
    bool startStopSync = false;
    bool playing = false;
    double tempo = 0;
  };

  LinkHut() = default;
  ~LinkHut();
  LinkHut(const LinkHut&) = delete;
  LinkHut& operator=(const LinkHut&) = delete;

  [[nodiscard]] bool Start(std::string& error);
  void Press(const std::string& keys);
  [[nodiscard]] std::optional<Status> Read() const;
  // Presses `keys` and waits until the status satisfies `done`.
  [[nodiscard]] bool PressUntil(const std::string& keys,
                                const std::function<bool(const Status&)>& done,
                                std::chrono::milliseconds timeout = std::chrono::seconds(5));

 private:
  pid_t pid_ = -1;
  int keys_ = -1;
  std::string outputPath_;
};

// A JACK client that writes down every cycle: the frame it began at and its
// times on JACK's clock, which in libjack 1.9.21 is CLOCK_MONOTONIC_RAW,
// the clock of Link on Linux.
class JackCycleLog {
 public:
  JackCycleLog() = default;
  ~JackCycleLog();
  JackCycleLog(const JackCycleLog&) = delete;
  JackCycleLog& operator=(const JackCycleLog&) = delete;

  [[nodiscard]] bool Open(const std::string& server, const std::string& clientName);
  // The time, in microseconds on JACK's clock, of the message that a sink
  // received at `frame`. A sender places a message due at t into the cycle
  // that begins after t, that cycle playing the period before its start;
  // so the frame is counted back one period from the cycle's start.
  [[nodiscard]] std::optional<double> MessageTime(jack_nframes_t frame) const;

 private:
  struct Cycle {
    jack_nframes_t frame = 0;
    jack_nframes_t frames = 0;
    jack_time_t start = 0;
    jack_time_t next = 0;
  };
  static int Process(jack_nframes_t frames, void* self);

  jack_client_t* client_ = nullptr;
  std::vector<Cycle> cycles_ = std::vector<Cycle>(1 << 17);
  std::atomic<std::size_t> count_{0};
};

}  // namespace sonavela::cli::testing
