#include "midi/devices/jack_stream.h"

#include <jack/midiport.h>

#include <thread>

namespace sonavela::midi {

namespace {

// The process thread must never meet a lock, not even one hidden in an
// atomic.
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
static_assert(std::atomic<jack_port_t*>::is_always_lock_free);

// The process thread cannot wake a waiting thread without a system call, so
// the waits poll: well within the period of the smallest usual JACK buffer
// (64 frames at 48 kHz is 1.3 ms), so that waiting for a cycle costs little
// more than the cycle.
constexpr std::chrono::microseconds kPoll{250};

}  // namespace

JackMidiStream::JackMidiStream(std::size_t capacity) : queue_(capacity) {}

void JackMidiStream::Attach(jack_port_t* port) {
  port_.store(port, std::memory_order_release);
}

bool JackMidiStream::Push(const MidiMessage& message, Timestamp at) {
  return queue_.Push({message, at});
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

JackMidiStream::Wait JackMidiStream::Detach(std::chrono::nanoseconds timeout,
                                            const std::atomic<bool>& serverGone) {
  dropBelow_.store(queue_.Pushed(), std::memory_order_release);
  port_.store(nullptr, std::memory_order_release);
  // A cycle that began before the store may still write to the port; the
  // one after it has let go of it, having emptied the port's buffer.
  const std::uint64_t cycle = cycles_.load(std::memory_order_acquire);
  return WaitUntil([&] { return cycles_.load(std::memory_order_acquire) >= cycle + 2; },
                   MidiClock::now() + timeout, serverGone);
}

int JackMidiStream::Process(jack_nframes_t frames, void* stream) {
  auto& self = *static_cast<JackMidiStream*>(stream);
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
  // For now everything queued goes out at the cycle's first frame, in order.
  // Placing each message at the frame of its time will end this loop at the
  // first message meant for a later cycle, which then stays queued.
  while (const TimedMessage* next = queue_.Front()) {
    const std::span<const std::uint8_t> bytes = next->message.Bytes();
    if (!bytes.empty() && jack_midi_event_write(buffer, 0, bytes.data(), bytes.size()) != 0) {
      break;  // the buffer is full: the rest goes out in the next cycle
    }
    queue_.Pop();
  }
}

}  // namespace sonavela::midi
