// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a playing session tells its front end, as it happens: every front
// end hears the same events and only words them in its own language.

#include <functional>
#include <string>
#include <variant>

#include "base/error.h"
#include "base/notice.h"

namespace sonavela::playback {

// Where the progression stands.
enum class SessionState {
  kStopped,           // not started, or stopped
  kWaitingForMaster,  // started; the master it follows has not rolled (yet)
  kPlaying,
  kSilent,      // playing, but the output failed: nothing is heard
  kMasterGone,  // the master (its server, its input) went away; waiting for it to come back
};

// A chord was played; its result line.
struct PlayedChord {
  std::string line;
  // The first of a start: a list of the lines begins afresh with it.
  bool first = false;
};

// Something the user should know that is no failure.
using Notice = ::sonavela::Notice;

// Something that failed; told once.
struct Failure {
  enum class What {
    kDevice,     // the open output device (or the built-in synthesizer's audio)
    kRecording,  // the recording being written (a full disk)
  };
  What what = What::kDevice;
  Error error;
};

struct StateChanged {
  SessionState state = SessionState::kStopped;
};

using SessionEvent = std::variant<PlayedChord, Notice, Failure, StateChanged>;
using SessionEventSink = std::function<void(const SessionEvent&)>;

}  // namespace sonavela::playback
