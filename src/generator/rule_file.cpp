// SPDX-License-Identifier: GPL-3.0-or-later
#include "generator/rule_file.h"

#include <optional>
#include <utility>

#include "generator/printable.h"
#include "generator/rules.h"

namespace sonavela::generator {

namespace {

// Unknown: after a section header that names no table; its lines are not
// reported one by one.
enum class Table { None, Unknown, Connection, Substitution };

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view TableName(Table table) {
  return table == Table::Connection ? "connection" : "substitution";
}

constexpr std::size_t kWeightColumns = 4;
constexpr std::size_t kModeColumn = 9;

// A whole number with blanks around it, as columns 0-3 hold a weight.
bool WeightField(std::string_view field) {
  const std::size_t first = field.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return false;
  }
  std::size_t at = first;
  if (field[at] == '+' || field[at] == '-') {
    ++at;
  }
  const std::size_t digits = at;
  while (at < field.size() && field[at] >= '0' && field[at] <= '9') {
    ++at;
  }
  return at > digits && field.find_first_not_of(' ', at) == std::string_view::npos;
}

RuleFileFinding Finding(RuleFileProblem problem, std::size_t number = 0) {
  RuleFileFinding finding;
  finding.problem = problem;
  finding.number = number;
  return finding;
}

// Why a rule line cannot stand in a file, or nullopt when it can.
std::optional<RuleFileFinding> RuleLineFinding(std::string_view line, Table table) {
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80)
      return Finding(RuleFileProblem::kNonAscii);
    if (byte < 0x20 || byte == 0x7F)
      return Finding(RuleFileProblem::kControlCharacter);
  }
  if (table == Table::Connection && line.size() < kMinConnectionLineLength) {
    return Finding(RuleFileProblem::kConnectionLineTooShort, kMinConnectionLineLength);
  }
  if (table != Table::Connection && line.size() < kMinSubstitutionLineLength) {
    return Finding(RuleFileProblem::kSubstitutionLineTooShort, kMinSubstitutionLineLength);
  }
  // The column form itself: the lists read any text, but a file that does
  // not keep to it means something else than it seems to.
  if (!WeightField(line.substr(0, kWeightColumns))) {
    return Finding(RuleFileProblem::kNoWeight);
  }
  if (line.substr(kWeightColumns, kModeColumn - kWeightColumns).find_first_not_of(' ') !=
      std::string_view::npos) {
    return Finding(RuleFileProblem::kNotBlank);
  }
  if (table == Table::Connection) {
    const char last = line.back();
    const std::size_t degrees = line.size() - 10 - (last >= '1' && last <= '7' ? 0 : 1);
    if (degrees > kMaxChainDegrees) {
      return Finding(RuleFileProblem::kChainTooLong, degrees);
    }
  }
  return std::nullopt;
}

// The sentence of a finding, without where it was found.
std::string Sentence(const RuleFileFinding& finding) {
  const std::string table = finding.connection ? "connection" : "substitution";
  const std::string sections =
      std::string(kConnectionSection) + " or " + std::string(kSubstitutionSection);
  const std::string consequence = ": the progression will repeat one chord";
  switch (finding.problem) {
    case RuleFileProblem::kNonAscii:
      return "non-ASCII character in a rule line (columns are bytes)";
    case RuleFileProblem::kControlCharacter:
      return "control character in a rule line";
    case RuleFileProblem::kConnectionLineTooShort:
      return "connection rule line too short: a rule needs at least " +
             std::to_string(finding.number) + " columns";
    case RuleFileProblem::kChainTooLong:
      return "chain of " + std::to_string(finding.number) + " degrees; at most " +
             std::to_string(kMaxChainDegrees) + " fit a rule";
    case RuleFileProblem::kSubstitutionLineTooShort:
      return "substitution rule line too short: a rule needs at least " +
             std::to_string(finding.number) + " columns";
    case RuleFileProblem::kNoWeight:
      return "columns 0-3 hold no weight (a whole number)";
    case RuleFileProblem::kNotBlank:
      return "columns 4-8 are not blank";
    case RuleFileProblem::kUnknownSection:
      return "unknown section \"" + finding.text + "\"; expected " + sections;
    case RuleFileProblem::kLineBeforeSection:
      return "rule line before any section; start the table with " + sections;
    case RuleFileProblem::kTooManyRules:
      return "more than " + std::to_string(finding.number) + " " + table + " rules";
    case RuleFileProblem::kCannotRead:
      return "cannot read: " + finding.text;
    case RuleFileProblem::kNoRule:
      return "no " + table + " rule in this file" + consequence;
    case RuleFileProblem::kNoRuleCanBeChosen:
      return "no " + table +
             " rule in this file can ever be chosen (each has a weight of 0 or less, a mode "
             "other than blank, \"m\" or \"?\", or " +
             (finding.connection ? "no chord after the first degree"
                                 : "a from-degree outside 1-7") +
             ")" + consequence;
  }
  return {};
}

