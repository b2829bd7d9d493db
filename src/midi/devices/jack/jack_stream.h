// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "midi/devices/spsc_queue.h"
#include "midi/port/midi_message.h"

namespace sonavela::midi {

// A message on its way to JACK's process thread, with the time it is meant
// to sound at.
struct TimedMessage {
  MidiMessage message;
  std::int64_t at = 0;  // nanoseconds on JACK's clock (jack_get_time)
};

// The part of the JACK client that JACK's real-time process thread runs:
// it moves queued messages into the MIDI port's buffer, each at the frame of
// its time. The playing thread and the process thread share nothing but the
// queue and a few atomics, so the process thread never allocates, locks or
// makes a system call.
//
// A cycle plays the messages whose times fall in the period before it
// began, each at its time's frame (on the server's JackTimeline, which the
// stream keeps up to date) plus one period: a constant latency that
// lets every message meant for that period be placed exactly, provided it
// was queued before the cycle began (see Lookahead). A later message waits
// for its cycle; one whose period is over goes at the cycle's first frame.
// Nothing is reordered or dropped.
//
// Everything but Process is for the thread that plays.
class JackMidiStream {
 public:
  enum class Wait { kDone, kTimedOut, kServerGone };

  // `client` is the one whose process callback Process is.
  JackMidiStream(jack_client_t* client, std::size_t capacity);
  ~JackMidiStream();
  JackMidiStream(const JackMidiStream&) = delete;
  JackMidiStream& operator=(const JackMidiStream&) = delete;

  // From the next cycle on, messages go to `port`.
  void Attach(jack_port_t* port);
  // False when the queue is full: the process thread has stopped taking.
  [[nodiscard]] bool Push(const MidiMessage& message, Timestamp at);
  // Until the process thread has written everything pushed so far into the
  // port buffer. Ends early when `serverGone` turns true.
  [[nodiscard]] Wait Drain(std::chrono::nanoseconds timeout,
                           const std::atomic<bool>& serverGone) const;
  // Stops the process thread from touching the port, which may then be
  // unregistered; what is still queued is dropped. Waits for a whole cycle
  // after the one under way: after a Drain, that is the cycle that follows
  // the last write, by whose end every connected client has read it (JACK
  // runs a client's readers after it in the same cycle).
  [[nodiscard]] Wait Detach(std::chrono::nanoseconds timeout, const std::atomic<bool>& serverGone);

  // Frames per cycle, as the process thread last saw it; `fallback` before
  // its first cycle.
  [[nodiscard]] jack_nframes_t Period(jack_nframes_t fallback) const;

  // The JACK process callback; `stream` is the JackMidiStream.
  static int Process(jack_nframes_t frames, void* stream);

 private:
  template <typename Done>
  [[nodiscard]] Wait WaitUntil(Done done, MidiClock::time_point deadline,
                               const std::atomic<bool>& serverGone) const;
  void Write(jack_port_t* port, jack_nframes_t frames);

  jack_client_t* const client_;
  SpscQueue<TimedMessage> queue_;
  std::atomic<jack_port_t*> port_{nullptr};
  // Messages below this count are dropped instead of sent: they were queued
  // for a port that is gone.
  std::atomic<std::uint64_t> dropBelow_{0};
  std::atomic<std::uint64_t> cycles_{0};  // completed process cycles
  std::atomic<jack_nframes_t> period_{0};
  // Process thread only: the port it wrote to in its previous cycle.
  jack_port_t* previous_ = nullptr;
};

}  // namespace sonavela::midi
