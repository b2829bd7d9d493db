// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "generator/rules.h"
#include "midi/port/midi_message.h"
#include "playback/playback_control.h"

namespace sonavela::playback::testing {

// Instrument 49 in C major with the default tables, as the dialog starts.
inline StartInputs DefaultInputs() {
  return StartInputs::Defaults();
}

[[nodiscard]] constexpr midi::MidiMessage NoteOn(int key) {
  return midi::MidiMessage::NoteOn(1, key, 64);
}
[[nodiscard]] constexpr midi::MidiMessage ProgramChangeTo(int program) {
  return midi::MidiMessage::ProgramChange(1, program);
}

}  // namespace sonavela::playback::testing
