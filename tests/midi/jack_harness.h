// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <jack/jack.h>
#include <jack/ringbuffer.h>
#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace sonavela::midi::testing {

// A private JACK server on the dummy driver, started for one test and
// stopped (also when the test fails) by the destructor. It is also killed
// when the test process dies, so an aborted run leaves no server behind.
class JackTestServer {
 public:
  JackTestServer() = default;
  ~JackTestServer();
  JackTestServer(const JackTestServer&) = delete;
  JackTestServer& operator=(const JackTestServer&) = delete;

  // Starts `jackd` under `name` and waits until a client can connect.
  // False, with Error(), when jackd is missing, exits, or does not answer
  // within `timeout`. Real-time scheduling, where the system grants it,
  // keeps the dummy driver's cycles on time when the machine is busy.
  [[nodiscard]] bool Start(const std::string& name, std::chrono::milliseconds timeout,
                           jack_nframes_t period = 1024, jack_nframes_t rate = 48000,
                           bool realtime = false);
  void Stop();
  // SIGKILL, as when the server crashes. JACK's registry has room for only
  // a few servers and hands a killed one's entry only to a server of the
  // same name, so Stop (and the destructor) afterwards start and stop one
  // under this name once more.
  void Kill();
  // SIGSTOP and SIGCONT: a server that stops processing for a while.
  void Pause();
  void Resume();

  [[nodiscard]] const std::string& Name() const { return name_; }
  [[nodiscard]] const std::string& Error() const { return error_; }

 private:
  [[nodiscard]] std::string LogText() const;
  void Terminate();
  void RemoveClientSemaphores() const;

  std::string name_;
  std::string logPath_;
  jack_nframes_t period_ = 0;
  jack_nframes_t rate_ = 0;
  bool realtime_ = false;
  pid_t pid_ = -1;
  bool killed_ = false;
  std::string error_;
};

// A JACK client with one MIDI input port that keeps every byte it receives,
// in order, as a MIDI device would see them on its cable, and every event
// with the frame it came at.
class JackMidiSink {
 public:
  struct Event {
    jack_nframes_t frame = 0;             // on the server's frame counter
    jack_nframes_t offset = 0;            // within its cycle
    std::array<std::uint8_t, 3> bytes{};  // the first three, or fewer
    std::uint8_t size = 0;
  };

  JackMidiSink() = default;
  ~JackMidiSink();
  JackMidiSink(const JackMidiSink&) = delete;
  JackMidiSink& operator=(const JackMidiSink&) = delete;

  [[nodiscard]] bool Open(const std::string& server, const std::string& clientName);
  // "client:port", as the port is listed to other programs.
  [[nodiscard]] std::string PortName() const;
  // Connects `source` ("client:port", an output) to this sink and waits
  // until JACK reports the connection.
  [[nodiscard]] bool ConnectFrom(const std::string& source, std::chrono::milliseconds timeout);
  // Whether any JACK client has a port of this full name.
  [[nodiscard]] bool PortExists(const std::string& name) const;
  // Takes the input port away while the client stays, as when a synth
  // drops one of its inputs.
  void RemovePort();
  // How many clients whose names begin with `prefix` have come to the
  // server since this sink opened.
  [[nodiscard]] int ClientsRegistered(const std::string& prefix) const;
  // Forgets everything received so far.
  void Discard();
  // Waits until at least `count` bytes have arrived or `timeout` passed, and
  // returns everything received so far.
  [[nodiscard]] std::vector<std::uint8_t> WaitForBytes(std::size_t count,
                                                       std::chrono::milliseconds timeout);
  // The same for events.
  [[nodiscard]] std::vector<Event> WaitForEvents(std::size_t count,
                                                 std::chrono::milliseconds timeout);
  // The server's estimate of the frame now.
  [[nodiscard]] jack_nframes_t FrameNow() const;
  // About when (the frame) the server missed a cycle, for each time since
  // the sink opened: each breaks the count of frames against the clock.
  [[nodiscard]] std::vector<jack_nframes_t> Xruns() const;
  [[nodiscard]] const std::string& Error() const { return error_; }

 private:
  static int Process(jack_nframes_t frames, void* self);
  static void OnClientRegistration(const char* name, int registered, void* self);
  static void OnShutdown(void* self);
  static int OnXrun(void* self);
  void Drain();

  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  jack_ringbuffer_t* ring_ = nullptr;
  jack_ringbuffer_t* events_ = nullptr;
  std::vector<std::uint8_t> received_;
  std::vector<Event> receivedEvents_;
  std::string error_;
  // Written by JACK's notification thread.
  std::atomic<bool> serverGone_{false};
  mutable std::mutex xrunsMutex_;
  std::vector<jack_nframes_t> xruns_;
  mutable std::mutex clientsMutex_;
  std::vector<std::string> clients_;
};

// A JACK tool beside the test (jack_transport, jack_midi_clock), run by a
// shell that reads the test's lines. `atPrompt`: the lines are the tool's
// own standard input, and it must end on its own once that closes; else the
// tool runs in the background and closing the input (also when the test
// dies) kills it. What the tool prints goes to the file `output`.
class JackTool {
 public:
  JackTool(const std::string& command, bool atPrompt, const std::string& output = "/dev/null");
  ~JackTool();
  JackTool(const JackTool&) = delete;
  JackTool& operator=(const JackTool&) = delete;

  [[nodiscard]] bool Running() const { return in_ != nullptr; }
  // False when the tool is gone.
  [[nodiscard]] bool Say(const std::string& line);

 private:
  std::FILE* in_ = nullptr;
};

}  // namespace sonavela::midi::testing
