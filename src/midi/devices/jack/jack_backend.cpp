// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/jack/jack_backend.h"

#include <utility>

#include "midi/devices/alsa-rtmidi/virtual_port_backend.h"
#include "midi/devices/jack/jack_session.h"

namespace sonavela::midi {

namespace {

std::string NoSuchDevice(unsigned index) {
  return "There is no MIDI output device number " + std::to_string(index) + ".";
}

}  // namespace

JackOutputBackend::JackOutputBackend(std::shared_ptr<JackSession> session, std::string portName)
    : session_(std::move(session)), portName_(std::move(portName)) {}

JackOutputBackend::~JackOutputBackend() {
  (void)Close();
}

bool JackOutputBackend::OpenPort(const std::string& destination, std::string& why) {
  (void)Close();
  if (!session_->OpenOutput(portName_, destination)) {
    why = session_->LastError();
    return false;
  }
  open_ = true;
  lastError_.clear();
  return true;
}

bool JackOutputBackend::Send(const MidiMessage& message, Timestamp at) {
  if (!open_ || session_->Send(message, at)) {
    return true;
  }
  lastError_ = session_->LastError();
  return false;
}

std::chrono::nanoseconds JackOutputBackend::Lookahead() const {
  return open_ ? session_->Lookahead() : std::chrono::nanoseconds{};
}

bool JackOutputBackend::Close() {
  if (!open_) {
    return true;
  }
  open_ = false;
  if (session_->CloseOutput()) {
    return true;
  }
  lastError_ = session_->LastError();
  return false;
}

JackPortsBackend::JackPortsBackend(std::shared_ptr<JackSession> session, std::string portName)
    : JackOutputBackend(std::move(session), std::move(portName)) {
  if (Session().Connect()) {
    devices_ = Session().MidiInputs();
  } else {
    unavailable_.push_back("JACK: " + Session().ConnectError());
  }
}

unsigned JackPortsBackend::DeviceCount() const {
  return static_cast<unsigned>(devices_.size());
}

std::optional<std::string> JackPortsBackend::DeviceName(unsigned index) const {
  if (index >= devices_.size()) {
    return std::nullopt;
  }
  return devices_[index];
}

bool JackPortsBackend::Open(unsigned index) {
  if (index >= devices_.size()) {
    (void)Close();
    SetLastError(NoSuchDevice(index));
    return false;
  }
  std::string why;
  if (!OpenPort(devices_[index], why)) {
    SetLastError("The MIDI output \"" + devices_[index] + "\" could not be opened: " + why + ".");
    return false;
  }
  return true;
}

JackVirtualPortBackend::JackVirtualPortBackend(std::shared_ptr<JackSession> session,
                                               std::string portName)
    : JackOutputBackend(std::move(session), std::move(portName)) {}

std::optional<std::string> JackVirtualPortBackend::DeviceName(unsigned index) const {
  if (index >= DeviceCount()) {
    return std::nullopt;
  }
  return std::string(kVirtualPortDeviceName);
}

bool JackVirtualPortBackend::Open(unsigned index) {
  if (index >= DeviceCount()) {
    (void)Close();
    SetLastError(NoSuchDevice(index));
    return false;
  }
  std::string why;
  if (!OpenPort("", why)) {
    SetLastError(std::string("The ") + kVirtualPortDeviceName + " could not be created: " + why +
                 ".");
    return false;
  }
  return true;
}

JackFamilyBackend::JackFamilyBackend(std::unique_ptr<MidiBackend> devices,
                                     std::shared_ptr<JackSession> session)
    : devices_(std::move(devices)), session_(std::move(session)) {}

JackFamilyBackend::~JackFamilyBackend() {
  (void)devices_->Close();
}

void JackFamilyBackend::Standby() {
  devices_->Standby();
  session_->Standby();
}

}  // namespace sonavela::midi
