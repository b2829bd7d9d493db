// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sonavela::midi {

// Where a file format writes its bytes: a file being saved, or memory. The
// formats here know their layout, not the file system.
class ByteSink {
 public:
  virtual ~ByteSink() = default;

  // Appends; false, with LastError(), when not all bytes could be written.
  [[nodiscard]] virtual bool Append(std::span<const std::uint8_t> bytes) = 0;
  // Replaces bytes appended before, `offset` bytes from the start, so that a
  // header can be completed once the length of what follows is known.
  [[nodiscard]] virtual bool Overwrite(std::uint64_t offset,
                                       std::span<const std::uint8_t> bytes) = 0;
  // Why the last call failed ("No space left on device").
  [[nodiscard]] virtual std::string LastError() const = 0;
};

// A sink that keeps everything in memory.
class MemorySink final : public ByteSink {
 public:
  [[nodiscard]] bool Append(std::span<const std::uint8_t> bytes) override;
  [[nodiscard]] bool Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
  [[nodiscard]] std::string LastError() const override { return lastError_; }

  [[nodiscard]] const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::string lastError_;
};

}  // namespace sonavela::midi
