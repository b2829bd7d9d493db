#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "midi/midi_file.h"

namespace sonavela::playback {

// Replaces the file at `path` with `bytes` so that it is either the old file
// or the complete new one, whatever happens: the bytes go to a temporary file
// next to it, reach the disk, and are then renamed over it. Saving through a
// symbolic link replaces the file it points to; a replaced file keeps its
// permissions. std::nullopt on success, else the reason
// ("No space left on device").
[[nodiscard]] std::optional<std::string> WriteFileAtomically(const std::filesystem::path& path,
                                                             std::string_view bytes);

// Saves recording.Encode(end) that way. An empty string on success, else a
// message for the user ("Cannot save the MIDI file "take.mid": ...").
[[nodiscard]] std::string SaveMidiFile(const std::filesystem::path& path,
                                       const midi::MidiFileRecording& recording,
                                       std::chrono::milliseconds end);

}  // namespace sonavela::playback
