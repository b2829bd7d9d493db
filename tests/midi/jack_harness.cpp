// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_harness.h"

#include <jack/midiport.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace sonavela::midi::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPoll{50};

bool ServerAnswers(const std::string& server) {
  jack_status_t status{};
  const std::string probe = "sonavela_probe_" + std::to_string(getpid());
  jack_client_t* client = jack_client_open(
      probe.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
      server.c_str());
  if (client == nullptr) {
    return false;
  }
  jack_client_close(client);
  return true;
}

// libjack reports every failed connection attempt while the server boots.
void Quiet(const char* /*message*/) {}

}  // namespace

JackTestServer::~JackTestServer() {
  Stop();
}

bool JackTestServer::Start(const std::string& name, std::chrono::milliseconds timeout,
                           jack_nframes_t period, jack_nframes_t rate, bool realtime) {
  name_ = name;
  period_ = period;
  rate_ = rate;
  realtime_ = realtime;
  logPath_ = "/tmp/" + name + ".jackd.log";
  const pid_t parent = getpid();
  // Made before fork: the child of a threaded process must not allocate.
  const std::string frames = std::to_string(period);
  const std::string frequency = std::to_string(rate);
  pid_ = fork();
  if (pid_ < 0) {
    error_ = std::string("fork failed: ") + std::strerror(errno);
    return false;
  }
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
      _exit(126);
    }
    std::FILE* log = std::fopen(logPath_.c_str(), "w");
    if (log != nullptr) {
      dup2(fileno(log), STDOUT_FILENO);
      dup2(fileno(log), STDERR_FILENO);
    }
    // No realtime scheduling unless asked for (containers refuse it); the
    // dummy driver needs no sound card. The default period of 1024 frames
    // leaves room for a burst of events.
    execlp("jackd", "jackd", realtime_ ? "--realtime" : "--no-realtime", "--name", name_.c_str(),
           "-d", "dummy", "-r", frequency.c_str(), "-p", frames.c_str(),
           static_cast<char*>(nullptr));
    std::fprintf(stderr, "cannot run jackd: %s\n", std::strerror(errno));
    _exit(127);
  }

  jack_set_error_function(&Quiet);
  jack_set_info_function(&Quiet);
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "jackd exited during start-up (install the package jackd2): " + LogText();
      return false;
    }
    if (ServerAnswers(name_)) {
      return true;
    }
    std::this_thread::sleep_for(kPoll);
  }
  error_ = "jackd did not answer within " + std::to_string(timeout.count()) + " ms: " + LogText();
  Stop();
  return false;
}

void JackTestServer::Stop() {
  Terminate();
  if (killed_) {
    killed_ = false;
    if (Start(name_, std::chrono::seconds(15), period_, rate_, realtime_)) {
      Terminate();
    }
    RemoveClientSemaphores();
  }
  std::remove(logPath_.c_str());
}

void JackTestServer::RemoveClientSemaphores() const {
  // What the clients of a killed server leave in /dev/shm; the server's name
  // is part of each file's name, and no other server here shares it.
  const std::string prefix = "jack_sem." + std::to_string(getuid()) + "_" + name_ + "_";
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
    if (entry.path().filename().string().starts_with(prefix)) {
      std::filesystem::remove(entry.path(), ignored);
    }
  }
}

void JackTestServer::Kill() {
  if (pid_ <= 0) {
    return;
  }
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  killed_ = true;
}

void JackTestServer::Pause() {
  if (pid_ > 0) {
    kill(pid_, SIGSTOP);
  }
}

void JackTestServer::Resume() {
  if (pid_ > 0) {
    kill(pid_, SIGCONT);
  }
}

void JackTestServer::Terminate() {
  if (pid_ <= 0) {
    return;
  }
  kill(pid_, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
}

std::string JackTestServer::LogText() const {
  std::ifstream log(logPath_);
  std::ostringstream text;
  text << log.rdbuf();
  return text.str();
}

JackMidiSink::~JackMidiSink() {
  if (client_ != nullptr) {
    // libjack crashes in jack_deactivate once the server is gone.
    if (!serverGone_.load()) {
      jack_deactivate(client_);
    }
    jack_client_close(client_);
  }
  if (ring_ != nullptr) {
    jack_ringbuffer_free(ring_);
  }
  if (events_ != nullptr) {
    jack_ringbuffer_free(events_);
  }
}

bool JackMidiSink::Open(const std::string& server, const std::string& clientName) {
  ring_ = jack_ringbuffer_create(1 << 16);
  events_ = jack_ringbuffer_create(1 << 18);
  jack_status_t status{};
  client_ = jack_client_open(
      clientName.c_str(),
      static_cast<jack_options_t>(JackNoStartServer | JackServerName | JackUseExactName), &status,
      server.c_str());
  if (client_ == nullptr) {
    error_ =
        "cannot open the JACK client " + clientName + " (status " + std::to_string(status) + ")";
    return false;
  }
  jack_on_shutdown(client_, &OnShutdown, this);
  port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (port_ == nullptr || jack_set_process_callback(client_, &Process, this) != 0 ||
      jack_set_client_registration_callback(client_, &OnClientRegistration, this) != 0 ||
      jack_set_xrun_callback(client_, &OnXrun, this) != 0 || jack_activate(client_) != 0) {
    error_ = "cannot set up the MIDI input port of " + clientName;
    return false;
  }
  return true;
}

std::string JackMidiSink::PortName() const {
  return port_ == nullptr ? std::string() : std::string(jack_port_name(port_));
}

int JackMidiSink::Process(jack_nframes_t frames, void* self) {
  auto* sink = static_cast<JackMidiSink*>(self);
  void* buffer = jack_port_get_buffer(sink->port_, frames);
  const jack_nframes_t count = jack_midi_get_event_count(buffer);
  const jack_nframes_t cycleStart = jack_last_frame_time(sink->client_);
  for (jack_nframes_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) == 0) {
      jack_ringbuffer_write(sink->ring_, reinterpret_cast<const char*>(event.buffer), event.size);
      Event received{cycleStart + event.time, event.time, {}, 0};
      received.size = static_cast<std::uint8_t>(std::min<std::size_t>(event.size, 3));
      std::memcpy(received.bytes.data(), event.buffer, received.size);
      if (jack_ringbuffer_write_space(sink->events_) >= sizeof received) {
        jack_ringbuffer_write(sink->events_, reinterpret_cast<const char*>(&received),
                              sizeof received);
      }
    }
  }
  return 0;
}

