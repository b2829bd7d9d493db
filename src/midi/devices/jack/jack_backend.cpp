// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/jack/jack_backend.h"

#include <utility>

#include "midi/devices/alsa-rtmidi/virtual_port_backend.h"
#include "midi/devices/jack/jack_session.h"

namespace sonavela::midi {

JackOutputBackend::JackOutputBackend(std::shared_ptr<JackSession> session, std::string portName)
    : session_(std::move(session)), portName_(std::move(portName)) {}

JackOutputBackend::~JackOutputBackend() {
  (void)Close();
}

Status JackOutputBackend::OpenPort(const std::string& destination) {
  (void)Close();
  Status opened = session_->OpenOutput(portName_, destination);
  open_ = opened.ok();
  return opened;
}

Status JackOutputBackend::Send(const MidiMessage& message, Timestamp at) {
  return open_ ? session_->Send(message, at) : Status();
}

std::chrono::nanoseconds JackOutputBackend::Lookahead() const {
  return open_ ? session_->Lookahead() : std::chrono::nanoseconds{};
}

Status JackOutputBackend::Close() {
  if (!open_) {
    return {};
  }
  open_ = false;
  return session_->CloseOutput();
}

JackPortsBackend::JackPortsBackend(std::shared_ptr<JackSession> session, std::string portName)
    : JackOutputBackend(std::move(session), std::move(portName)) {
  if (Status connected = Session().Connect(); connected) {
    devices_ = Session().MidiInputs();
  } else {
    unavailable_.push_back(
        Error::Of(ErrorKind::kDevicesUnlisted, "JACK").Because(connected.error()));
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

Status JackPortsBackend::Open(unsigned index) {
  if (index >= devices_.size()) {
    (void)Close();
    return NoSuchDevice(index);
  }
  if (Status opened = OpenPort(devices_[index]); !opened) {
    return Error::Of(ErrorKind::kOutputNotOpened, devices_[index]).Because(opened.error());
  }
  return {};
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

Status JackVirtualPortBackend::Open(unsigned index) {
  if (index >= DeviceCount()) {
    (void)Close();
    return NoSuchDevice(index);
  }
  if (Status opened = OpenPort(""); !opened) {
    return Error::Of(ErrorKind::kVirtualPortNotCreated, kVirtualPortDeviceName)
        .Because(opened.error());
  }
  return {};
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
