// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/recording_backend.h"

#include <utility>

namespace sonavela::midi {

std::vector<MidiMessage> MidiLog::Messages() const {
  std::vector<MidiMessage> messages;
  for (const RecordedEvent& event : events) {
    if (event.kind == RecordedKind::kSend) {
      messages.push_back(event.message);
    }
  }
  return messages;
}

std::vector<MidiMessage> MidiLog::MessagesTo(unsigned device) const {
  std::vector<MidiMessage> messages;
  for (const RecordedEvent& event : events) {
    if (event.kind == RecordedKind::kSend && event.device == device) {
      messages.push_back(event.message);
    }
  }
  return messages;
}

std::vector<Timestamp> MidiLog::Times() const {
  std::vector<Timestamp> times;
  for (const RecordedEvent& event : events) {
    if (event.kind == RecordedKind::kSend) {
      times.push_back(event.at);
    }
  }
  return times;
}

std::vector<std::uint8_t> MidiLog::Bytes() const {
  std::vector<std::uint8_t> bytes;
  for (const MidiMessage& message : Messages()) {
    bytes.insert(bytes.end(), message.Bytes().begin(), message.Bytes().end());
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

Status RecordingBackend::Open(unsigned index) {
  (void)Close();
  if (index >= devices_.size() || !devices_[index].opens) {
    log_->events.push_back({RecordedKind::kOpenFailed, index});
    return Error::Of(ErrorKind::kOutputNotOpened, "Device " + std::to_string(index));
  }
  open_ = index;
  log_->events.push_back({RecordedKind::kOpen, index});
  return {};
}

Status RecordingBackend::Send(const MidiMessage& message, Timestamp at) {
  if (!open_) {
    ++log_->sendsWhileClosed;
    return {};
  }
  if (sendsBeforeFailure_) {
    if (*sendsBeforeFailure_ == 0) {
      return Error::Of(ErrorKind::kSystem, {}, failure_);
    }
    --*sendsBeforeFailure_;
  }
  log_->events.push_back({RecordedKind::kSend, *open_, message, at});
  return {};
}

Status RecordingBackend::Close() {
  if (!open_) {
    return {};
  }
  log_->events.push_back({RecordedKind::kClose, *open_});
  open_.reset();
  const bool failed = sendsBeforeFailure_ && *sendsBeforeFailure_ == 0;
  sendsBeforeFailure_.reset();
  if (failed) {
    return Error::Of(ErrorKind::kSystem, {}, failure_);
  }
  return {};
}

void RecordingBackend::FailSendsAfter(unsigned sends, std::string why) {
  sendsBeforeFailure_ = sends;
  failure_ = std::move(why);
}

void RecordingBackend::SetOpenFails(unsigned index, bool fails) {
  if (index < devices_.size()) {
    devices_[index].opens = !fails;
  }
}

}  // namespace sonavela::midi
