// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/jack/jack_session.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>

#include "midi/devices/jack/jack_stream.h"

namespace sonavela::midi {

namespace {

// Room for a few hundred chords: only a server that has stopped processing
// lets it fill up.
constexpr std::size_t kQueueCapacity = 4096;

// The longest a close waits for messages meant for later.
constexpr std::chrono::seconds kLongestWait{60};

// libjack's last complaint on this thread, to give the user a reason with a
// failure. libjack also complains on its own threads, one of them real-time,
// so no allocation and no lock: a fixed buffer per thread.
constexpr std::size_t kMessageSize = 256;
thread_local char lastJackMessage[kMessageSize] = {};

void KeepJackMessage(const char* message) {
  std::size_t i = 0;
  for (; message[i] != '\0' && i + 1 < kMessageSize; ++i) {
    lastJackMessage[i] = message[i];
  }
  lastJackMessage[i] = '\0';
}

void IgnoreJackMessage(const char* /*message*/) {}

void ForgetJackMessage() {
  lastJackMessage[0] = '\0';
}

// The reason libjack gave for what just failed on this thread, " (...)", or
// nothing; forgotten once taken.
std::string TakeJackMessage() {
  std::string message(lastJackMessage);
  ForgetJackMessage();
  return message.empty() ? message : " (" + message + ")";
}

void QuietLibjackOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(&KeepJackMessage);
    jack_set_info_function(&IgnoreJackMessage);
  });
}

std::string WhyNoClient(jack_status_t status) {
  if ((status & JackServerFailed) != 0) {
    return "no JACK server is running";
  }
  if ((status & JackVersionError) != 0) {
    return "the JACK server speaks another protocol version" + TakeJackMessage();
  }
  if ((status & JackShmFailure) != 0) {
    return "the JACK server's shared memory cannot be reached" + TakeJackMessage();
  }
  return "the JACK server refused the client" + TakeJackMessage();
}

}  // namespace

void QuietLibjack() {
  QuietLibjackOnce();
}

// One client's session with the server and what JACK's threads report about
// it. JACK's callbacks point into it, so it lives as long as the client,
// even when closing the client is left to a thread of its own.
struct JackConnection {
  explicit JackConnection(jack_client_t* jackClient)
      : client(jackClient), stream(jackClient, kQueueCapacity) {}

  static void OnShutdown(jack_status_t code, const char* /*reason*/, void* connection) {
    auto& self = *static_cast<JackConnection*>(connection);
    self.shutdownCode.store(code, std::memory_order_relaxed);
    self.serverGone.store(true, std::memory_order_release);
  }

  static void OnPortRegistration(jack_port_id_t port, int registered, void* connection) {
    auto& self = *static_cast<JackConnection*>(connection);
    jack_port_t* destination = self.destination.load(std::memory_order_acquire);
    if (registered == 0 && destination != nullptr &&
        jack_port_by_id(self.client, port) == destination) {
      self.destinationRemoved.store(true, std::memory_order_release);
    }
  }

  jack_client_t* const client;
  JackMidiStream stream;
  bool active = false;
  // Read while the server answers.
  jack_nframes_t rate = 0;
  jack_nframes_t frames = 0;

  // Written by JACK's notification thread.
  std::atomic<bool> serverGone{false};
  std::atomic<int> shutdownCode{0};
  std::atomic<jack_port_t*> destination{nullptr};
  std::atomic<bool> destinationRemoved{false};
};

JackSession::JackSession(std::string clientName) : clientName_(std::move(clientName)) {}

JackSession::~JackSession() {
  (void)CloseOutput();
  Disconnect();
}

