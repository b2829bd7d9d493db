#include "cli/midi_export.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "midi/midi_file_tap.h"
#include "playback/file_save.h"

namespace sonavela::cli {

MidiFileExport::MidiFileExport(std::filesystem::path path, std::chrono::milliseconds chordLength)
    : path_(std::move(path)),
      recording_(std::make_shared<midi::MidiFileRecording>(
          midi::MidiFileOptions{.chordLength = chordLength})) {}

std::unique_ptr<midi::MidiBackend> MidiFileExport::Tap(std::unique_ptr<midi::MidiBackend> inner) {
  return std::make_unique<midi::MidiFileTap>(std::move(inner), recording_);
}

void MidiFileExport::Listen(playback::PlaybackControl& control) {
  control.SetStepListener(
      [this](const generator::ProgressionStep&, const std::string& line) { OnStep(line); });
}

void MidiFileExport::OnStep(const std::string& line) {
  recording_->AddMarker(line);
  ++chords_;
  recording_->SetTime(End());
}

std::chrono::milliseconds MidiFileExport::End() const {
  return recording_->Options().chordLength * static_cast<std::int64_t>(chords_);
}

std::string MidiFileExport::Save() const {
  return playback::SaveMidiFile(path_, *recording_, End());
}

std::string CheckMidiFileTarget(const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
  // "'" + std::string at -O3.
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  std::error_code error;
  if (!path.has_filename() || fs::is_directory(path, error)) {
    return "--midi: " + quoted + " is a folder, not a file name";
  }
  const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  if (!fs::is_directory(folder, error)) {
    return "--midi: the folder of " + quoted + " does not exist";
  }
  // The file is written next to itself first and then renamed, so the
  // folder, not the file, must be writable.
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    return "--midi: cannot create files in '" + folder.string() +
           "': " + std::system_category().message(errno);
  }
  return {};
}

}  // namespace sonavela::cli
