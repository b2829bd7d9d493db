// SPDX-License-Identifier: GPL-3.0-or-later
#include "timing/clock_message.h"

namespace sonavela::timing {

std::optional<ClockInputEvent> ClockInputFromBytes(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) {
    return std::nullopt;
  }
  ClockInputEvent event;
  // Only whole messages: a real-time status alone, a song position with its
  // two data bytes. Anything else (a cut message, a status with data after
  // it) is not what a master sends.
  const bool realTime = size == 1;
  switch (bytes[0]) {
    case 0xF8:
      event.message = ClockMessage::kClock;
      break;
    case 0xFA:
      event.message = ClockMessage::kStart;
      break;
    case 0xFB:
      event.message = ClockMessage::kContinue;
      break;
    case 0xFC:
      event.message = ClockMessage::kStop;
      break;
    case 0xF2:
      if (size != 3 || bytes[1] > 0x7F || bytes[2] > 0x7F) {
        return std::nullopt;
      }
      event.message = ClockMessage::kSongPosition;
      event.sixteenths = static_cast<std::uint16_t>(bytes[1] | (bytes[2] << 7));
      return event;
    default:
      return std::nullopt;
  }
  if (!realTime) {
    return std::nullopt;
  }
  return event;
}

}  // namespace sonavela::timing
