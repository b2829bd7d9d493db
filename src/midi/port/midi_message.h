// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

namespace sonavela::midi {

// When a message is meant to sound. Every message carries one: a device that
// can schedule (a MIDI file, an offline render, a JACK port) places it there,
// one that cannot sends it at once.
using MidiClock = std::chrono::steady_clock;
using Timestamp = MidiClock::time_point;

// One MIDI message as it travels on the wire: a status byte and up to two
// data bytes. Channels are numbered as musicians number them, 1 to 16; data
// values are cut to their 7 bits, so a message can never carry a stray status
// byte into the stream.
class MidiMessage {
 public:
  static constexpr std::uint8_t kAllNotesOffController = 0x7B;

  constexpr MidiMessage() = default;

  static constexpr MidiMessage NoteOn(int channel, int key, int velocity) {
    return Channel3(0x90, channel, key, velocity);
  }
  static constexpr MidiMessage NoteOff(int channel, int key, int velocity = 64) {
    return Channel3(0x80, channel, key, velocity);
  }
  // `program` is zero-based, as on the wire: General MIDI instrument n is
  // program n - 1.
  static constexpr MidiMessage ProgramChange(int channel, int program) {
    return {StatusOn(0xC0, channel), Data(program), 0, 2};
  }
  static constexpr MidiMessage ControlChange(int channel, int controller, int value) {
    return Channel3(0xB0, channel, controller, value);
  }
  static constexpr MidiMessage AllNotesOff(int channel) {
    return ControlChange(channel, kAllNotesOffController, 0);
  }
  static constexpr MidiMessage Clock() { return {0xF8, 0, 0, 1}; }
  static constexpr MidiMessage Start() { return {0xFA, 0, 0, 1}; }
  static constexpr MidiMessage Continue() { return {0xFB, 0, 0, 1}; }
  static constexpr MidiMessage Stop() { return {0xFC, 0, 0, 1}; }
  // Song position in sixteenth notes from the start of the song, 0 to 16383.
  static constexpr MidiMessage SongPosition(int sixteenths) {
    const int position = std::clamp(sixteenths, 0, 0x3FFF);
    return {0xF2, static_cast<std::uint8_t>(position & 0x7F),
            static_cast<std::uint8_t>(position >> 7), 3};
  }

  // The message that `bytes` holds exactly (status byte first, no running
  // status); std::nullopt for anything else, such as a lone data byte, a
  // truncated message or SysEx.
  [[nodiscard]] static std::optional<MidiMessage> Decode(std::span<const std::uint8_t> bytes);

  // The bytes on the wire.
  [[nodiscard]] constexpr std::span<const std::uint8_t> Bytes() const {
    return std::span<const std::uint8_t>(bytes_.data(), size_);
  }
  [[nodiscard]] constexpr std::size_t Size() const { return size_; }
  [[nodiscard]] constexpr std::uint8_t Status() const { return bytes_[0]; }
  [[nodiscard]] constexpr std::uint8_t Data1() const { return bytes_[1]; }
  [[nodiscard]] constexpr std::uint8_t Data2() const { return bytes_[2]; }

  // Upper nibble of a channel message's status (0x80 note off ... 0xE0 pitch
  // bend); 0xF0 for system messages.
  [[nodiscard]] constexpr std::uint8_t Kind() const { return bytes_[0] & 0xF0; }
  [[nodiscard]] constexpr bool IsChannelMessage() const {
    return size_ > 0 && Status() >= 0x80 && Status() < 0xF0;
  }
  // 1 to 16 for a channel message, 0 otherwise.
  [[nodiscard]] constexpr int Channel() const {
    return IsChannelMessage() ? (Status() & 0x0F) + 1 : 0;
  }
  [[nodiscard]] constexpr bool IsNoteOn() const { return Kind() == 0x90 && Data2() > 0; }
  // A note-off, or a note-on of velocity 0, which means the same.
  [[nodiscard]] constexpr bool IsNoteOff() const {
    return Kind() == 0x80 || (Kind() == 0x90 && Data2() == 0);
  }
  [[nodiscard]] constexpr bool IsAllNotesOff() const {
    return Kind() == 0xB0 && Data1() == kAllNotesOffController;
  }

  friend constexpr bool operator==(const MidiMessage&, const MidiMessage&) = default;

 private:
  constexpr MidiMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                        std::uint8_t size)
      : bytes_{status, data1, data2}, size_(size) {}

  static constexpr std::uint8_t Data(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 0x7F));
  }
  static constexpr std::uint8_t StatusOn(std::uint8_t kind, int channel) {
    return static_cast<std::uint8_t>(kind | (std::clamp(channel, 1, 16) - 1));
  }
  static constexpr MidiMessage Channel3(std::uint8_t kind, int channel, int data1, int data2) {
    return {StatusOn(kind, channel), Data(data1), Data(data2), 3};
  }

  std::array<std::uint8_t, 3> bytes_{};
  std::uint8_t size_ = 0;
};

// How many bytes a message with this status byte occupies: 3 for note,
// controller and pitch-bend messages, 2 for program change and channel
// pressure, 1 to 3 for system messages, 0 for a data byte or SysEx, which
// begin no short message.
[[nodiscard]] int MessageLength(std::uint8_t status);

}  // namespace sonavela::midi
