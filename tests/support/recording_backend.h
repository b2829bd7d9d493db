// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/port/midi_backend.h"
#include "midi/port/midi_message.h"
#include "support/midi_printing.h"

namespace sonavela::midi {

// An in-memory stand-in for MIDI hardware, for tests of everything that
// drives a MidiPort. It remembers, in order, every open, failed open, close
// and delivered short message together with the device index it concerned.
//
//   auto log = std::make_shared<MidiLog>();
//   MidiPort port(std::make_unique<RecordingBackend>(
//       std::vector<RecordedDevice>{{"Synth A"}, {std::nullopt}, {"Broken", false}}, log));
//   ASSERT_TRUE(port.OpenDevice(0));
//   port.PlayChord(chord);
//   EXPECT_EQ(log->MessagesTo(0), expected);    // MidiMessage values
//
// The log is shared, so it stays readable after the backend has been moved
// into a MidiPort and after the port is gone. To change a device's behaviour
// later, keep a pointer to the backend before moving it:
//   backend->SetOpenFails(2, true);  backend->FailSendsFrom(3, "gone");
//
// Like a real device, the backend delivers nothing while no device is open:
// such sends are only counted in MidiLog::sendsWhileClosed.

struct RecordedDevice {
  // std::nullopt: the name cannot be read (DeviceName fails).
  std::optional<std::string> name;
  // false: Open() of this index fails.
  bool opens = true;
};

enum class RecordedKind { kOpen, kOpenFailed, kSend, kClose };

struct RecordedEvent {
  RecordedKind kind = RecordedKind::kSend;
  unsigned device = 0;
  MidiMessage message{};  // kSend only
  Timestamp at{};         // kSend only; not compared, see MidiLog::Times

  friend bool operator==(const RecordedEvent& a, const RecordedEvent& b) {
    return a.kind == b.kind && a.device == b.device && a.message == b.message;
  }
};

struct MidiLog {
  std::vector<RecordedEvent> events;
  unsigned sendsWhileClosed = 0;

  // Every delivered message, in order, whatever device it went to.
  [[nodiscard]] std::vector<MidiMessage> Messages() const;
  [[nodiscard]] std::vector<MidiMessage> MessagesTo(unsigned device) const;
  // When each delivered message was meant to sound, in the same order.
  [[nodiscard]] std::vector<Timestamp> Times() const;
  // The delivered messages as the bytes a transport would put on the wire.
  [[nodiscard]] std::vector<std::uint8_t> Bytes() const;
  void Clear();
};

class RecordingBackend final : public MidiBackend {
 public:
  // Devices are listed in the given order; index i is devices[i].
  explicit RecordingBackend(std::vector<RecordedDevice> devices,
                            std::shared_ptr<MidiLog> log = std::make_shared<MidiLog>());
  // `count` devices named "Device 0", "Device 1", ..., all of which open.
  static std::unique_ptr<RecordingBackend> WithDevices(
      unsigned count, std::shared_ptr<MidiLog> log = std::make_shared<MidiLog>());

  [[nodiscard]] unsigned DeviceCount() const override;
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  Status Open(unsigned index) override;
  Status Send(const MidiMessage& message, Timestamp at) override;
  Status Close() override;
  [[nodiscard]] std::vector<Error> Unavailable() const override { return unavailable; }
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const override { return lookahead; }

  void SetOpenFails(unsigned index, bool fails);
  // The open device goes away after `sends` more messages: every later send
  // fails with `why`, as a device does whose server quit.
  void FailSendsAfter(unsigned sends, std::string why);

  // What Unavailable() and Lookahead() answer.
  std::vector<Error> unavailable;
  std::chrono::nanoseconds lookahead{};
  [[nodiscard]] std::optional<unsigned> OpenIndex() const { return open_; }
  [[nodiscard]] const std::shared_ptr<MidiLog>& Log() const { return log_; }

 private:
  std::vector<RecordedDevice> devices_;
  std::shared_ptr<MidiLog> log_;
  std::optional<unsigned> open_;
  std::optional<unsigned> sendsBeforeFailure_;
  std::string failure_;
};

}  // namespace sonavela::midi
