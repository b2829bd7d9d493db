// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/jack_transport.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <utility>

#if defined(SONAVELA_HAVE_JACK)
#include <jack/jack.h>
#include <jack/transport.h>

#include "midi/devices/jack/jack_session.h"
#include "midi/devices/jack/jack_timeline.h"
#endif

namespace sonavela::timing {

#if defined(SONAVELA_HAVE_JACK)

struct JackTransport::Client {
  jack_client_t* handle = nullptr;
  // Raised on JACK's own thread when the server goes.
  std::atomic<bool> gone{false};

  ~Client() {
    // Closed also after its server has gone, when libjack only cleans up on
    // this side, which is quick: a dead client left open keeps this process
    // from the server that is started next under the same name.
    if (handle != nullptr) {
      jack_client_close(handle);
    }
  }
};

namespace {

void OnShutdown(jack_status_t /*code*/, const char* /*reason*/, void* data) {
  static_cast<JackTransport::Client*>(data)->gone.store(true);
}

}  // namespace

Result<std::unique_ptr<JackTransport>> JackTransport::Connect(const std::string& clientName,
                                                              double fallbackBpm) {
  // Following a transport must never launch a sound server.
  setenv("JACK_NO_START_SERVER", "1", 0);
  midi::QuietLibjack();
  auto client = std::make_unique<Client>();
  jack_status_t status{};
  const std::string name = clientName + "-transport";
  client->handle = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (client->handle == nullptr) {
    return Error::Of((status & JackServerFailed) != 0 ? ErrorKind::kNoJackServer
                                                      : ErrorKind::kJackClientRefused);
  }
  jack_on_info_shutdown(client->handle, &OnShutdown, client.get());
  if (jack_activate(client->handle) != 0) {
    return Error::Of(ErrorKind::kJackClientNotRun);
  }
  return std::make_unique<JackTransport>(std::move(client), fallbackBpm);
}

JackTransport::JackTransport(std::unique_ptr<Client> client, double fallbackBpm)
    : client_(std::move(client)), fallbackBpm_(fallbackBpm) {}

JackTransport::~JackTransport() = default;

std::optional<TransportPosition> JackTransport::Read() {
  if (client_->gone.load()) {
    return std::nullopt;
  }
  // The position and the server's frame count of one and the same cycle:
  // the cycle's time is then the smooth estimate JACK keeps of its frames,
  // not the moment the cycle happened to wake, which jitters.
  jack_position_t position{};
  jack_transport_state_t state{};
  jack_nframes_t cycle = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const jack_nframes_t before = jack_last_frame_time(client_->handle);
    state = jack_transport_query(client_->handle, &position);
    cycle = jack_last_frame_time(client_->handle);
    if (before == cycle) {
      break;
    }
  }
  TransportPosition read;
  read.rolling = state == JackTransportRolling;
  // The cycle's time on the line that the program's JACK output places its
  // messages by, so that a boundary found from it goes out on its frame;
  // JACK's own estimate where no output keeps the line. libjack's clock is
  // mapped onto the program's through the two read side by side.
  const midi::JackTimeline& timeline = midi::ServerTimeline();
  std::optional<std::int64_t> cycleNs;
  if (const std::optional<std::int64_t> frame = timeline.Unwrap(cycle)) {
    cycleNs = timeline.TimeOfFrame(*frame);
  }
  const bool onLine = cycleNs.has_value();
  if (!onLine) {
    cycleNs = static_cast<std::int64_t>(jack_frames_to_time(client_->handle, cycle)) * 1000;
  }
  read.at = Timestamp(std::chrono::nanoseconds(*cycleNs - midi::JackClockOffset()));
  if ((position.valid & JackPositionBBT) != 0 && position.beats_per_minute > 0 &&
      position.ticks_per_beat > 0) {
    read.fromMaster = true;
    read.bpm = position.beats_per_minute;
    read.beats = (position.bar - 1) * static_cast<double>(position.beats_per_bar) +
                 (position.beat - 1) + position.tick / position.ticks_per_beat;
  } else {
    read.bpm = fallbackBpm_;
    read.beats = position.frame_rate > 0
                     ? static_cast<double>(position.frame) / position.frame_rate * read.bpm / 60.0
                     : 0.0;
  }
  // On the line, frames go at the nominal rate by definition; by JACK's
  // estimate they go at the card's.
  jack_nframes_t frames = 0;
  jack_time_t start = 0;
  jack_time_t next = 0;
  float periodUsecs = 0;
  const jack_nframes_t size = jack_get_buffer_size(client_->handle);
  if (!onLine && position.frame_rate > 0 && size > 0 &&
      jack_get_cycle_times(client_->handle, &frames, &start, &next, &periodUsecs) == 0 &&
      next > start) {
    const double nominal = static_cast<double>(size) / position.frame_rate * 1e6;
    read.timeScale = static_cast<double>(next - start) / nominal;
  }
  return read;
}

#else

struct JackTransport::Client {};

Result<std::unique_ptr<JackTransport>> JackTransport::Connect(const std::string&, double) {
  return Error::Of(ErrorKind::kNoJackInBuild);
}

JackTransport::JackTransport(std::unique_ptr<Client> client, double fallbackBpm)
    : client_(std::move(client)), fallbackBpm_(fallbackBpm) {}

JackTransport::~JackTransport() = default;

std::optional<TransportPosition> JackTransport::Read() {
  return std::nullopt;
}

#endif

}  // namespace sonavela::timing
