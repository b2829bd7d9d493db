#pragma once

#include <cstdint>
#include <memory>

class RtMidiOut;

namespace sonavela::midi {

// What the RtMidi-based backends share: sending a packed short message and
// closing an output without losing what is still queued.

void SendShortMessage(RtMidiOut& out, std::uint32_t message);

// JACK hands queued messages to the port only in its next process cycle, so a
// port closed straight after the final all-notes-off would swallow it and
// leave the receiving synth with hanging notes. Waits for the queue to be
// delivered before closing. Resets `out`.
void CloseOutput(std::unique_ptr<RtMidiOut>& out);

}  // namespace sonavela::midi
