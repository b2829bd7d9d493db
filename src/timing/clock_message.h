// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "midi/port/midi_message.h"

namespace sonavela::timing {

using midi::Timestamp;

// The real-time messages by which a master leads the gear that follows it.
enum class ClockMessage : std::uint8_t {
  kClock,         // F8: 24 to a quarter note
  kStart,         // FA
  kContinue,      // FB
  kStop,          // FC
  kSongPosition,  // F2: where the next Continue goes on from
  kLost,          // messages were dropped: the queue was full
};

// One of them as it arrived.
struct ClockInputEvent {
  ClockMessage message = ClockMessage::kClock;
  // In sixteenth notes, for kSongPosition.
  std::uint16_t sixteenths = 0;
  // When it reached this program, on the steady clock.
  Timestamp at{};

  // Told in place of messages that a full queue dropped.
  static ClockInputEvent Lost(Timestamp at) { return {ClockMessage::kLost, 0, at}; }
};

// How many messages an input's reader queues for the thread that plays:
// seconds of clock at the fastest tempo, should that thread be held up.
inline constexpr std::size_t kClockQueueCapacity = 4096;

// The message in `bytes` if it is one of the above (not kLost), its time
// left for the caller to stamp; std::nullopt for anything else (notes,
// controllers, time code). Safe on a real-time thread.
[[nodiscard]] std::optional<ClockInputEvent> ClockInputFromBytes(const std::uint8_t* bytes,
                                                                 std::size_t size);

}  // namespace sonavela::timing
