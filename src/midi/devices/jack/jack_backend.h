// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/port/midi_backend.h"

namespace sonavela::midi {

class JackSession;

// What the JACK devices share: the program's one JACK client, kept from the
// listing for a quick open, and its one output port.
class JackOutputBackend : public MidiBackend {
 public:
  ~JackOutputBackend() override;
  JackOutputBackend(const JackOutputBackend&) = delete;
  JackOutputBackend& operator=(const JackOutputBackend&) = delete;

  Status Send(const MidiMessage& message, Timestamp at) override;
  Status Close() override;
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const override;

 protected:
  JackOutputBackend(std::shared_ptr<JackSession> session, std::string portName);

  [[nodiscard]] JackSession& Session() { return *session_; }
  [[nodiscard]] const JackSession& Session() const { return *session_; }
  // Registers the port, connected to `destination` unless that is empty;
  // the error is a clause.
  Status OpenPort(const std::string& destination);

 private:
  std::shared_ptr<JackSession> session_;
  std::string portName_;
  bool open_ = false;
};

// The MIDI inputs of the running JACK server, by their full names
// ("client:port"), in JACK's order. Opening one registers the program's
// output port and connects it there. The list is read once, at
// construction; without a server it is empty and Unavailable() says why.
class JackPortsBackend final : public JackOutputBackend {
 public:
  explicit JackPortsBackend(std::shared_ptr<JackSession> session, std::string portName = "out");

  [[nodiscard]] unsigned DeviceCount() const override;
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  Status Open(unsigned index) override;
  [[nodiscard]] std::vector<Error> Unavailable() const override { return unavailable_; }

 private:
  std::vector<std::string> devices_;
  std::vector<Error> unavailable_;
};

// "Sonavela (virtual port)" on JACK: opening it registers the output port
// "<client>:<port>" unconnected, for the user to connect to a DAW or synth.
class JackVirtualPortBackend final : public JackOutputBackend {
 public:
  explicit JackVirtualPortBackend(std::shared_ptr<JackSession> session,
                                  std::string portName = "out");

  [[nodiscard]] unsigned DeviceCount() const override { return 1; }
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  Status Open(unsigned index) override;
};

// The system's MIDI ports and the virtual port (`devices`: the JACK inputs,
// the ALSA sequencer's ports, the virtual port) as one family beside the
// built-in synthesizer. The JACK devices must not give the client up when
// one of them opens another (the virtual port after a JACK input), only
// when a device of another family opens: the synthesizer's JACK audio
// driver wants the client's name.
class JackFamilyBackend final : public MidiBackend {
 public:
  JackFamilyBackend(std::unique_ptr<MidiBackend> devices, std::shared_ptr<JackSession> session);
  ~JackFamilyBackend() override;
  JackFamilyBackend(const JackFamilyBackend&) = delete;
  JackFamilyBackend& operator=(const JackFamilyBackend&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override { return devices_->DeviceCount(); }
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override {
    return devices_->DeviceName(index);
  }
  Status Open(unsigned index) override { return devices_->Open(index); }
  Status Send(const MidiMessage& message, Timestamp at) override {
    return devices_->Send(message, at);
  }
  Status Close() override { return devices_->Close(); }
  [[nodiscard]] std::vector<Error> Unavailable() const override { return devices_->Unavailable(); }
  [[nodiscard]] std::vector<Notice> TakeNotices() override { return devices_->TakeNotices(); }
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const override {
    return devices_->Lookahead();
  }
  void Standby() override;

 private:
  std::unique_ptr<MidiBackend> devices_;
  std::shared_ptr<JackSession> session_;
};

}  // namespace sonavela::midi
