// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <jack/jack.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "midi/port/midi_message.h"

namespace sonavela::midi {

struct JackConnection;

// Keeps libjack's messages off stderr for the whole process, once; the last
// one of each thread is kept for the error the user is shown. libjack has
// one message function for everything in the process, so every JACK user
// of the program goes through this.
void QuietLibjack();

// The program's own JACK client: one session with the server that lists the
// MIDI input ports and carries the program's one MIDI output port, either
// connected to a chosen input or left for the user to connect. A server is
// never started; libjack's messages are kept off stderr and the reasons go
// into the errors shown to the user.
//
// Failures of an open output are noticed on JACK's own threads (the server
// quits or drops the client, the connected input is removed), which only
// raise atomic flags; the next Send reports them.
//
// Every member function is for one thread, the one that plays.
class JackSession {
 public:
  explicit JackSession(std::string clientName);
  ~JackSession();
  JackSession(const JackSession&) = delete;
  JackSession& operator=(const JackSession&) = delete;

  // Opens the client unless it is open; fails when no server answers.
  Status Connect();
  [[nodiscard]] bool Connected() const { return connection_ != nullptr; }
  // The full names ("client:port") of the MIDI inputs, in JACK's order.
  [[nodiscard]] std::vector<std::string> MidiInputs() const;

  // Closes the client unless an output is open; the next OpenOutput opens
  // it again.
  void Standby();

  // Registers the output port `portName`, connected to the input
  // `destination` unless that is empty. When that cannot be done nothing is
  // registered, and the error is a clause ("it is no longer available", "no
  // JACK server is running").
  Status OpenOutput(const std::string& portName, const std::string& destination);
  // Queues a message for the cycle that plays its time; fails once the
  // output has failed.
  Status Send(const MidiMessage& message, Timestamp at);
  // How long before its time a message must be sent to be placed at its
  // frame; zero while no output is open.
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const;
  // Waits for JACK to deliver what is queued, also what is meant for later,
  // then removes the port. Fails when the output had failed or could not
  // deliver.
  Status CloseOutput();

 private:
  void Disconnect();
  // Lets go of a client whose server has stopped processing: closing it
  // would wait for that server, maybe for ever.
  void Abandon();
  Status Activate();
  [[nodiscard]] std::optional<Error> Failure() const;
  [[nodiscard]] Status Outcome() const;
  [[nodiscard]] std::chrono::nanoseconds Period() const;
  [[nodiscard]] std::chrono::nanoseconds DeliveryTimeout() const;
  void Fail(Error why);

  std::string clientName_;
  std::unique_ptr<JackConnection> connection_;

  // The open output.
  jack_port_t* out_ = nullptr;
  std::string destinationName_;
  std::optional<Error> failure_;
  Timestamp latest_{};  // of the messages sent to the open output
};

}  // namespace sonavela::midi
