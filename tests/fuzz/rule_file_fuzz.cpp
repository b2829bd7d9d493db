// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the rule-file reader as a file's text, then plays
// a few steps with whatever it loaded, so that the search meets the odd
// tables a file can hold. Besides crashes and sanitizer reports it stops on:
// a message that is not printable as it stands, a refused file that still
// loads or warns, and a loaded file that does not write back to itself.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "generator/generator.h"
#include "generator/load_rules.h"
#include "generator/printable.h"
#include "generator/rule_file.h"

namespace {

namespace gen = sonavela::generator;

constexpr int kSteps = 8;

void Require(bool condition) {
  if (!condition)
    std::abort();
}

void RequirePrintable(const std::vector<std::string>& messages) {
  for (const std::string& message : messages)
    Require(gen::Printable(message) == message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // The file name is user text too: take it from the input's first line.
  const std::string_view fileName = text.substr(0, std::min<std::size_t>(text.find('\n'), 40));

  const std::string shown = gen::Printable(text);
  Require(gen::Printable(shown) == shown);

  const gen::RuleFileReading reading = gen::ParseRuleFile(text, fileName);
  RequirePrintable(gen::EnglishTexts(reading.problems));
  RequirePrintable(gen::EnglishTexts(reading.warnings));
  if (!reading.Ok()) {
    Require(reading.tables == gen::RuleTables{});
    Require(reading.warnings.empty());
    return 0;
  }

  // What is taken keeps the column form: blanks in columns 4-8.
  for (const auto* lines : {&reading.tables.connection, &reading.tables.substitution}) {
    for (const std::string& line : *lines) {
      Require(line.substr(4, 5) == "     ");
    }
  }
  const gen::RuleFileWriting writing =
      gen::FormatRuleFile(reading.tables.connection, reading.tables.substitution);
  Require(writing.Ok());
  const gen::RuleFileReading again = gen::ParseRuleFile(writing.text, "again.txt");
  Require(again.Ok() && again.tables == reading.tables);
  Require(again.warnings.size() == reading.warnings.size());

  // One generator for all inputs: reloading it is part of what is tried.
  static const auto generator = std::make_unique<gen::ProgressionGenerator>();
  (void)gen::LoadRules(*generator, reading.tables, size % 2 == 1);
  generator->Reset();
  generator->SetRandomState(1);
  for (int i = 0; i < kSteps; ++i) {
    (void)generator->PopStep();
    generator->Advance();
    Require(!generator->Queue().empty());
  }
  return 0;
}
