// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "playback/session.h"

namespace sonavela::cli {

// The command line's loop after Start: waits until the session has something
// to do (`waitUntil` returns true when a stop came instead), lets it do it,
// then calls `afterPump`, for as long as the session is engaged. Does not
// call Stop.
void RunPlayLoop(playback::PlaybackSession& session,
                 const std::function<bool(playback::Timestamp)>& waitUntil,
                 const std::function<void()>& afterPump);

}  // namespace sonavela::cli
