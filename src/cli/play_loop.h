#pragma once

#include <functional>

#include "playback/session.h"

namespace sonavela::cli {

// The command line's loop after Start: waits until the next chord is due,
// then plays it, until `goOn` says no (it is asked before every chord, after
// the wait, so that the last chord of a counted run sounds for its whole
// interval) or `waitUntil` reports a stop (true). Does not call Stop.
void RunPlayLoop(playback::PlaybackSession& session,
                 const std::function<bool(playback::Timestamp)>& waitUntil,
                 const std::function<bool()>& goOn);

}  // namespace sonavela::cli