bool JackSession::Connect() {
  if (connection_) {
    return true;
  }
  QuietLibjackOnce();
  // Other libjack users in this process (the synthesizer's audio driver)
  // must not start a server either.
  setenv("JACK_NO_START_SERVER", "1", 0);
  ForgetJackMessage();
  jack_status_t status{};
  jack_client_t* client = jack_client_open(clientName_.c_str(), JackNoStartServer, &status);
  if (client == nullptr) {
    connectError_ = WhyNoClient(status);
    return false;
  }
  auto connection = std::make_unique<JackConnection>(client);
  if (jack_set_process_callback(client, &JackMidiStream::Process, &connection->stream) != 0 ||
      jack_set_port_registration_callback(client, &JackConnection::OnPortRegistration,
                                          connection.get()) != 0) {
    connectError_ = "the JACK client could not be set up" + TakeJackMessage();
    jack_client_close(client);
    return false;
  }
  jack_on_info_shutdown(client, &JackConnection::OnShutdown, connection.get());
  connection_ = std::move(connection);
  connectError_.clear();
  return true;
}

void JackSession::Disconnect() {
  if (!connection_) {
    return;
  }
  // After the server has gone, libjack only cleans up on this side: quick.
  jack_client_close(connection_->client);
  connection_.reset();
}

void JackSession::Abandon() {
  if (!connection_) {
    return;
  }
  std::thread([connection = std::move(connection_)] {
    jack_client_close(connection->client);
  }).detach();
}

void JackSession::Standby() {
  if (out_ == nullptr) {
    Disconnect();
  }
}

