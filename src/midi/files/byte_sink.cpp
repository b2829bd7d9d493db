// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/files/byte_sink.h"

#include <algorithm>

namespace sonavela::midi {

Status MemorySink::Append(std::span<const std::uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return {};
}

Status MemorySink::Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset) {
    return NeverWritten();
  }
  std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
  return {};
}

}  // namespace sonavela::midi
