// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/alsa-rtmidi/virtual_port_backend.h"

#include <utility>
#include <vector>

#include <rtmidi/RtMidi.h>

#include "midi/devices/alsa-rtmidi/rtmidi_output.h"

namespace sonavela::midi {

namespace {

bool Compiled(RtMidi::Api api) {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  for (RtMidi::Api compiled : apis) {
    if (compiled == api) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<VirtualPortApi> ChooseVirtualPortApi(const MidiHost& host) {
  if (host.jackServer) {
    return VirtualPortApi::kJack;
  }
  if (host.alsaSequencer && Compiled(RtMidi::LINUX_ALSA)) {
    return VirtualPortApi::kAlsa;
  }
  return std::nullopt;
}

AlsaVirtualPortBackend::AlsaVirtualPortBackend(std::string clientName, std::string portName)
    : clientName_(std::move(clientName)), portName_(std::move(portName)) {}

AlsaVirtualPortBackend::~AlsaVirtualPortBackend() {
  (void)Close();
}

std::optional<std::string> AlsaVirtualPortBackend::DeviceName(unsigned index) const {
  if (index >= DeviceCount()) {
    return std::nullopt;
  }
  return std::string(kVirtualPortDeviceName);
}

Status AlsaVirtualPortBackend::Open(unsigned index) {
  (void)Close();
  if (index >= DeviceCount()) {
    return NoSuchDevice(index);
  }
  rtmidiError_.clear();
  try {
    auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, clientName_);
    out->setErrorCallback(&CollectRtMidiError, &rtmidiError_);
    if (rtmidiError_.empty()) {
      out->openVirtualPort(portName_);
    }
    if (!rtmidiError_.empty()) {
      return Error::Of(ErrorKind::kVirtualPortNotCreated, kVirtualPortDeviceName, rtmidiError_);
    }
    out_ = std::move(out);
  } catch (const RtMidiError& error) {
    return Error::Of(ErrorKind::kVirtualPortNotCreated, kVirtualPortDeviceName, error.getMessage());
  }
  return {};
}

Status AlsaVirtualPortBackend::Send(const MidiMessage& message, Timestamp /*at*/) {
  if (!out_) {
    return {};
  }
  if (Status sent = SendMessage(*out_, message, rtmidiError_); !sent) {
    return Error::Of(ErrorKind::kVirtualPortFailed, kVirtualPortDeviceName, sent.error().detail);
  }
  return {};
}

Status AlsaVirtualPortBackend::Close() {
  CloseOutput(out_);
  return {};
}

}  // namespace sonavela::midi