bool JackMidiSink::ConnectFrom(const std::string& source, std::chrono::milliseconds timeout) {
  if (client_ == nullptr || port_ == nullptr) {
    error_ = "the sink is not open";
    return false;
  }
  const auto deadline = Clock::now() + timeout;
  // A client's ports exist before it is activated, and cannot be connected
  // until then: a program that has just started is given the time.
  for (int result = jack_connect(client_, source.c_str(), jack_port_name(port_));
       result != 0 && result != EEXIST;
       result = jack_connect(client_, source.c_str(), jack_port_name(port_))) {
    if (Clock::now() >= deadline) {
      error_ =
          "cannot connect " + source + " to " + PortName() + " (" + std::to_string(result) + ")";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  while (jack_port_connected_to(port_, source.c_str()) == 0) {
    if (Clock::now() >= deadline) {
      error_ = source + " was not connected to " + PortName() + " in time";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool JackMidiSink::PortExists(const std::string& name) const {
  return client_ != nullptr && jack_port_by_name(client_, name.c_str()) != nullptr;
}

void JackMidiSink::RemovePort() {
  if (client_ == nullptr || port_ == nullptr) {
    return;
  }
  // Stopped first, so that the process callback never meets a stale port.
  jack_deactivate(client_);
  jack_port_unregister(client_, port_);
  port_ = nullptr;
}

void JackMidiSink::OnClientRegistration(const char* name, int registered, void* self) {
  auto* sink = static_cast<JackMidiSink*>(self);
  if (registered != 0) {
    const std::lock_guard<std::mutex> lock(sink->clientsMutex_);
    sink->clients_.emplace_back(name);
  }
}

void JackMidiSink::OnShutdown(void* self) {
  static_cast<JackMidiSink*>(self)->serverGone_.store(true);
}

int JackMidiSink::OnXrun(void* self) {
  auto* sink = static_cast<JackMidiSink*>(self);
  const jack_nframes_t frame = jack_frame_time(sink->client_);
  const std::lock_guard<std::mutex> lock(sink->xrunsMutex_);
  sink->xruns_.push_back(frame);
  return 0;
}

std::vector<jack_nframes_t> JackMidiSink::Xruns() const {
  const std::lock_guard<std::mutex> lock(xrunsMutex_);
  return xruns_;
}

int JackMidiSink::ClientsRegistered(const std::string& prefix) const {
  const std::lock_guard<std::mutex> lock(clientsMutex_);
  int count = 0;
  for (const std::string& name : clients_) {
    count += name.starts_with(prefix) ? 1 : 0;
  }
  return count;
}

void JackMidiSink::Discard() {
  Drain();
  received_.clear();
  receivedEvents_.clear();
}

void JackMidiSink::Drain() {
  char chunk[256];
  std::size_t read = 0;
  while ((read = jack_ringbuffer_read(ring_, chunk, sizeof chunk)) > 0) {
    received_.insert(received_.end(), chunk, chunk + read);
  }
  // Written whole by the process callback, so read whole.
  Event event;
  while (jack_ringbuffer_read_space(events_) >= sizeof event) {
    jack_ringbuffer_read(events_, reinterpret_cast<char*>(&event), sizeof event);
    receivedEvents_.push_back(event);
  }
}

std::vector<std::uint8_t> JackMidiSink::WaitForBytes(std::size_t count,
                                                     std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  Drain();
  while (received_.size() < count && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Drain();
  }
  return received_;
}

std::vector<JackMidiSink::Event> JackMidiSink::WaitForEvents(std::size_t count,
                                                             std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  Drain();
  while (receivedEvents_.size() < count && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Drain();
  }
  return receivedEvents_;
}

jack_nframes_t JackMidiSink::FrameNow() const {
  return client_ == nullptr ? 0 : jack_frame_time(client_);
}

JackTool::JackTool(const std::string& command, bool atPrompt, const std::string& output) {
  ::signal(SIGPIPE, SIG_IGN);  // a tool that died fails the test, not ends it
  const std::string to = " >'" + output + "' 2>&1";
  const std::string script =
      atPrompt ? "exec " + command + to
               // A client of a server that died may not end on SIGTERM.
               : command + to +
                     " & read x; kill $! 2>/dev/null; for i in 1 2 3 4 5 6 7 8 9 10; do"
                     " kill -0 $! 2>/dev/null || break; sleep 0.1; done;"
                     " kill -9 $! 2>/dev/null; wait";
  // Close-on-exec: a program started later must not hold the tool's input
  // open, or the tool never sees it end.
  in_ = ::popen(script.c_str(), "we");
}

JackTool::~JackTool() {
  if (in_ != nullptr) {
    ::pclose(in_);
  }
}

bool JackTool::Say(const std::string& line) {
  return in_ != nullptr && std::fprintf(in_, "%s\n", line.c_str()) >= 0 && std::fflush(in_) == 0;
}

}  // namespace sonavela::midi::testing
