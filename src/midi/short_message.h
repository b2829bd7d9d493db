#pragma once

#include <cstdint>
#include <vector>

namespace sonavela::midi {

// Short messages travel packed as the Windows MIDI API packs them: status in
// bits 0..7, first data byte in bits 8..15, second data byte in bits 16..23.
[[nodiscard]] constexpr std::uint32_t PackShortMessage(std::uint8_t status, std::uint8_t data1,
                                                       std::uint8_t data2 = 0) {
  return static_cast<std::uint32_t>(status) | (static_cast<std::uint32_t>(data1) << 8) |
         (static_cast<std::uint32_t>(data2) << 16);
}

// How many bytes a message with this status byte occupies on the wire: 3 for
// note, controller and pitch-bend messages, 2 for program change and channel
// pressure, 1..3 for system messages, 0 for a data byte where a status byte
// belongs (such a message is not sent at all).
[[nodiscard]] int ShortMessageLength(std::uint8_t status);

// The bytes of a packed short message as a transport puts them on the wire.
[[nodiscard]] std::vector<std::uint8_t> ShortMessageBytes(std::uint32_t message);

}  // namespace sonavela::midi
