#include "midi/rtmidi_output.h"

#include <chrono>
#include <thread>
#include <vector>

#include <rtmidi/RtMidi.h>

#include "midi/short_message.h"

namespace sonavela::midi {

namespace {

// Longer than two process cycles of the largest usual JACK period (8192
// frames at 44.1 kHz is 186 ms).
constexpr std::chrono::milliseconds kJackDeliveryTime{400};

}  // namespace

void SendShortMessage(RtMidiOut& out, std::uint32_t message) {
  const std::vector<std::uint8_t> bytes = ShortMessageBytes(message);
  if (bytes.empty()) {
    return;
  }
  out.sendMessage(bytes.data(), bytes.size());
}

void CloseOutput(std::unique_ptr<RtMidiOut>& out) {
  if (!out) {
    return;
  }
  // Not isPortOpen(): RtMidi leaves it false for a virtual port, which needs
  // the wait just as much. A held output always has a port of either kind.
  if (out->getCurrentApi() == RtMidi::UNIX_JACK) {
    std::this_thread::sleep_for(kJackDeliveryTime);
  }
  out->closePort();
  out.reset();
}

}  // namespace sonavela::midi
