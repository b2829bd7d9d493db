// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/files/byte_sink.h"

#include <algorithm>

namespace sonavela::midi {

bool MemorySink::Append(std::span<const std::uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return true;
}

bool MemorySink::Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset) {
    lastError_ = "cannot overwrite bytes that were never written";
    return false;
  }
  std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
  return true;
}

}  // namespace sonavela::midi
