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
  Result<std::unique_ptr<SpillFile>> spill = SpillFile::Create();
  if (!spill) {
    // Kept in memory then, as it always was.
    spillRefused_ = true;
    return;
  }
  spill_ = std::move(spill).value();
  if (Status streaming = recorder_->StreamTo(*spill_); !streaming) {
    FailRecording(streaming.error());
  }
}

bool PlaybackSession::HasRecording() const {
  return !recorder_->Empty();
}

Status PlaybackSession::SaveMidiFile(const std::filesystem::path& path) const {
  Status saved;
  if (path.empty() || !path.has_filename()) {
    saved = Error::Of(ErrorKind::kNoFileName);
  } else if (spill_) {
    saved = SaveSpilled(path);
  } else {
    const std::vector<std::uint8_t> bytes = recorder_->Encode(running_);
    saved = WriteFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  if (!saved) {
    return Error::Of(ErrorKind::kMidiFileNotSaved, path.string()).Because(saved.error());
  }
  return {};
}

Status PlaybackSession::SaveSpilled(const std::filesystem::path& path) const {
  Result<std::unique_ptr<AtomicFile>> file = AtomicFile::Create(path);
  if (!file) {
    return file.error();
  }
  if (Status flushed = recorder_->Flush(); !flushed) {
    return flushed;
  }
  const midi::MidiFileRecording::Ending ending = recorder_->EndingOfStream(running_);
  if (Status copied = spill_->CopyTo(**file); !copied) {
    return copied;
  }
  if (Status written = (*file)->Append(ending.tail); !written) {
    return written;
  }
  if (Status written = (*file)->Overwrite(ending.lengthAt, ending.length); !written) {
    return written;
  }
  return (*file)->Commit();
}

Status PlaybackSession::FinishRecording() {
  if (recordingFailure_) {
    return *recordingFailure_;
  }
  if (!recorder_->Streaming()) {
    return Error::Of(ErrorKind::kBadUse, {}, "nothing is being recorded into a file");
  }
  if (Status finished = recorder_->Finish(); !finished) {
    FailRecording(finished.error());
    return finished;
  }
  return {};
}

void PlaybackSession::FlushRecording() {
  if (recordingFailure_) {
    return;
  }
  if (Status flushed = recorder_->Flush(); !flushed) {
    FailRecording(flushed.error());
  }
}

void PlaybackSession::FailRecording(Error why) {
  recordingFailure_ = std::move(why);
}

std::optional<Error> PlaybackSession::TakeRecordingFailure() {
  if (!recordingFailure_ || recordingFailureTaken_) {
    return std::nullopt;
  }
  recordingFailureTaken_ = true;
  return recordingFailure_;
}

}  // namespace sonavela::playback
