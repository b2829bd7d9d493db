#include "midi/composite_backend.h"

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
  Close();
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

bool CompositeBackend::Open(unsigned index) {
  Close();
  const Part* part = PartOf(index);
  if (part == nullptr) {
    lastError_ = "There is no MIDI output device number " + std::to_string(index) + ".";
    return false;
  }
  if (!part->backend->Open(index - part->first)) {
    lastError_ = part->backend->LastError();
    return false;
  }
  lastError_.clear();
  open_ = part->backend.get();
  return true;
}

void CompositeBackend::Send(std::uint32_t message) {
  if (open_ != nullptr) {
    open_->Send(message);
  }
}

void CompositeBackend::Close() {
  if (open_ != nullptr) {
    open_->Close();
    open_ = nullptr;
  }
}

std::string CompositeBackend::LastError() const {
  return lastError_;
}

}  // namespace sonavela::midi
