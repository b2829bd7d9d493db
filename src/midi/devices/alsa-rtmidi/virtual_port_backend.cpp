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

bool AlsaVirtualPortBackend::Open(unsigned index) {
  (void)Close();
  if (index >= DeviceCount()) {
    lastError_ = "There is no MIDI output device number " + std::to_string(index) + ".";
    return false;
  }
  rtmidiError_.clear();
  try {
    auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, clientName_);
    out->setErrorCallback(&CollectRtMidiError, &rtmidiError_);
    if (rtmidiError_.empty()) {
      out->openVirtualPort(portName_);
    }
    if (!rtmidiError_.empty()) {
      lastError_ = std::string("The ") + kVirtualPortDeviceName + " could not be created (" +
                   rtmidiError_ + ").";
      return false;
    }
    out_ = std::move(out);
  } catch (const RtMidiError& error) {
    lastError_ = std::string("The ") + kVirtualPortDeviceName + " could not be created (" +
                 error.getMessage() + ").";
    return false;
  }
  lastError_.clear();
  return true;
}

bool AlsaVirtualPortBackend::Send(const MidiMessage& message, Timestamp /*at*/) {
  if (!out_ || SendMessage(*out_, message, rtmidiError_)) {
    return true;
  }
  lastError_ = std::string("The ") + kVirtualPortDeviceName + " failed (" + rtmidiError_ + ").";
  return false;
}

bool AlsaVirtualPortBackend::Close() {
  CloseOutput(out_);
  return true;
}

}  // namespace sonavela::midi