bool ModeOfSomeKey(char mode) {
  return mode == ' ' || mode == 'm' || mode == '?';
}

// Whether the search could ever choose a candidate made with this rule: it
// weighs something, applies in some key and, for a chain, plays a chord of its
// own; a re-reading must start from a degree a pivot can have.
bool CanBeChosen(std::string_view line, Table table) {
  if (table == Table::Connection) {
    const auto rule = ParseConnectionRule(line);
    return rule && EffectiveWeight(rule->Weight) > 0 && ModeOfSomeKey(rule->Mode) &&
           ChainLength(*rule) >= 2;
  }
  const auto rule = ParseSubstitutionRule(line);
  return rule && EffectiveWeight(rule->Weight) > 0 && ModeOfSomeKey(rule->Mode) &&
         rule->FromDegree >= 1 && rule->FromDegree <= 7;
}

// A table from which nothing can be chosen leaves the progression on its
// first chord for good; the file is still read, as the lists would be, but
// the user should know before pressing play.
std::optional<RuleFileFinding> EmptyTableWarning(const std::vector<std::string>& lines,
                                                 Table table) {
  for (const std::string& line : lines) {
    if (CanBeChosen(line, table))
      return std::nullopt;
  }
  RuleFileFinding warning =
      Finding(lines.empty() ? RuleFileProblem::kNoRule : RuleFileProblem::kNoRuleCanBeChosen);
  warning.connection = table == Table::Connection;
  return warning;
}

// The line at the start of `text` and where the next one begins: LF, CRLF and
// a lone CR all end a line.
std::pair<std::string_view, std::size_t> NextLine(std::string_view text) {
  const std::size_t end = text.find_first_of("\r\n");
  if (end == std::string_view::npos)
    return {text, text.size()};
  const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
  return {text.substr(0, end), end + (crlf ? 2 : 1)};
}

}  // namespace

std::string EnglishText(const RuleFileFinding& finding) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
  // ":" + std::string at -O3.
  std::string where = finding.file;
  if (finding.line > 0) {
    where += ':';
    where += std::to_string(finding.line);
  }
  where += ": ";
  where += Sentence(finding);
  return where;
}

std::vector<std::string> EnglishTexts(std::span<const RuleFileFinding> findings) {
  std::vector<std::string> texts;
  texts.reserve(findings.size());
  for (const RuleFileFinding& finding : findings) {
    texts.push_back(EnglishText(finding));
  }
  return texts;
}

RuleTables DefaultRuleTables() {
  RuleTables tables;
  tables.connection.assign(DefaultConnectionRules.begin(), DefaultConnectionRules.end());
  tables.substitution.assign(DefaultSubstitutionRules.begin(), DefaultSubstitutionRules.end());
  return tables;
}

