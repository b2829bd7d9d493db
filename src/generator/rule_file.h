// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of a rule file: UTF-8, "#" comment lines and empty lines ignored,
// "[connection]" and "[substitution]" start the two tables, every other line
// is one rule line in the fixed-column form of the rule lists. Lines end in
// LF, CRLF or a lone CR, whichever the editor wrote. Reading and writing the
// file itself is left to the caller.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sonavela::generator {

inline constexpr std::string_view kConnectionSection = "[connection]";
inline constexpr std::string_view kSubstitutionSection = "[substitution]";

// Rule lines without trailing white space, in file order. Unlike the lists of
// the dialog, there is no empty last line.
struct RuleTables {
  std::vector<std::string> connection;
  std::vector<std::string> substitution;

  friend bool operator==(const RuleTables&, const RuleTables&) = default;
};

// The program's default tables, as a rule file holds them.
[[nodiscard]] RuleTables DefaultRuleTables();

// Where each rule line of the tables stands in its file, counted from 1.
struct RuleLineNumbers {
  std::vector<std::size_t> connection;
  std::vector<std::size_t> substitution;
};

// What is wrong with a line of a rule file, or with a table it holds.
enum class RuleFileProblem : std::uint8_t {
  kNonAscii,
  kControlCharacter,
  kConnectionLineTooShort,    // number: the columns a rule needs
  kChainTooLong,              // number: the degrees of the chain
  kSubstitutionLineTooShort,  // number
  kNoWeight,                  // columns 0-3 hold no whole number
  kNotBlank,                  // columns 4-8 hold more than blanks
  kUnknownSection,            // text: the header, printable
  kLineBeforeSection,
  kTooManyRules,  // number: the most a table holds
  kCannotRead,    // text: why, in the system's words
  // Warnings: the tables load, but the progression will repeat one chord.
  kNoRule,
  kNoRuleCanBeChosen,
};

// One finding of a rule file, with what its sentence needs: each front end
// words it in its own language.
struct RuleFileFinding {
  RuleFileProblem problem = RuleFileProblem::kCannotRead;
  std::string file;        // as shown: printable
  std::size_t line = 0;    // counted from 1; 0 for the file or a table as a whole
  bool connection = true;  // the table it is about, where it is about one
  std::size_t number = 0;
  std::string text;
};

// "rules.txt:7: non-ASCII character in a rule line (columns are bytes)".
[[nodiscard]] std::string EnglishText(const RuleFileFinding& finding);
[[nodiscard]] std::vector<std::string> EnglishTexts(std::span<const RuleFileFinding> findings);

struct RuleFileReading {
  RuleTables tables;                      // empty when there is any problem
  RuleLineNumbers lines;                  // of the lines of `tables`
  std::vector<RuleFileFinding> problems;  // in line order
  // Only when there is no problem: one for each table that loads no rule
  // that could ever be chosen, such as "rules.txt: no connection rule in this
  // file: the progression will repeat one chord". The tables still load; the
  // front ends pass these on and go ahead.
  std::vector<RuleFileFinding> warnings;

  [[nodiscard]] bool Ok() const { return problems.empty(); }
};

// Every problem of the text is reported, each with `fileName` and its line
// number; a text with any problem loads nothing. Bytes of the text and of
// `fileName` reach the messages only through Printable.
[[nodiscard]] RuleFileReading ParseRuleFile(std::string_view text, std::string_view fileName);

struct RuleFileWriting {
  std::string text;                   // empty when there is any problem
  std::vector<std::string> problems;  // "connection rule 3: ...": lines a file cannot hold

  [[nodiscard]] bool Ok() const { return problems.empty(); }
};

// The text of a rule file holding the given lines, which ParseRuleFile reads
// back to the same lines with trailing white space removed. Lines that are
// empty once trailing white space is removed hold no rule (the lists' empty
// last line among them) and are left out.
[[nodiscard]] RuleFileWriting FormatRuleFile(std::span<const std::string> connectionLines,
                                             std::span<const std::string> substitutionLines);

}  // namespace sonavela::generator
