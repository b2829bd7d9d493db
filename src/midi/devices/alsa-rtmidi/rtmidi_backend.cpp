// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/alsa-rtmidi/rtmidi_backend.h"

#include <utility>

#include <rtmidi/RtMidi.h>

#include "midi/devices/alsa-rtmidi/rtmidi_output.h"

namespace sonavela::midi {

namespace {

std::string ApiName(RtMidi::Api api) {
  return RtMidi::getApiDisplayName(api);
}

// Why an API cannot work on this machine right now, so RtMidi is never
// asked to open a subsystem that is not there.
std::optional<Error> AbsenceOf(RtMidi::Api api, const MidiHost& host) {
  if (api == RtMidi::LINUX_ALSA && !host.alsaSequencer) {
    return Error::Of(ErrorKind::kNoAlsaSequencer);
  }
  return std::nullopt;
}

Error Unlisted(RtMidi::Api api, Error why) {
  return Error::Of(ErrorKind::kDevicesUnlisted, ApiName(api)).Because(std::move(why));
}

// RtMidi's own words.
Error Said(const std::string& words) {
  return Error::Of(ErrorKind::kSystem, {}, words);
}

}  // namespace

RtMidiBackend::RtMidiBackend(std::string clientName, std::optional<MidiHost> host)
    : clientName_(std::move(clientName)) {
  const MidiHost present = host ? *host : MidiHost{false, AlsaSequencerAccessible()};
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  for (RtMidi::Api api : apis) {
    if (api == RtMidi::RTMIDI_DUMMY || api == RtMidi::UNIX_JACK) {
      continue;
    }
    if (std::optional<Error> absence = AbsenceOf(api, present)) {
      unavailable_.push_back(Unlisted(api, std::move(*absence)));
      continue;
    }
    rtmidiError_.clear();
    try {
      RtMidiOut out(api, clientName_);
      out.setErrorCallback(&CollectRtMidiError, &rtmidiError_);
      const unsigned count = out.getPortCount();
      for (unsigned port = 0; port < count; ++port) {
        std::string name = out.getPortName(port);
        devices_.push_back({static_cast<int>(api), port,
                            name.empty() ? std::nullopt : std::optional<std::string>(name)});
      }
      if (count == 0 && !rtmidiError_.empty()) {
        unavailable_.push_back(Unlisted(api, Said(rtmidiError_)));
      }
    } catch (const RtMidiError& error) {
      unavailable_.push_back(Unlisted(api, Said(error.getMessage())));
    }
  }
}

RtMidiBackend::~RtMidiBackend() {
  (void)Close();
}

unsigned RtMidiBackend::DeviceCount() const {
  return static_cast<unsigned>(devices_.size());
}

std::optional<std::string> RtMidiBackend::DeviceName(unsigned index) const {
  if (index >= devices_.size()) {
    return std::nullopt;
  }
  return devices_[index].name;
}

Status RtMidiBackend::Open(unsigned index) {
  (void)Close();
  if (index >= devices_.size()) {
    return NoSuchDevice(index);
  }
  const Device& device = devices_[index];
  const std::string shownName = device.name.value_or("device " + std::to_string(index));
  rtmidiError_.clear();
  try {
    auto out = std::make_unique<RtMidiOut>(static_cast<RtMidi::Api>(device.api), clientName_);
    out->setErrorCallback(&CollectRtMidiError, &rtmidiError_);
    // Ports come and go while the program runs; find this one again.
    std::optional<unsigned> port;
    const unsigned count = out->getPortCount();
    if (device.name) {
      for (unsigned i = 0; i < count && !port; ++i) {
        if (out->getPortName(i) == *device.name) {
          port = i;
        }
      }
    } else if (device.port < count) {
      port = device.port;
    }
    if (!port) {
      return Error::Of(ErrorKind::kOutputGone, shownName);
    }
    out->openPort(*port, "out");
    if (!out->isPortOpen()) {
      return Error::Of(ErrorKind::kOutputNotOpened, shownName, rtmidiError_);
    }
    out_ = std::move(out);
  } catch (const RtMidiError& error) {
    return Error::Of(ErrorKind::kOutputNotOpened, shownName, error.getMessage());
  }
  return {};
}

Status RtMidiBackend::Send(const MidiMessage& message, Timestamp /*at*/) {
  if (!out_) {
    return {};
  }
  if (Status sent = SendMessage(*out_, message, rtmidiError_); !sent) {
    return Error::Of(ErrorKind::kOutputUnreachable, {}, sent.error().detail);
  }
  return {};
}

Status RtMidiBackend::Close() {
  CloseOutput(out_);
  return {};
}

}  // namespace sonavela::midi
