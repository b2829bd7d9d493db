#include "midi/virtual_port_backend.h"

#include <utility>
#include <vector>

#include <rtmidi/RtMidi.h>

#include "midi/rtmidi_output.h"

namespace sonavela::midi {

namespace {

void CollectError(RtMidiError::Type /*type*/, const std::string& text, void* data) {
  auto* collected = static_cast<std::string*>(data);
  if (!collected->empty()) {
    *collected += "; ";
  }
  *collected += text;
}

RtMidi::Api RtMidiApiOf(VirtualPortApi api) {
  return api == VirtualPortApi::kJack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

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
  if (host.jackServer && Compiled(RtMidi::UNIX_JACK)) {
    return VirtualPortApi::kJack;
  }
  if (host.alsaSequencer && Compiled(RtMidi::LINUX_ALSA)) {
    return VirtualPortApi::kAlsa;
  }
  return std::nullopt;
}

VirtualPortBackend::VirtualPortBackend(std::optional<VirtualPortApi> api, std::string clientName,
                                       std::string portName)
    : api_(api), clientName_(std::move(clientName)), portName_(std::move(portName)) {}

VirtualPortBackend::~VirtualPortBackend() {
  Close();
}

unsigned VirtualPortBackend::DeviceCount() const {
  return api_ ? 1U : 0U;
}

std::optional<std::string> VirtualPortBackend::DeviceName(unsigned index) const {
  if (index >= DeviceCount()) {
    return std::nullopt;
  }
  return std::string(kVirtualPortDeviceName);
}

bool VirtualPortBackend::Open(unsigned index) {
  Close();
  if (index >= DeviceCount()) {
    lastError_ = "There is no MIDI output device number " + std::to_string(index) + ".";
    return false;
  }
  // The server may have gone since the list was read; RtMidi's JACK client
  // would then register a port on no client at all.
  if (*api_ == VirtualPortApi::kJack && !JackServerRunning()) {
    lastError_ = std::string("The ") + kVirtualPortDeviceName +
                 " cannot be created: no JACK server is running any more.";
    return false;
  }
  rtmidiError_.clear();
  try {
    auto out = std::make_unique<RtMidiOut>(RtMidiApiOf(*api_), clientName_);
    out->setErrorCallback(&CollectError, &rtmidiError_);
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

void VirtualPortBackend::Send(std::uint32_t message) {
  if (out_) {
    SendShortMessage(*out_, message);
  }
}

void VirtualPortBackend::Close() {
  CloseOutput(out_);
}

}  // namespace sonavela::midi
