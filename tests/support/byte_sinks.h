// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "midi/files/byte_sink.h"

namespace sonavela::midi {

// A disk that fills up after `budget` bytes: every write that does not fit
// fails with "No space left on device".
class FillingSink final : public ByteSink {
 public:
  explicit FillingSink(std::size_t budget) : budget_(budget) {}
  Status Append(std::span<const std::uint8_t> bytes) override {
    if (bytes.size() > budget_) {
      return Full();
    }
    budget_ -= bytes.size();
    written_ += bytes.size();
    return {};
  }
  Status Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
    return offset + bytes.size() <= written_ ? Status() : NeverWritten();
  }
  static Error Full() { return Error::Of(ErrorKind::kSystem, {}, "No space left on device"); }

 private:
  std::size_t budget_;
  std::size_t written_ = 0;
};

}  // namespace sonavela::midi