RuleFileReading ParseRuleFile(std::string_view text, std::string_view fileName) {
  RuleFileReading reading;
  if (text.starts_with(kByteOrderMark))
    text.remove_prefix(kByteOrderMark.size());
  const std::string shownName = Printable(fileName);
  const auto problem = [&](std::size_t lineNumber, RuleFileFinding finding) {
    finding.file = shownName;
    finding.line = lineNumber;
    reading.problems.push_back(std::move(finding));
  };

  Table table = Table::None;
  bool reportedOverflow[2] = {false, false};
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const auto [raw, next] = NextLine(text);
    text.remove_prefix(next);

    const std::string_view line = RemoveTrailingWhiteSpace(raw);
    if (line.empty() || line.front() == '#')
      continue;
    if (line.front() == '[') {
      if (line == kConnectionSection) {
        table = Table::Connection;
      } else if (line == kSubstitutionSection) {
        table = Table::Substitution;
      } else {
        RuleFileFinding unknown = Finding(RuleFileProblem::kUnknownSection);
        unknown.text = Printable(line);
        problem(lineNumber, std::move(unknown));
        table = Table::Unknown;
      }
      continue;
    }
    if (table == Table::Unknown)
      continue;
    if (table == Table::None) {
      problem(lineNumber, Finding(RuleFileProblem::kLineBeforeSection));
      continue;
    }
    if (std::optional<RuleFileFinding> why = RuleLineFinding(line, table)) {
      why->connection = table == Table::Connection;
      problem(lineNumber, std::move(*why));
      continue;
    }
    auto& lines =
        table == Table::Connection ? reading.tables.connection : reading.tables.substitution;
    if (lines.size() >= RuleCapacity) {
      bool& reported = reportedOverflow[table == Table::Connection ? 0 : 1];
      if (!reported) {
        RuleFileFinding tooMany = Finding(RuleFileProblem::kTooManyRules, RuleCapacity);
        tooMany.connection = table == Table::Connection;
        problem(lineNumber, std::move(tooMany));
        reported = true;
      }
      continue;
    }
    lines.emplace_back(line);
    (table == Table::Connection ? reading.lines.connection : reading.lines.substitution)
        .push_back(lineNumber);
  }
  if (!reading.problems.empty()) {
    reading.tables = {};
    reading.lines = {};
    return reading;
  }
  for (const Table table : {Table::Connection, Table::Substitution}) {
    const auto& lines =
        table == Table::Connection ? reading.tables.connection : reading.tables.substitution;
    if (std::optional<RuleFileFinding> warning = EmptyTableWarning(lines, table)) {
      warning->file = shownName;
      reading.warnings.push_back(std::move(*warning));
    }
  }
  return reading;
}

RuleFileWriting FormatRuleFile(std::span<const std::string> connectionLines,
                               std::span<const std::string> substitutionLines) {
  RuleFileWriting writing;
  writing.text =
      "# Sonavela rule tables\n"
      "# Columns 0-3: weight; 4-8: blanks; 9: mode (blank major, m minor, ? both);\n"
      "# from 10: connection chain of degrees 1-7 and an optional correction M, m or n,\n"
      "# or the from and to degrees of a substitution.\n";
  const auto write = [&](std::span<const std::string> lines, Table table) {
    writing.text += "\n";
    writing.text += table == Table::Connection ? kConnectionSection : kSubstitutionSection;
    writing.text += "\n";
    std::size_t written = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string_view line = RemoveTrailingWhiteSpace(lines[i]);
      if (line.empty())
        continue;
      const std::string where = std::string(TableName(table)) + " rule " + std::to_string(i + 1);
      if (line.front() == '#' || line.front() == '[') {
        writing.problems.push_back(where + ": a rule line may not start with \"" +
                                   std::string(1, line.front()) + "\"");
        continue;
      }
      if (const std::optional<RuleFileFinding> why = RuleLineFinding(line, table)) {
        writing.problems.push_back(where + ": " + Sentence(*why));
        continue;
      }
      if (++written == RuleCapacity + 1) {
        writing.problems.push_back(where + ": more than " + std::to_string(RuleCapacity) + " " +
                                   std::string(TableName(table)) + " rules");
      }
      writing.text += line;
      writing.text += "\n";
    }
  };
  write(connectionLines, Table::Connection);
  write(substitutionLines, Table::Substitution);
  if (!writing.problems.empty())
    writing.text.clear();
  return writing;
}

}  // namespace sonavela::generator
