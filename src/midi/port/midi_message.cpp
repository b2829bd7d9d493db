// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/port/midi_message.h"

namespace sonavela::midi {

int MessageLength(std::uint8_t status) {
  if (status < 0x80) {
    return 0;
  }
  if (status < 0xF0) {
    const int kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
  }
  switch (status) {
    case 0xF0:  // SysEx has no fixed length
    case 0xF7:
      return 0;
    case 0xF1:  // MTC quarter frame
    case 0xF3:  // song select
      return 2;
    case 0xF2:  // song position
      return 3;
    default:
      return 1;
  }
}

std::optional<MidiMessage> MidiMessage::Decode(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) {
    return std::nullopt;
  }
  const int length = MessageLength(bytes[0]);
  if (length == 0 || static_cast<std::size_t>(length) != bytes.size()) {
    return std::nullopt;
  }
  for (std::size_t i = 1; i < bytes.size(); ++i) {
    if (bytes[i] > 0x7F) {
      return std::nullopt;
    }
  }
  return MidiMessage(bytes[0], length > 1 ? bytes[1] : std::uint8_t{0},
                     length > 2 ? bytes[2] : std::uint8_t{0}, static_cast<std::uint8_t>(length));
}

}  // namespace sonavela::midi
