// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/play_loop.h"

namespace sonavela::cli {

void RunPlayLoop(playback::PlaybackSession& session,
                 const std::function<bool(playback::Timestamp)>& waitUntil,
                 const std::function<void()>& afterPump) {
  while (session.Engaged()) {
    const playback::Timestamp wake = session.NextWake();
    if (waitUntil(wake)) {
      break;
    }
    session.Clock().WaitedUntil(wake);
    (void)session.Pump();
    afterPump();
  }
}

}  // namespace sonavela::cli
