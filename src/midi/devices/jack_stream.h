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
  Timestamp at;
};

// The part of the JACK client that JACK's real-time process thread runs:
// it moves queued messages into the MIDI port's buffer. The playing thread
// and the process thread share nothing but the queue and a few atomics, so
// the process thread never allocates, locks or makes a system call.
//
// Everything but Process is for the thread that plays.
class JackMidiStream {
 public:
  enum class Wait { kDone, kTimedOut, kServerGone };

  explicit JackMidiStream(std::size_t capacity);
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

  // The JACK process callback; `stream` is the JackMidiStream.
  static int Process(jack_nframes_t frames, void* stream);

 private:
  template <typename Done>
  [[nodiscard]] Wait WaitUntil(Done done, MidiClock::time_point deadline,
                               const std::atomic<bool>& serverGone) const;
  void Write(jack_port_t* port, jack_nframes_t frames);

  SpscQueue<TimedMessage> queue_;
  std::atomic<jack_port_t*> port_{nullptr};
  // Messages below this count are dropped instead of sent: they were queued
  // for a port that is gone.
  std::atomic<std::uint64_t> dropBelow_{0};
  std::atomic<std::uint64_t> cycles_{0};  // completed process cycles
  // Process thread only: the port it wrote to in its previous cycle.
  jack_port_t* previous_ = nullptr;
};

}  // namespace sonavela::midi
