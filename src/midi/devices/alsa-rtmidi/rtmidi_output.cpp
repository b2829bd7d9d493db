// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/alsa-rtmidi/rtmidi_output.h"

#include <rtmidi/RtMidi.h>

namespace sonavela::midi {

void CollectRtMidiError(RtMidiError::Type /*type*/, const std::string& text, void* data) {
  auto* collected = static_cast<std::string*>(data);
  if (!collected->empty()) {
    *collected += "; ";
  }
  *collected += text;
}

bool SendMessage(RtMidiOut& out, const MidiMessage& message, std::string& errors) {
  errors.clear();
  out.sendMessage(message.Bytes().data(), message.Size());
  return errors.empty();
}

void CloseOutput(std::unique_ptr<RtMidiOut>& out) {
  if (!out) {
    return;
  }
  out->closePort();
  out.reset();
}

}  // namespace sonavela::midi
