// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "base/result.h"
#include "midi/port/midi_message.h"

#include <rtmidi/RtMidi.h>

namespace sonavela::midi {

// What the RtMidi-based backends (the ALSA sequencer's ports and its virtual
// port) share: collecting RtMidi's complaints, sending a message and closing
// an output.

// An RtMidi error callback that appends each text to the std::string that
// `data` points to, so that a failure lands in one line instead of stderr.
void CollectRtMidiError(RtMidiError::Type type, const std::string& text, void* data);

// Fails with what RtMidi complained while sending; `collected` is the text
// its error callback appends to (see CollectRtMidiError).
Status SendMessage(RtMidiOut& out, const MidiMessage& message, std::string& collected);

// The ALSA sequencer takes each message as it is sent, so nothing is left to
// wait for. Resets `out`.
void CloseOutput(std::unique_ptr<RtMidiOut>& out);

}  // namespace sonavela::midi
