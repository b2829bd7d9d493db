// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <bitset>

#include "midi/port/midi_message.h"

namespace sonavela::midi {

// Which keys sound on which channel, as a stream of messages leaves them. A
// plain value, safe on a real-time thread.
class SoundingNotes {
 public:
  // A note-on starts its key; a note-off, an all-notes-off ends.
  void Apply(const MidiMessage& message) {
    const int channel = message.Channel();
    if (channel == 0) {
      return;
    }
    auto& keys = keys_[static_cast<std::size_t>(channel - 1)];
    if (message.IsNoteOn()) {
      keys.set(message.Data1());
    } else if (message.IsNoteOff()) {
      keys.reset(message.Data1());
    } else if (message.IsAllNotesOff()) {
      keys.reset();
    }
  }
  [[nodiscard]] bool Sounding(int channel, int key) const {
    return channel >= 1 && channel <= 16 && key >= 0 && key < 128 &&
           keys_[static_cast<std::size_t>(channel - 1)].test(static_cast<std::size_t>(key));
  }
  // `visit(key)` for every key sounding on `channel`, lowest first.
  template <class Visit>
  void ForEach(int channel, Visit visit) const {
    if (channel < 1 || channel > 16) {
      return;
    }
    const auto& keys = keys_[static_cast<std::size_t>(channel - 1)];
    for (int key = 0; key < 128; ++key) {
      if (keys.test(static_cast<std::size_t>(key))) {
        visit(key);
      }
    }
  }

 private:
  std::array<std::bitset<128>, 16> keys_{};
};

}  // namespace sonavela::midi
