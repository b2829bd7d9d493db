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

// The reason libjack gave for what just failed on this thread, or nothing;
// forgotten once taken.
std::string TakeJackMessage() {
  std::string message(lastJackMessage);
  ForgetJackMessage();
  return message;
}

Error JackError(ErrorKind kind) {
  return Error::Of(kind, {}, TakeJackMessage());
}

void QuietLibjackOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(&KeepJackMessage);
    jack_set_info_function(&IgnoreJackMessage);
  });
}

Error WhyNoClient(jack_status_t status) {
  if ((status & JackServerFailed) != 0) {
    return Error::Of(ErrorKind::kNoJackServer);
  }
  if ((status & JackVersionError) != 0) {
    return JackError(ErrorKind::kJackVersion);
  }
  if ((status & JackShmFailure) != 0) {
    return JackError(ErrorKind::kJackSharedMemory);
  }
  return JackError(ErrorKind::kJackClientRefused);
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

Status JackSession::Connect() {
  if (connection_) {
    return {};
  }
  QuietLibjackOnce();
  // Other libjack users in this process (the synthesizer's audio driver)
  // must not start a server either.
  setenv("JACK_NO_START_SERVER", "1", 0);
  ForgetJackMessage();
  jack_status_t status{};
  jack_client_t* client = jack_client_open(clientName_.c_str(), JackNoStartServer, &status);
  if (client == nullptr) {
    return WhyNoClient(status);
  }
  auto connection = std::make_unique<JackConnection>(client);
  if (jack_set_process_callback(client, &JackMidiStream::Process, &connection->stream) != 0 ||
      jack_set_port_registration_callback(client, &JackConnection::OnPortRegistration,
                                          connection.get()) != 0) {
    Error error = JackError(ErrorKind::kJackClientNotSetUp);
    jack_client_close(client);
    return error;
  }
  jack_on_info_shutdown(client, &JackConnection::OnShutdown, connection.get());
  connection_ = std::move(connection);
  return {};
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

Status JackSession::Activate() {
  JackConnection& connection = *connection_;
  if (connection.active) {
    return {};
  }
  // Only an output needs the process thread; listing alone does without.
  if (jack_activate(connection.client) != 0) {
    return JackError(ErrorKind::kJackNotActivated);
  }
  connection.active = true;
  // Read now: once the server has gone, libjack must not be asked.
  connection.rate = jack_get_sample_rate(connection.client);
  connection.frames = jack_get_buffer_size(connection.client);
  return {};
}

Status JackSession::OpenOutput(const std::string& portName, const std::string& destination) {
  (void)CloseOutput();
  failure_.reset();
  if (connection_ && connection_->serverGone.load()) {
    Disconnect();  // a new server may have started since
  }
  if (Status connected = Connect(); !connected) {
    return connected;
  }
  JackConnection& connection = *connection_;
  jack_port_t* target = nullptr;
  if (!destination.empty()) {
    target = jack_port_by_name(connection.client, destination.c_str());
    if (target == nullptr || (jack_port_flags(target) & JackPortIsInput) == 0) {
      return Error::Of(ErrorKind::kJackPortGone);
    }
  }
  ForgetJackMessage();
  jack_port_t* out = jack_port_register(connection.client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                        JackPortIsOutput, 0);
  if (out == nullptr) {
    return Error::Of(ErrorKind::kJackPortRefused, portName, TakeJackMessage());
  }
  // Watched from before the connection, so that a removal in between is
  // noticed too.
  connection.destinationRemoved.store(false);
  connection.destination.store(target, std::memory_order_release);
  destinationName_ = destination;
  if (Status active = Activate(); !active) {
    connection.destination.store(nullptr);
    jack_port_unregister(connection.client, out);
    return active;
  }
  connection.stream.Attach(out);
  if (target != nullptr) {
    const int result = jack_connect(connection.client, jack_port_name(out), destination.c_str());
    if (result != 0 && result != EEXIST) {
      Error refused = JackError(ErrorKind::kJackConnectRefused);
      connection.destination.store(nullptr);
      if (connection.stream.Detach(DeliveryTimeout(), connection.serverGone) ==
          JackMidiStream::Wait::kDone) {
        jack_port_unregister(connection.client, out);
      }
      return refused;
    }
  }
  out_ = out;
  return {};
}

std::optional<Error> JackSession::Failure() const {
  if (!connection_) {
    return std::nullopt;
  }
  if (connection_->serverGone.load(std::memory_order_acquire)) {
    if ((connection_->shutdownCode.load() & JackClientZombie) != 0) {
      return Error::Of(ErrorKind::kJackClientStopped);
    }
    return Error::Of(ErrorKind::kJackServerQuit);
  }
  if (connection_->destinationRemoved.load(std::memory_order_acquire)) {
    return Error::Of(ErrorKind::kJackInputRemoved, destinationName_);
  }
  return std::nullopt;
}

void JackSession::Fail(Error why) {
  failure_ = std::move(why);
}

Status JackSession::Send(const MidiMessage& message, Timestamp at) {
  if (out_ == nullptr) {
    return {};
  }
  if (failure_) {
    return *failure_;
  }
  if (std::optional<Error> why = Failure()) {
    Fail(std::move(*why));
    if (connection_->serverGone.load()) {
      // At once: libjack breaks a dead client that is still open when
      // anyone in the process (the synthesizer's audio driver) tries to
      // open a client of their own.
      Disconnect();
    }
    return *failure_;
  }
  if (!connection_->stream.Push(message, at)) {
    Fail(Error::Of(ErrorKind::kJackNotTaking));
    return *failure_;
  }
  latest_ = std::max(latest_, at);
  return {};
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

Status JackSession::CloseOutput() {
  if (out_ == nullptr) {
    return {};
  }
  jack_port_t* out = std::exchange(out_, nullptr);
  const Timestamp latest = std::exchange(latest_, Timestamp{});
  if (!connection_) {
    return Outcome();  // let go of when its server died
  }
  JackConnection& connection = *connection_;
  const auto notDelivered = [this] {
    if (!failure_) {
      Fail(Error::Of(ErrorKind::kJackLate));
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
    if (std::optional<Error> why = Failure()) {
      Fail(std::move(*why));
    }
  }
  connection.destination.store(nullptr);
  destinationName_.clear();
  if (connection.serverGone.load()) {
    Disconnect();
    return Outcome();
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
  return Outcome();
}

Status JackSession::Outcome() const {
  if (failure_) {
    return *failure_;
  }
  return {};
}

}  // namespace sonavela::midi
