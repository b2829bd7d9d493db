// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "cli/terminal.h"

namespace sonavela::cli {

// The result lines on standard output, each as it is played.
class LinePrinter {
 public:
  LinePrinter(FdWriter& out, StopSignal& stop) : out_(out), stop_(stop) {}

  void Print(const std::string& line);
  // Text to write after each line and a tab (--explain); empty: none.
  void SetAnnotation(std::function<std::string()> annotation) {
    annotation_ = std::move(annotation);
  }
  // Lines printed since the program started.
  [[nodiscard]] std::uint64_t Printed() const { return printed_; }

 private:
  FdWriter& out_;
  StopSignal& stop_;
  std::function<std::string()> annotation_;
  std::uint64_t printed_ = 0;
};

}  // namespace sonavela::cli
