// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/terminal.h"
#include "playback/playback_control.h"

namespace sonavela::cli {

// The result list of a terminal: every appended line goes straight to
// standard output. Only the count is kept, because the control trims the
// list to its limit and a terminal cannot take lines back.
class PrintingResultList final : public playback::ResultList {
 public:
  PrintingResultList(FdWriter& out, StopSignal& stop) : out_(out), stop_(stop) {}

  void Clear() override { count_ = 0; }
  [[nodiscard]] int Count() const override { return count_; }
  void DeleteFirst() override { --count_; }
  void Append(const std::string& line) override;
  void Select(int) override {}

  // Text to write after each line and a tab (--explain); empty: none.
  void SetAnnotation(std::function<std::string()> annotation) {
    annotation_ = std::move(annotation);
  }

  // Lines printed since the program started, across Clear.
  [[nodiscard]] std::uint64_t Printed() const { return printed_; }

 private:
  FdWriter& out_;
  StopSignal& stop_;
  std::function<std::string()> annotation_;
  int count_ = 0;
  std::uint64_t printed_ = 0;
};

class OptionInputs final : public playback::ControlInputs {
 public:
  OptionInputs(int instrument, bool minor, std::vector<std::string> connection,
               std::vector<std::string> substitution);
  // --key: any of the candidate keys instead of the one --minor chooses.
  void SetHomeKey(harmony::Key key) { homeKey_ = key; }

  [[nodiscard]] std::string InstrumentText() const override { return instrument_; }
  [[nodiscard]] bool MinorKey() const override { return minor_; }
  [[nodiscard]] harmony::Key HomeKey() const override {
    return homeKey_.value_or(ControlInputs::HomeKey());
  }
  [[nodiscard]] std::vector<std::string> ConnectionLines() const override { return connection_; }
  [[nodiscard]] std::vector<std::string> SubstitutionLines() const override {
    return substitution_;
  }

 private:
  std::string instrument_;
  bool minor_;
  std::optional<harmony::Key> homeKey_;
  std::vector<std::string> connection_;
  std::vector<std::string> substitution_;
};

}  // namespace sonavela::cli
