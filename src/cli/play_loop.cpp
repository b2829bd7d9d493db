#include "cli/play_loop.h"

namespace sonavela::cli {

void RunPlayLoop(playback::PlaybackSession& session,
                 const std::function<bool(playback::Timestamp)>& waitUntil,
                 const std::function<bool()>& goOn) {
  while (session.Running()) {
    const playback::Timestamp due = session.NextChordDue();
    if (waitUntil(due)) {
      break;
    }
    session.Clock().WaitedUntil(due);
    if (!goOn()) {
      break;
    }
    session.Tick();
  }
}

}  // namespace sonavela::cli
