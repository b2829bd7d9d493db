// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"

namespace sonavela::midi {

// Where a file format writes its bytes: a file being saved, or memory. The
// formats here know their layout, not the file system.
class ByteSink {
 public:
  virtual ~ByteSink() = default;

  // Appends; fails ("No space left on device") when not all bytes could be
  // written.
  virtual Status Append(std::span<const std::uint8_t> bytes) = 0;
  // Replaces bytes appended before, `offset` bytes from the start, so that a
  // header can be completed once the length of what follows is known.
  virtual Status Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
};

// The failure of a sink asked to overwrite what it was never given.
[[nodiscard]] inline Error NeverWritten() {
  return Error::Of(ErrorKind::kBadUse, {}, "cannot overwrite bytes that were never written");
}

// A sink that keeps everything in memory.
class MemorySink final : public ByteSink {
 public:
  Status Append(std::span<const std::uint8_t> bytes) override;
  Status Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;

  [[nodiscard]] const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace sonavela::midi
