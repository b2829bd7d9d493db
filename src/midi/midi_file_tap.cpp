#include "midi/midi_file_tap.h"

#include <utility>

namespace sonavela::midi {

MidiFileTap::MidiFileTap(std::unique_ptr<MidiBackend> inner,
                         std::shared_ptr<MidiFileRecording> recording)
    : inner_(std::move(inner)), recording_(std::move(recording)) {
  if (!recording_) {
    recording_ = std::make_shared<MidiFileRecording>();
  }
}

unsigned MidiFileTap::DeviceCount() const {
  return inner_ ? inner_->DeviceCount() : 0U;
}

std::optional<std::string> MidiFileTap::DeviceName(unsigned index) const {
  if (!inner_) {
    return std::nullopt;
  }
  return inner_->DeviceName(index);
}

bool MidiFileTap::Open(unsigned index) {
  if (!inner_) {
    lastError_ = "There is no MIDI output device number " + std::to_string(index) + ".";
    return false;
  }
  return inner_->Open(index);
}

void MidiFileTap::Send(std::uint32_t message) {
  recording_->AddMessage(message);
  if (inner_) {
    inner_->Send(message);
  }
}

void MidiFileTap::Close() {
  if (inner_) {
    inner_->Close();
  }
}

std::string MidiFileTap::LastError() const {
  return inner_ ? inner_->LastError() : lastError_;
}

}  // namespace sonavela::midi