std::vector<std::string> JackSession::MidiInputs() const {
  std::vector<std::string> names;
  if (!connection_) {
    return names;
  }
  const char** ports =
      jack_get_ports(connection_->client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  for (std::size_t i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
    names.emplace_back(ports[i]);
  }
  jack_free(static_cast<void*>(ports));
  return names;
}

bool JackSession::Activate() {
  JackConnection& connection = *connection_;
  if (connection.active) {
    return true;
  }
  // Only an output needs the process thread; listing alone does without.
  if (jack_activate(connection.client) != 0) {
    lastError_ = "the JACK client could not be activated" + TakeJackMessage();
    return false;
  }
  connection.active = true;
  // Read now: once the server has gone, libjack must not be asked.
  connection.rate = jack_get_sample_rate(connection.client);
  connection.frames = jack_get_buffer_size(connection.client);
  return true;
}

bool JackSession::OpenOutput(const std::string& portName, const std::string& destination) {
  (void)CloseOutput();
  failure_.reset();
  lastError_.clear();
  if (connection_ && connection_->serverGone.load()) {
    Disconnect();  // a new server may have started since
  }
  if (!Connect()) {
    lastError_ = connectError_;
    return false;
  }
  JackConnection& connection = *connection_;
  jack_port_t* target = nullptr;
  if (!destination.empty()) {
    target = jack_port_by_name(connection.client, destination.c_str());
    if (target == nullptr || (jack_port_flags(target) & JackPortIsInput) == 0) {
      lastError_ = "it is no longer available";
      return false;
    }
  }
  ForgetJackMessage();
  jack_port_t* out = jack_port_register(connection.client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                        JackPortIsOutput, 0);
  if (out == nullptr) {
    lastError_ = "JACK refused the port \"" + portName + "\"" + TakeJackMessage();
    return false;
  }
  // Watched from before the connection, so that a removal in between is
  // noticed too.
  connection.destinationRemoved.store(false);
  connection.destination.store(target, std::memory_order_release);
  destinationName_ = destination;
  if (!Activate()) {
    connection.destination.store(nullptr);
    jack_port_unregister(connection.client, out);
    return false;
  }
  connection.stream.Attach(out);
  if (target != nullptr) {
    const int result = jack_connect(connection.client, jack_port_name(out), destination.c_str());
    if (result != 0 && result != EEXIST) {
      lastError_ = "JACK refused to connect to it" + TakeJackMessage();
      connection.destination.store(nullptr);
      if (connection.stream.Detach(DeliveryTimeout(), connection.serverGone) ==
          JackMidiStream::Wait::kDone) {
        jack_port_unregister(connection.client, out);
      }
      return false;
    }
  }
  out_ = out;
  return true;
}

std::optional<std::string> JackSession::Failure() const {
  if (!connection_) {
    return std::nullopt;
  }
  if (connection_->serverGone.load(std::memory_order_acquire)) {
    if ((connection_->shutdownCode.load() & JackClientZombie) != 0) {
      return "the JACK server stopped this program's client (it fell behind)";
    }
    return "the JACK server has quit";
  }
  if (connection_->destinationRemoved.load(std::memory_order_acquire)) {
    return "the MIDI input \"" + destinationName_ + "\" was removed";
  }
  return std::nullopt;
}

void JackSession::Fail(std::string why) {
  lastError_ = why;
  failure_ = std::move(why);
}

bool JackSession::Send(const MidiMessage& message, Timestamp at) {
  if (out_ == nullptr) {
    return true;
  }
  if (failure_) {
    return false;
  }
  if (std::optional<std::string> why = Failure()) {
    Fail(std::move(*why));
    if (connection_->serverGone.load()) {
      // At once: libjack breaks a dead client that is still open when
      // anyone in the process (the synthesizer's audio driver) tries to
      // open a client of their own.
      Disconnect();
    }
    return false;
  }
  if (!connection_->stream.Push(message, at)) {
    Fail("the JACK server has stopped taking MIDI messages");
    return false;
  }
  latest_ = std::max(latest_, at);
  return true;
}

std::chrono::nanoseconds JackSession::Period() const {
  if (!connection_ || connection_->rate == 0) {
    return {};
  }
  // The buffer size may change while the server runs; the rate cannot.
  const jack_nframes_t frames = connection_->stream.Period(connection_->frames);
  return std::chrono::nanoseconds(std::int64_t{1'000'000'000} * frames / connection_->rate);
}

std::chrono::nanoseconds JackSession::Lookahead() const {
  if (out_ == nullptr) {
    return {};
  }
  // The cycle that plays a message may begin right after its time, and the
  // message must be queued by then. The margin is for a sender that wakes
  // late and for cycles that begin early against the server's estimate of
  // their time.
  return 2 * Period() + std::chrono::milliseconds(2);
}

std::chrono::nanoseconds JackSession::DeliveryTimeout() const {
  return 10 * Period() + std::chrono::milliseconds(200);
}

bool JackSession::CloseOutput() {
  if (out_ == nullptr) {
    return true;
  }
  jack_port_t* out = std::exchange(out_, nullptr);
  const Timestamp latest = std::exchange(latest_, Timestamp{});
  if (!connection_) {
    return !failure_;  // let go of when its server died
  }
  JackConnection& connection = *connection_;
  const auto notDelivered = [this] {
    if (!failure_) {
      Fail("the JACK server did not deliver the last MIDI messages in time");
    }
  };
  if (!failure_ && !connection.serverGone.load()) {
    // Neither the server nor the peer has failed so far: what is queued is
    // owed to the peer. It has been read once Detach below is done.
    // A message meant for later leaves the queue in its own cycle. One
    // meant for much later than any chord is a sender's mistake, which must
    // not keep the close waiting.
    const std::chrono::nanoseconds ahead =
        std::clamp<std::chrono::nanoseconds>(latest - MidiClock::now(), {}, kLongestWait);
    if (connection.stream.Drain(ahead + DeliveryTimeout(), connection.serverGone) ==
        JackMidiStream::Wait::kTimedOut) {
      notDelivered();
    }
  }
  if (!failure_) {
    if (std::optional<std::string> why = Failure()) {
      Fail(std::move(*why));
    }
  }
  connection.destination.store(nullptr);
  destinationName_.clear();
  if (connection.serverGone.load()) {
    Disconnect();
    return !failure_;
  }
  switch (connection.stream.Detach(DeliveryTimeout(), connection.serverGone)) {
    case JackMidiStream::Wait::kDone:
      jack_port_unregister(connection.client, out);
      break;
    case JackMidiStream::Wait::kServerGone:
      if (!failure_) {
        Fail(*Failure());
      }
      Disconnect();
      break;
    case JackMidiStream::Wait::kTimedOut:
      notDelivered();
      Abandon();
      break;
  }
  return !failure_;
}

}  // namespace sonavela::midi
