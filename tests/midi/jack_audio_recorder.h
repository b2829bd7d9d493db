// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "midi/port/midi_message.h"

namespace sonavela::midi::testing {

// A JACK client with one audio input that records what arrives, with the
// server's time of every cycle, so that each recorded sample can be placed
// on the steady clock. Storage is allocated by Open; the process callback
// only copies into it.
//
// JACK keeps time by a clock of its own choice (Debian's libjack reads
// CLOCK_MONOTONIC_RAW, which NTP does not slew), so both clocks are read
// together at Start and at Stop and the server's times are mapped onto the
// steady clock in between.
class JackAudioRecorder {
 public:
  JackAudioRecorder() = default;
  ~JackAudioRecorder();
  JackAudioRecorder(const JackAudioRecorder&) = delete;
  JackAudioRecorder& operator=(const JackAudioRecorder&) = delete;

  // Room for `maxFrames` frames; false, with Error(), on failure.
  [[nodiscard]] bool Open(const std::string& server, std::size_t maxFrames);
  // Connects the output `source` ("client:port") to the recorder's input.
  [[nodiscard]] bool ConnectFrom(const std::string& source);
  // Records from the next cycle until Stop, or until the room is used up.
  void Start();
  void Stop();

  [[nodiscard]] double SampleRate() const;
  [[nodiscard]] jack_nframes_t Period() const;
  [[nodiscard]] std::span<const float> Samples() const;
  // When recorded sample `index` passed through the server, by the server's
  // estimate of its cycles' start times. Only after Stop.
  [[nodiscard]] Timestamp TimeOf(std::size_t index) const;
  [[nodiscard]] const std::string& Error() const { return error_; }

 private:
  struct Cycle {
    std::size_t first;  // index of the cycle's first recorded sample
    jack_time_t usecs;  // the server's time of the cycle's start
  };

  // The same moment on both clocks, in ns.
  struct ClockPair {
    double jack = 0;
    double steady = 0;
  };

  static int Process(jack_nframes_t frames, void* self);
  [[nodiscard]] static ClockPair ReadClocks();

  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  std::vector<float> samples_;
  std::vector<Cycle> cycles_;
  ClockPair started_;
  ClockPair stopped_;
  std::atomic<bool> recording_{false};
  std::atomic<std::size_t> recorded_{0};
  std::atomic<std::size_t> cycleCount_{0};
  std::string error_;
};

}  // namespace sonavela::midi::testing
