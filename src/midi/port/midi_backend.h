// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "base/notice.h"
#include "base/result.h"
#include "midi/port/midi_message.h"

namespace sonavela::midi {

// A family of MIDI output devices that MidiPort drives: list them, open one
// by index, send messages to it, close it. At most one device of a backend is
// open at a time. Every output of the program (system ports, the JACK client,
// the built-in synthesizer, the virtual port, files) is one of these.
class MidiBackend {
 public:
  virtual ~MidiBackend() = default;

  [[nodiscard]] virtual unsigned DeviceCount() const = 0;
  // std::nullopt when the name cannot be read.
  [[nodiscard]] virtual std::optional<std::string> DeviceName(unsigned index) const = 0;
  // On failure nothing is open.
  virtual Status Open(unsigned index) = 0;
  // `at` is when the message is meant to sound; a backend that cannot
  // schedule sends it at once. Sending while nothing is open does nothing and
  // succeeds. Fails when the open device failed (it went away, its server
  // quit, a file could not be written).
  virtual Status Send(const MidiMessage& message, Timestamp at) = 0;
  // Delivers what is still queued and closes the device; fails when that
  // could not be done completely.
  virtual Status Close() = 0;

  // Why whole kinds of devices are missing from the list, one each
  // (kDevicesUnlisted: "JACK", because no JACK server is running), for the
  // user.
  [[nodiscard]] virtual std::vector<Error> Unavailable() const { return {}; }
  // How long before its time a message must be sent for the open device to
  // place it exactly: a device that schedules (a JACK port, the built-in
  // synthesizer) names the margin it needs, one that cannot schedule says
  // zero and is sent each message at its time.
  [[nodiscard]] virtual std::chrono::nanoseconds Lookahead() const { return {}; }
  // What the user should know about the open device that is no failure
  // ("no JACK playback ports to connect the synthesizer to"), one line each,
  // each handed out once.
  [[nodiscard]] virtual std::vector<Notice> TakeNotices() { return {}; }
  // Nothing of this family is about to be used: give back what is held only
  // for listing or reopening quickly (a sound server connection). Called on
  // every other family when one of them opens a device.
  virtual void Standby() {}
};

// The failure of a backend asked for a device it does not have.
[[nodiscard]] inline Error NoSuchDevice(unsigned index) {
  Error error = Error::Of(ErrorKind::kNoSuchDevice);
  error.number = index;
  return error;
}

}  // namespace sonavela::midi
