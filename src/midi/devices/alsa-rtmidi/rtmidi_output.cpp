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

Status SendMessage(RtMidiOut& out, const MidiMessage& message, std::string& collected) {
  collected.clear();
  out.sendMessage(message.Bytes().data(), message.Size());
  if (!collected.empty()) {
    return Error::Of(ErrorKind::kSystem, {}, collected);
  }
  return {};
}

void CloseOutput(std::unique_ptr<RtMidiOut>& out) {
  if (!out) {
    return;
  }
  out->closePort();
  out.reset();
}

}  // namespace sonavela::midi
