// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/jack/jack_stream.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "midi/devices/jack/jack_timeline.h"

namespace sonavela::midi {

namespace {

// The process thread must never meet a lock, not even one hidden in an
// atomic.
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
static_assert(std::atomic<jack_port_t*>::is_always_lock_free);
static_assert(std::atomic<jack_nframes_t>::is_always_lock_free);

// The process thread cannot wake a waiting thread without a system call, so
// the waits poll: well within the period of the smallest usual JACK buffer
// (64 frames at 48 kHz is 1.3 ms), so that waiting for a cycle costs little
// more than the cycle.
constexpr std::chrono::microseconds kPoll{250};

// `at` on JACK's clock, in nanoseconds. A message is queued a few periods
// before its time, over which the two clocks part by far less than a frame.
std::int64_t OnJackClock(Timestamp at) {
  const std::int64_t ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
  std::int64_t onJack = 0;
  const std::int64_t offset = JackClockOffset();
  if (__builtin_add_overflow(ns, offset, &onJack)) {
    // Only a time at the clock's very ends; it keeps its side.
    return offset > 0 ? std::numeric_limits<std::int64_t>::max()
                      : std::numeric_limits<std::int64_t>::min();
  }
  return onJack;
}

}  // namespace

JackMidiStream::JackMidiStream(jack_client_t* client, std::size_t capacity)
    : client_(client), queue_(capacity) {}

JackMidiStream::~JackMidiStream() {
  // The client, and with it the process thread, is gone by now.
  ServerTimeline().Release(this);
}

void JackMidiStream::Attach(jack_port_t* port) {
  port_.store(port, std::memory_order_release);
}

bool JackMidiStream::Push(const MidiMessage& message, Timestamp at) {
  return queue_.Push({message, OnJackClock(at)});
}

template <typename Done>
JackMidiStream::Wait JackMidiStream::WaitUntil(Done done, MidiClock::time_point deadline,
                                               const std::atomic<bool>& serverGone) const {
  while (!done()) {
    if (serverGone.load(std::memory_order_acquire)) {
      return Wait::kServerGone;
    }
    if (MidiClock::now() >= deadline) {
      return Wait::kTimedOut;
    }
    std::this_thread::sleep_for(kPoll);
  }
  return Wait::kDone;
}

JackMidiStream::Wait JackMidiStream::Drain(std::chrono::nanoseconds timeout,
                                           const std::atomic<bool>& serverGone) const {
  const std::uint64_t pushed = queue_.Pushed();
  return WaitUntil([&] { return queue_.Taken() >= pushed; }, MidiClock::now() + timeout,
                   serverGone);
}

jack_nframes_t JackMidiStream::Period(jack_nframes_t fallback) const {
  const jack_nframes_t period = period_.load(std::memory_order_relaxed);
  return period != 0 ? period : fallback;
}

JackMidiStream::Wait JackMidiStream::Detach(std::chrono::nanoseconds timeout,
                                            const std::atomic<bool>& serverGone) {
  dropBelow_.store(queue_.Pushed(), std::memory_order_release);
  port_.store(nullptr, std::memory_order_release);
  // A cycle that began before the store may still write to the port; the
  // one after it has let go of it, having emptied the port's buffer.
  const std::uint64_t cycle = cycles_.load(std::memory_order_acquire);
  const Wait waited =
      WaitUntil([&] { return cycles_.load(std::memory_order_acquire) >= cycle + 2; },
                MidiClock::now() + timeout, serverGone);
  if (waited != Wait::kTimedOut) {
    // No cycle of this stream observes any more.
    ServerTimeline().Release(this);
  }
  return waited;
}

int JackMidiStream::Process(jack_nframes_t frames, void* stream) {
  auto& self = *static_cast<JackMidiStream*>(stream);
  self.period_.store(frames, std::memory_order_relaxed);
  jack_port_t* port = self.port_.load(std::memory_order_acquire);
  if (self.previous_ != nullptr && self.previous_ != port) {
    // JACK offers an output buffer to its readers again in every cycle that
    // its owner leaves it alone: emptied once, it repeats nothing.
    jack_midi_clear_buffer(jack_port_get_buffer(self.previous_, frames));
  }
  self.previous_ = port;
  const std::uint64_t dropBelow = self.dropBelow_.load(std::memory_order_acquire);
  while (self.queue_.Taken() < dropBelow && self.queue_.Front() != nullptr) {
    self.queue_.Pop();
  }
  if (port != nullptr) {
    self.Write(port, frames);
  }
  self.cycles_.fetch_add(1, std::memory_order_acq_rel);
  return 0;
}

void JackMidiStream::Write(jack_port_t* port, jack_nframes_t frames) {
  void* buffer = jack_port_get_buffer(port, frames);
  jack_midi_clear_buffer(buffer);
  // Shared memory that the server updates at every cycle: no system call.
  jack_nframes_t startFrame = 0;
  jack_time_t start = 0;
  jack_time_t next = 0;
  float periodUsecs = 0.0F;
  if (jack_get_cycle_times(client_, &startFrame, &start, &next, &periodUsecs) != 0 ||
      next <= start) {
    // No timing yet (the server's first cycle): nothing can be placed, and
    // playing a message early would be worse than a cycle's wait.
    return;
  }
  JackTimeline& timeline = ServerTimeline();
  const std::int64_t first =
      timeline.Observe(this, startFrame, start, jack_get_sample_rate(client_));
  // JACK wants a buffer's events in time order, and a late message must not
  // overtake one sent before it.
  std::int64_t earliest = 0;
  while (const TimedMessage* message = queue_.Front()) {
    // The cycle plays the period before it began: a message's frame, one
    // period on, is where it goes.
    const std::optional<double> at = timeline.FrameAt(message->at);
    if (!at) {
      return;  // another client observes, and has just let go
    }
    const std::int64_t frame = std::llround(*at) + frames - first;
    if (frame >= static_cast<std::int64_t>(frames)) {
      break;  // this and everything after it is for a later cycle
    }
    earliest = std::max(earliest, frame);
    const std::span<const std::uint8_t> bytes = message->message.Bytes();
    if (!bytes.empty() && jack_midi_event_write(buffer, static_cast<jack_nframes_t>(earliest),
                                                bytes.data(), bytes.size()) != 0) {
      break;  // the buffer is full: the rest goes out in the next cycle
    }
    queue_.Pop();
  }
}

}  // namespace sonavela::midi
