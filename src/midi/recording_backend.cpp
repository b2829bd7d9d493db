#include "midi/recording_backend.h"

#include <utility>

#include "midi/short_message.h"

namespace sonavela::midi {

std::vector<std::uint32_t> MidiLog::Messages() const {
  std::vector<std::uint32_t> messages;
  for (const RecordedEvent& event : events) {
    if (event.kind == RecordedKind::kSend) {
      messages.push_back(event.message);
    }
  }
  return messages;
}

std::vector<std::uint32_t> MidiLog::MessagesTo(unsigned device) const {
  std::vector<std::uint32_t> messages;
  for (const RecordedEvent& event : events) {
    if (event.kind == RecordedKind::kSend && event.device == device) {
      messages.push_back(event.message);
    }
  }
  return messages;
}

std::vector<std::uint8_t> MidiLog::Bytes() const {
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t message : Messages()) {
    const std::vector<std::uint8_t> wire = ShortMessageBytes(message);
    bytes.insert(bytes.end(), wire.begin(), wire.end());
  }
  return bytes;
}

void MidiLog::Clear() {
  events.clear();
  sendsWhileClosed = 0;
}

RecordingBackend::RecordingBackend(std::vector<RecordedDevice> devices,
                                   std::shared_ptr<MidiLog> log)
    : devices_(std::move(devices)), log_(std::move(log)) {}

std::unique_ptr<RecordingBackend> RecordingBackend::WithDevices(unsigned count,
                                                                std::shared_ptr<MidiLog> log) {
  std::vector<RecordedDevice> devices;
  for (unsigned i = 0; i < count; ++i) {
    devices.push_back({"Device " + std::to_string(i)});
  }
  return std::make_unique<RecordingBackend>(std::move(devices), std::move(log));
}

unsigned RecordingBackend::DeviceCount() const {
  return static_cast<unsigned>(devices_.size());
}

std::optional<std::string> RecordingBackend::DeviceName(unsigned index) const {
  if (index >= devices_.size()) {
    return std::nullopt;
  }
  return devices_[index].name;
}

bool RecordingBackend::Open(unsigned index) {
  Close();
  if (index >= devices_.size() || !devices_[index].opens) {
    lastError_ = "Device " + std::to_string(index) + " cannot be opened.";
    log_->events.push_back({RecordedKind::kOpenFailed, index});
    return false;
  }
  lastError_.clear();
  open_ = index;
  log_->events.push_back({RecordedKind::kOpen, index});
  return true;
}

void RecordingBackend::Send(std::uint32_t message) {
  if (!open_) {
    ++log_->sendsWhileClosed;
    return;
  }
  log_->events.push_back({RecordedKind::kSend, *open_, message});
}

void RecordingBackend::Close() {
  if (!open_) {
    return;
  }
  log_->events.push_back({RecordedKind::kClose, *open_});
  open_.reset();
}

std::string RecordingBackend::LastError() const {
  return lastError_;
}

void RecordingBackend::SetOpenFails(unsigned index, bool fails) {
  if (index < devices_.size()) {
    devices_[index].opens = !fails;
  }
}

}  // namespace sonavela::midi
