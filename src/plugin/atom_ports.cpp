// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/atom_ports.h"

#include <lv2/atom/util.h>

#include <algorithm>
#include <cstring>

namespace sonavela::plugin {

namespace {

// A patch:Set object's header, its two keys, the property's URID and the
// path atom's header, padded.
constexpr std::uint32_t kPatchSetOverhead = 64;

}  // namespace

void AtomInput::Begin(const void* sequence) {
  bytes_ = static_cast<const std::uint8_t*>(sequence);
  offset_ = sizeof(LV2_Atom_Sequence);
  end_ = 0;
  if (bytes_ != nullptr) {
    LV2_Atom atom;
    std::memcpy(&atom, bytes_, sizeof atom);
    end_ = sizeof(LV2_Atom) + atom.size;
  }
}

const LV2_Atom_Event* AtomInput::Next() {
  while (offset_ + sizeof(LV2_Atom_Event) <= end_) {
    LV2_Atom_Event header;
    std::memcpy(&header, bytes_ + offset_, sizeof header);
    const std::size_t size = sizeof(LV2_Atom_Event) + header.body.size;
    if (offset_ + size > end_) {
      break;  // a truncated event ends the sequence
    }
    const std::size_t at = offset_;
    offset_ += lv2_atom_pad_size(static_cast<std::uint32_t>(size));
    if (size <= event_.size()) {
      std::memcpy(event_.data(), bytes_ + at, size);
      return reinterpret_cast<const LV2_Atom_Event*>(event_.data());
    }
  }
  offset_ = end_;
  return nullptr;
}

AtomOutput::AtomOutput(const LV2_URID_Map& map, const Uris& uris) : uris_(uris) {
  lv2_atom_forge_init(&forge_, const_cast<LV2_URID_Map*>(&map));
}

void AtomOutput::Begin(void* sequence) {
  target_ = sequence;
  open_ = target_ != nullptr;
  if (!open_) {
    return;
  }
  // The host says in the atom's size how much room the buffer has (taken as
  // the whole buffer, header included, as the LV2 book's examples do).
  LV2_Atom atom;
  std::memcpy(&atom, target_, sizeof atom);
  const std::size_t room = std::min<std::size_t>(atom.size, buffer_.size());
  lv2_atom_forge_set_buffer(&forge_, buffer_.data(), room);
  open_ = lv2_atom_forge_sequence_head(&forge_, &sequence_, 0) != 0;
}

void AtomOutput::End() {
  if (open_) {
    lv2_atom_forge_pop(&forge_, &sequence_);
    LV2_Atom atom;
    std::memcpy(&atom, buffer_.data(), sizeof atom);
    std::memcpy(target_, buffer_.data(), sizeof(LV2_Atom) + atom.size);
  }
  open_ = false;
}

bool AtomOutput::Room(std::uint32_t bodySize) const {
  return open_ &&
         forge_.offset + sizeof(LV2_Atom_Event) + lv2_atom_pad_size(bodySize) <= forge_.size;
}

void AtomOutput::Midi(const midi::MidiMessage& message, std::uint32_t offset) {
  const int channel = message.Channel();
  if (message.IsAllNotesOff()) {
    sounding_.ForEach(
        channel, [&](int key) { (void)Write(midi::MidiMessage::NoteOff(channel, key), offset); });
  } else if (message.IsNoteOn() && sounding_.Sounding(channel, message.Data1())) {
    (void)Write(midi::MidiMessage::NoteOff(channel, message.Data1()), offset);
  } else if (message.IsNoteOff() && !sounding_.Sounding(channel, message.Data1())) {
    return;  // ended already, by a pattern or an all-notes-off
  }
  (void)Write(message, offset);
}

bool AtomOutput::Write(const midi::MidiMessage& message, std::uint32_t offset) {
  const auto size = static_cast<std::uint32_t>(message.Size());
  if (!Room(size)) {
    return false;
  }
  lv2_atom_forge_frame_time(&forge_, offset);
  lv2_atom_forge_atom(&forge_, size, uris_.midiEvent);
  lv2_atom_forge_write(&forge_, message.Bytes().data(), size);
  sounding_.Apply(message);
  return true;
}

bool AtomOutput::RuleFile(std::string_view path, std::uint32_t offset) {
  if (!Room(kPatchSetOverhead + static_cast<std::uint32_t>(path.size()) + 1)) {
    return false;
  }
  LV2_Atom_Forge_Frame frame;
  lv2_atom_forge_frame_time(&forge_, offset);
  lv2_atom_forge_object(&forge_, &frame, 0, uris_.patchSet);
  lv2_atom_forge_key(&forge_, uris_.patchProperty);
  lv2_atom_forge_urid(&forge_, uris_.ruleFile);
  lv2_atom_forge_key(&forge_, uris_.patchValue);
  lv2_atom_forge_path(&forge_, path.data(), static_cast<std::uint32_t>(path.size()));
  lv2_atom_forge_pop(&forge_, &frame);
  return true;
}

}  // namespace sonavela::plugin
