// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "midi/port/midi_message.h"
#include "midi/port/sounding_notes.h"
#include "plugin/uris.h"

namespace sonavela::plugin {

// Some hosts hand out atom sequences at addresses that are not 8-byte aligned
// (jalv 1.6 does, by 4 bytes), so the ports' buffers are only ever copied:
// the plugin reads and writes aligned copies of its own.

// The events of the input sequence of one cycle, one at a time, each copied
// to aligned memory. Events larger than the copy (none of those the plugin
// reads) are passed over.
class AtomInput {
 public:
  void Begin(const void* sequence);
  // The next event; valid until the next call.
  [[nodiscard]] const LV2_Atom_Event* Next();

 private:
  static constexpr std::size_t kEventCapacity = 8192;

  const std::uint8_t* bytes_ = nullptr;
  std::size_t offset_ = 0;
  std::size_t end_ = 0;
  alignas(8) std::array<std::uint8_t, kEventCapacity> event_{};
};

// The plugin's output sequence for one cycle, forged in aligned memory and
// copied to the host's buffer at the end. An event that does not fit in what
// the host gave is left out whole: a cut event would corrupt the rest.
class AtomOutput {
 public:
  AtomOutput(const LV2_URID_Map& map, const Uris& uris);

  void Begin(void* sequence);
  void End();
  // A DAW that records the output takes only note-offs as the ends of notes:
  // every note sounding gets its own before an all-notes-off of its channel
  // or another strike of its key.
  void Midi(const midi::MidiMessage& message, std::uint32_t offset);
  // patch:Set of the rule file parameter; false when there was no room.
  [[nodiscard]] bool RuleFile(std::string_view path, std::uint32_t offset);

 private:
  [[nodiscard]] bool Room(std::uint32_t bodySize) const;
  [[nodiscard]] bool Write(const midi::MidiMessage& message, std::uint32_t offset);

  static constexpr std::size_t kCapacity = 32768;  // far more than a cycle's chords

  const Uris& uris_;
  void* target_ = nullptr;
  LV2_Atom_Forge forge_{};
  LV2_Atom_Forge_Frame sequence_{};
  bool open_ = false;
  midi::SoundingNotes sounding_;
  alignas(8) std::array<std::uint8_t, kCapacity> buffer_{};
};

}  // namespace sonavela::plugin
