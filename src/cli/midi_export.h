#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "midi/midi_backend.h"
#include "midi/midi_file.h"
#include "playback/playback_control.h"

namespace sonavela::cli {

// `--midi FILE`: keeps what the port is given, with each chord's result line
// as a marker, on a timeline where chord k starts at k x the chord length.
// The timeline is the ideal one, not the wall clock: a tick that came late on
// a busy machine still lands on its bar, which is what a sequencer wants.
class MidiFileExport {
 public:
  MidiFileExport(std::filesystem::path path, std::chrono::milliseconds chordLength);
  MidiFileExport(const MidiFileExport&) = delete;
  MidiFileExport& operator=(const MidiFileExport&) = delete;

  // The backend to give the port: `inner` (null for no device at all) with
  // every message also going into the file.
  [[nodiscard]] std::unique_ptr<midi::MidiBackend> Tap(std::unique_ptr<midi::MidiBackend> inner);

  // For PlaybackControl::SetStepListener. The chord's messages are already
  // recorded at its time; the marker joins them there, and whatever is sent
  // next (the next chord, or the final all-notes-off) belongs to the next bar.
  void Listen(playback::PlaybackControl& control);

  [[nodiscard]] std::uint64_t Chords() const { return chords_; }
  // Where the last recorded chord ends.
  [[nodiscard]] std::chrono::milliseconds End() const;

  // Writes the file atomically. Empty on success, else a line for the user.
  [[nodiscard]] std::string Save() const;

 private:
  void OnStep(const std::string& line);

  std::filesystem::path path_;
  std::shared_ptr<midi::MidiFileRecording> recording_;
  std::uint64_t chords_ = 0;
};

// Checks, before anything is played, that a file can be created at `path`:
// its folder exists and may be written to, and the name is not a folder.
// Empty when it looks fine, else a line for the user. Saving can still fail
// later (a full disk); this only spares the user a long session for nothing.
[[nodiscard]] std::string CheckMidiFileTarget(const std::filesystem::path& path);

}  // namespace sonavela::cli
