#include "midi/short_message.h"

namespace sonavela::midi {

int ShortMessageLength(std::uint8_t status) {
  if (status < 0x80) {
    return 0;
  }
  if (status < 0xF0) {
    const int kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
  }
  switch (status) {
    case 0xF1:  // MTC quarter frame
    case 0xF3:  // song select
      return 2;
    case 0xF2:  // song position
      return 3;
    default:
      return 1;
  }
}

std::vector<std::uint8_t> ShortMessageBytes(std::uint32_t message) {
  const auto status = static_cast<std::uint8_t>(message & 0xFF);
  const int length = ShortMessageLength(status);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i) {
    bytes.push_back(static_cast<std::uint8_t>((message >> (8 * i)) & 0xFF));
  }
  return bytes;
}

}  // namespace sonavela::midi
