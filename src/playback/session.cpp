#include "playback/session.h"

#include <algorithm>
#include <utility>

#include "playback/atomic_file.h"
#include "playback/chord_recorder.h"

namespace sonavela::playback {

namespace {

std::unique_ptr<midi::MidiBackend> Recorded(std::unique_ptr<midi::MidiBackend> devices,
                                            ChordRecorder*& recorder) {
  auto tap = std::make_unique<ChordRecorder>(std::move(devices));
  recorder = tap.get();
  return tap;
}

}  // namespace

void PlaybackSession::Timer::Arm(unsigned id) {
  if (id == kStepTimerId) {
    running_ = true;
  }
}

void PlaybackSession::Timer::Disarm(unsigned id) {
  if (id == kStepTimerId) {
    running_ = false;
  }
}

PlaybackSession::PlaybackSession(SessionOptions options, ResultList& results,
                                 const ControlInputs& inputs)
    : clock_(options.clock ? std::move(options.clock) : std::make_unique<GridClock>()),
      recorder_(nullptr),
      port_(Recorded(std::move(options.devices), recorder_)),
      control_(generator_, port_, results, timer_, inputs) {
  generator_.SetRandomState(options.seed);
  control_.SetStepListener([this](const generator::ProgressionStep& step, const std::string& line) {
    OnStep(step, line);
  });
}

PlaybackSession::~PlaybackSession() {
  // The port's last all-notes-off belongs to the moment the session ends.
  (void)port_.CloseDevice(clock_->Now());
}

bool PlaybackSession::OpenDevice(unsigned index) {
  return port_.OpenDevice(index, clock_->Now());
}

bool PlaybackSession::CloseDevice() {
  return port_.CloseDevice(running_ ? std::min(clock_->Now(), nextDue_) : clock_->Now());
}

void PlaybackSession::Start() {
  recorder_->Restart(clock_->ChordLength());
  recordingFailure_.reset();
  recordingFailureTaken_ = false;
  if (stream_ != nullptr && !recorder_->StreamTo(*stream_)) {
    FailRecording(stream_->LastError());
  }
  const Timestamp at = clock_->Start();
  recorder_->BeginChord(at);
  control_.Start(at);
  ChordPlayed();
}

void PlaybackSession::Tick(unsigned timerId) {
  if (timerId != kStepTimerId) {
    control_.Tick(timerId, clock_->Now());
    return;
  }
  // A chord sounds at its time on the grid however late its tick came; a tick
  // delivered before its time plays now.
  const Timestamp now = clock_->Now();
  const Timestamp at = running_ ? std::min(now, nextDue_) : now;
  recorder_->BeginChord(at);
  control_.Tick(timerId, at);
  ChordPlayed();
}

void PlaybackSession::ChordPlayed() {
  if (running_) {
    nextDue_ = clock_->Next();
    recorder_->SetNextChordDue(nextDue_);
  }
  if (!recordingFailure_ && !recorder_->Flush()) {
    FailRecording(stream_ != nullptr ? stream_->LastError() : std::string());
  }
}

void PlaybackSession::Stop() {
  // A stop that comes when the next chord is due (the last of a counted
  // run) lets the chord sound to its end, never beyond.
  const Timestamp now = clock_->Now();
  control_.Stop(running_ ? std::min(now, nextDue_) : now);
  if (!recordingFailure_ && !recorder_->Flush()) {
    FailRecording(stream_ != nullptr ? stream_->LastError() : std::string());
  }
}

void PlaybackSession::OnStep(const generator::ProgressionStep& step, const std::string& line) {
  recorder_->AddMarker(line);
  if (listener_) {
    listener_(step, line);
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
    const std::vector<std::uint8_t> bytes = recorder_->Encode(running_);
    const std::optional<std::string> failed = WriteFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
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
