#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/midi_backend.h"

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
//   EXPECT_EQ(log->MessagesTo(0), expected);
//
// The log is shared, so it stays readable after the backend has been moved
// into a MidiPort and after the port is gone. To change a device's behaviour
// later, reach the backend through MidiPort::Backend():
//   dynamic_cast<RecordingBackend&>(port.Backend()).SetOpenFails(2, true);
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
  std::uint32_t message = 0;  // kSend only

  friend bool operator==(const RecordedEvent&, const RecordedEvent&) = default;
};

struct MidiLog {
  std::vector<RecordedEvent> events;
  unsigned sendsWhileClosed = 0;

  // Every delivered message, in order, whatever device it went to.
  [[nodiscard]] std::vector<std::uint32_t> Messages() const;
  [[nodiscard]] std::vector<std::uint32_t> MessagesTo(unsigned device) const;
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
  [[nodiscard]] bool Open(unsigned index) override;
  void Send(std::uint32_t message) override;
  void Close() override;
  [[nodiscard]] std::string LastError() const override;

  void SetOpenFails(unsigned index, bool fails);
  [[nodiscard]] std::optional<unsigned> OpenIndex() const { return open_; }
  [[nodiscard]] const std::shared_ptr<MidiLog>& Log() const { return log_; }

 private:
  std::vector<RecordedDevice> devices_;
  std::shared_ptr<MidiLog> log_;
  std::optional<unsigned> open_;
  std::string lastError_;
};

}  // namespace sonavela::midi
