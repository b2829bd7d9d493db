// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A Standard MIDI File as Debian's python3 with mido reads it
// (tests/midi/read_midi_file.py): a reader that shares no code with the
// program's writer.

#include <filesystem>
#include <string>
#include <vector>

namespace sonavela::cli::testing {

// One line of the reader: "<tick> <delta> <type> [numbers...]" or, for text
// events, "<tick> <delta> <type> |<text>".
struct Event {
  long tick = 0;
  std::string type;
  std::vector<int> numbers;
  std::string text;
};

struct MidiText {
  int status = -1;
  std::string raw;
  int format = -1;
  int ticksPerBeat = 0;
  int tracks = 0;
  double seconds = 0;
  std::vector<Event> events;

  [[nodiscard]] std::vector<const Event*> Of(const std::string& type) const {
    std::vector<const Event*> found;
    for (const Event& e : events) {
      if (e.type == type) {
        found.push_back(&e);
      }
    }
    return found;
  }
};

[[nodiscard]] MidiText ReadBack(const std::filesystem::path& file);

}  // namespace sonavela::cli::testing
