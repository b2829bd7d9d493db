// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace sonavela {

// Something the user should know that is no failure, as a kind the front
// ends word in their own language.
enum class NoticeKind : std::uint8_t {
  kNoJackPlaybackPorts,  // subject: the synthesizer's JACK client
  kTransportGone,
  kTransportBack,
  kClockMessagesLost,  // subject: the MIDI input
  kClockInputGone,     // subject
  kClockStopped,       // subject
  kLinkAlone,          // tempo
  kLinkJoined,         // number: the other peers; tempo
  kLinkStarted,
  kLinkStopped,
  kChordLate,   // the search done elsewhere had no chord ready at its boundary
  kOutputBack,  // subject: the output device that failed and was opened again
};

struct Notice {
  NoticeKind kind = NoticeKind::kTransportBack;
  std::string subject;
  std::int64_t number = 0;
  double tempo = 0.0;

  [[nodiscard]] static Notice Of(NoticeKind kind, std::string subject = {}) {
    return Notice{kind, std::move(subject), 0, 0.0};
  }
};

// The sentence in English, as the command line and the plugin's log say it.
[[nodiscard]] std::string EnglishText(const Notice& notice);

// A tempo as the notices write it: "120 BPM", "99.5 BPM".
[[nodiscard]] std::string BpmText(double tempo);

}  // namespace sonavela
