// SPDX-License-Identifier: GPL-3.0-or-later
// The session's recording of what was played: kept for a save, moved to a
// temporary file when it grows, or streamed into a file as it plays.
#include <string_view>

#include "playback/atomic_file.h"
#include "playback/chord_recorder.h"
#include "playback/session.h"

namespace sonavela::playback {

void PlaybackSession::SpillWhenLarge() {
  if (stream_ != nullptr || spill_ || spillRefused_ || !keepRecording_ ||
      recorder_->Buffered() < spillAfter_) {
    return;
  }
  std::string error;
  spill_ = SpillFile::Create(error);
  if (!spill_) {
    // Kept in memory then, as it always was.
    spillRefused_ = true;
    return;
  }
  if (!recorder_->StreamTo(*spill_)) {
    FailRecording(spill_->LastError());
  }
}

bool PlaybackSession::HasRecording() const {
  return !recorder_->Empty();
}

std::string PlaybackSession::SaveMidiFile(const std::filesystem::path& path) const {
  std::string why;
  if (path.empty() || !path.has_filename()) {
    why = "no file name was given";
  } else {
    std::optional<std::string> failed;
    if (spill_) {
      failed = SaveSpilled(path);
    } else {
      const std::vector<std::uint8_t> bytes = recorder_->Encode(running_);
      failed = WriteFileAtomically(
          path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    if (!failed) {
      return {};
    }
    why = *failed;
  }
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about a chain
  // of string operator+ at -O3.
  std::string message = "Cannot save the MIDI file \"";
  message += path.string();
  message += "\": ";
  message += why;
  message += '.';
  return message;
}

std::optional<std::string> PlaybackSession::SaveSpilled(const std::filesystem::path& path) const {
  std::string error;
  const std::unique_ptr<AtomicFile> file = AtomicFile::Create(path, error);
  if (!file) {
    return error;
  }
  if (!recorder_->Flush()) {
    return spill_->LastError();
  }
  const midi::MidiFileRecording::Ending ending = recorder_->EndingOfStream(running_);
  if (!spill_->CopyTo(*file, error)) {
    return error;
  }
  if (!file->Append(ending.tail) || !file->Overwrite(ending.lengthAt, ending.length) ||
      !file->Commit()) {
    return file->LastError();
  }
  return std::nullopt;
}

bool PlaybackSession::FinishRecording() {
  if (recordingFailure_) {
    return false;
  }
  if (!recorder_->Streaming() || !recorder_->Finish()) {
    FailRecording(stream_ != nullptr ? stream_->LastError() : std::string());
    return false;
  }
  return true;
}

void PlaybackSession::FailRecording(const std::string& why) {
  recordingFailure_ = why.empty() ? std::string("the recording could not be written") : why;
}

std::optional<std::string> PlaybackSession::TakeRecordingFailure() {
  if (!recordingFailure_ || recordingFailureTaken_) {
    return std::nullopt;
  }
  recordingFailureTaken_ = true;
  return recordingFailure_;
}

}  // namespace sonavela::playback
