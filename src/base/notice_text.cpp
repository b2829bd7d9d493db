// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/notice.h"

#include <cstdio>

namespace sonavela {

std::string BpmText(double tempo) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g BPM", tempo);
  return text;
}

std::string EnglishText(const Notice& notice) {
  const std::string input = "\"" + notice.subject + "\"";
  switch (notice.kind) {
    case NoticeKind::kNoJackPlaybackPorts:
      return "the built-in synthesizer plays on JACK, but JACK has no playback ports: connect " +
             notice.subject + ":left and " + notice.subject + ":right yourself";
    case NoticeKind::kTransportGone:
      return "the JACK transport is gone (its server quit); waiting for it to come back";
    case NoticeKind::kTransportBack:
      return "the JACK transport is back";
    case NoticeKind::kClockMessagesLost:
      return "messages from the MIDI input " + input +
             " were lost; the progression waits for the master to start again";
    case NoticeKind::kClockInputGone:
      return "the MIDI input " + input + " is gone; the chord goes on until it comes back";
    case NoticeKind::kClockStopped:
      return "the MIDI clock from " + input +
             " stopped arriving; the chord goes on until it comes back";
    case NoticeKind::kLinkAlone:
      return "no other Link peer answered; leading a session at " + BpmText(notice.tempo);
    case NoticeKind::kLinkJoined:
      return "joined a Link session of " + std::to_string(notice.number) +
             (notice.number == 1 ? " other peer at " : " other peers at ") + BpmText(notice.tempo);
    case NoticeKind::kLinkStarted:
      return "a Link peer started the session";
    case NoticeKind::kLinkStopped:
      return "a Link peer stopped the session; waiting for it to start again";
    case NoticeKind::kOutputBack:
      return "the MIDI output device " + input + " is back; playing on it again";
    case NoticeKind::kChordLate:
      return "the host's worker was late with a chord; it came after its boundary, at the next "
             "cycle";
  }
  return {};
}

}  // namespace sonavela
