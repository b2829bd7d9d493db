// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/port/composite_backend.h"

#include <utility>

namespace sonavela::midi {

CompositeBackend::CompositeBackend(std::vector<std::unique_ptr<MidiBackend>> parts) {
  for (std::unique_ptr<MidiBackend>& backend : parts) {
    if (!backend) {
      continue;
    }
    const unsigned count = backend->DeviceCount();
    parts_.push_back({std::move(backend), total_, count});
    total_ += count;
  }
}

CompositeBackend::~CompositeBackend() {
  (void)Close();
}

const CompositeBackend::Part* CompositeBackend::PartOf(unsigned index) const {
  for (const Part& part : parts_) {
    if (index >= part.first && index - part.first < part.count) {
      return &part;
    }
  }
  return nullptr;
}

unsigned CompositeBackend::DeviceCount() const {
  return total_;
}

std::optional<std::string> CompositeBackend::DeviceName(unsigned index) const {
  const Part* part = PartOf(index);
  if (part == nullptr) {
    return std::nullopt;
  }
  return part->backend->DeviceName(index - part->first);
}

Status CompositeBackend::Open(unsigned index) {
  (void)Close();
  const Part* part = PartOf(index);
  if (part == nullptr) {
    return NoSuchDevice(index);
  }
  for (Part& other : parts_) {
    if (&other != part) {
      other.backend->Standby();
    }
  }
  Status opened = part->backend->Open(index - part->first);
  if (opened) {
    open_ = part->backend.get();
  }
  return opened;
}

Status CompositeBackend::Send(const MidiMessage& message, Timestamp at) {
  return open_ == nullptr ? Status() : open_->Send(message, at);
}

Status CompositeBackend::Close() {
  if (open_ == nullptr) {
    return {};
  }
  MidiBackend* closing = open_;
  open_ = nullptr;
  return closing->Close();
}

std::vector<Error> CompositeBackend::Unavailable() const {
  std::vector<Error> reasons;
  for (const Part& part : parts_) {
    for (Error& reason : part.backend->Unavailable()) {
      reasons.push_back(std::move(reason));
    }
  }
  return reasons;
}

std::chrono::nanoseconds CompositeBackend::Lookahead() const {
  return open_ != nullptr ? open_->Lookahead() : std::chrono::nanoseconds{};
}

std::vector<Notice> CompositeBackend::TakeNotices() {
  std::vector<Notice> notices;
  for (Part& part : parts_) {
    for (Notice& notice : part.backend->TakeNotices()) {
      notices.push_back(std::move(notice));
    }
  }
  return notices;
}

void CompositeBackend::Standby() {
  for (Part& part : parts_) {
    part.backend->Standby();
  }
}

}  // namespace sonavela::midi
