// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/jack_clock_port.h"

#include <jack/midiport.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <utility>

#include "midi/devices/jack/jack_session.h"
#include "midi/devices/jack/jack_timeline.h"

namespace sonavela::timing {

namespace {

static_assert(std::atomic<bool>::is_always_lock_free);

// A message as the process thread saw it, at its frame's time on JACK's
// clock.
struct Stamped {
  ClockInputEvent event;
  std::int64_t jackNs = 0;
};

}  // namespace

struct JackClockPort::Shared {
  jack_client_t* client = nullptr;
  jack_port_t* port = nullptr;
  std::string source;
  midi::SpscQueue<Stamped> queue{kClockQueueCapacity};
  std::atomic<bool> lost{false};
  // Raised on JACK's own thread when the server goes.
  std::atomic<bool> gone{false};

  ~Shared() {
    // After its server has gone libjack only cleans up on this side, which
    // is quick; and a dead client left open keeps this process from the
    // server that is started next under the same name.
    if (client != nullptr) {
      jack_client_close(client);
    }
  }

  static void OnShutdown(jack_status_t /*code*/, const char* /*reason*/, void* data) {
    static_cast<Shared*>(data)->gone.store(true);
  }

  static int Process(jack_nframes_t frames, void* data) {
    auto& self = *static_cast<Shared*>(data);
    void* buffer = jack_port_get_buffer(self.port, frames);
    const std::uint32_t count = jack_midi_get_event_count(buffer);
    if (count == 0) {
      return 0;
    }
    // Each frame's time on the line that the program's JACK output places
    // its messages by, so that a chord answering a clock goes out exactly a
    // period after it; by JACK's own estimate of the cycle where no output
    // keeps the line.
    jack_nframes_t first = 0;
    jack_time_t start = 0;
    jack_time_t next = 0;
    float periodUsecs = 0;
    if (jack_get_cycle_times(self.client, &first, &start, &next, &periodUsecs) != 0 ||
        next < start) {
      start = jack_get_time();
      next = start;
    }
    const auto span = static_cast<std::int64_t>(next - start) * 1000;
    const midi::JackTimeline& timeline = midi::ServerTimeline();
    const std::optional<std::int64_t> unwrapped = timeline.Unwrap(first);
    for (std::uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event{};
      if (jack_midi_event_get(&event, buffer, i) != 0) {
        continue;
      }
      const std::optional<ClockInputEvent> decoded = ClockInputFromBytes(event.buffer, event.size);
      if (!decoded) {
        continue;
      }
      std::optional<std::int64_t> ns;
      if (unwrapped) {
        ns = timeline.TimeOfFrame(*unwrapped + event.time);
      }
      if (!ns) {
        ns =
            static_cast<std::int64_t>(start) * 1000 + (frames > 0 ? span * event.time / frames : 0);
      }
      if (!self.queue.Push({*decoded, *ns})) {
        self.lost.store(true, std::memory_order_relaxed);
      }
    }
    return 0;
  }
};

JackClockPort::JackClockPort(std::unique_ptr<Shared> shared) : shared_(std::move(shared)) {}

JackClockPort::~JackClockPort() {
  if (shared_->client != nullptr && !shared_->gone.load()) {
    // No more calls into the queue while it is taken down.
    (void)jack_deactivate(shared_->client);
  }
}

Result<std::unique_ptr<JackClockPort>> JackClockPort::Open(const std::string& clientName,
                                                           const std::string& source) {
  setenv("JACK_NO_START_SERVER", "1", 0);
  midi::QuietLibjack();
  auto shared = std::make_unique<Shared>();
  shared->source = source;
  jack_status_t status{};
  shared->client = jack_client_open((clientName + " clock").c_str(), JackNoStartServer, &status);
  if (shared->client == nullptr) {
    return Error::Of((status & JackServerFailed) != 0 ? ErrorKind::kNoJackServer
                                                      : ErrorKind::kJackClientRefused);
  }
  shared->port =
      jack_port_register(shared->client, "clock in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (shared->port == nullptr ||
      jack_set_process_callback(shared->client, &Shared::Process, shared.get()) != 0) {
    return Error::Of(ErrorKind::kJackClientNotSetUp);
  }
  jack_on_info_shutdown(shared->client, &Shared::OnShutdown, shared.get());
  if (jack_activate(shared->client) != 0) {
    return Error::Of(ErrorKind::kJackClientNotRun);
  }
  if (jack_connect(shared->client, source.c_str(), jack_port_name(shared->port)) != 0) {
    return Error::Of(ErrorKind::kJackNotConnected);
  }
  return std::make_unique<JackClockPort>(std::move(shared));
}

std::optional<ClockInputEvent> JackClockPort::Next() {
  Shared& shared = *shared_;
  if (shared.lost.exchange(false, std::memory_order_relaxed)) {
    return ClockInputEvent::Lost(midi::MidiClock::now());
  }
  const Stamped* front = shared.queue.Front();
  if (front == nullptr) {
    return std::nullopt;
  }
  ClockInputEvent event = front->event;
  const std::int64_t jackNs = front->jackNs;
  shared.queue.Pop();
  // libjack's clock and the program's part by far less than a microsecond
  // over the few milliseconds a message waits.
  event.at = Timestamp(std::chrono::nanoseconds(jackNs - midi::JackClockOffset()));
  return event;
}

bool JackClockPort::ServerGone() const {
  return shared_->gone.load();
}

bool JackClockPort::SourceGone() {
  Shared& shared = *shared_;
  if (shared.gone.load()) {
    return true;
  }
  if (jack_port_by_name(shared.client, shared.source.c_str()) == nullptr) {
    sourceMissing_ = true;
    return true;
  }
  if (sourceMissing_) {
    // A port that comes back is a new port: the old connection went with it.
    const int connected =
        jack_connect(shared.client, shared.source.c_str(), jack_port_name(shared.port));
    sourceMissing_ = connected != 0 && connected != EEXIST;
  }
  return sourceMissing_;
}

}  // namespace sonavela::timing
