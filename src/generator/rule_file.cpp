#include "generator/rule_file.h"

#include <optional>

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

// Why a rule line cannot stand in a file, or nullopt when it can.
std::optional<std::string> RuleLineProblem(std::string_view line, Table table) {
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80)
      return "non-ASCII character in a rule line (columns are bytes)";
    if (byte < 0x20 || byte == 0x7F)
      return "control character in a rule line";
  }
  if (table == Table::Connection) {
    if (line.size() < kMinConnectionLineLength) {
      return "connection rule line too short: a rule needs at least " +
             std::to_string(kMinConnectionLineLength) + " columns";
    }
    const char last = line.back();
    const std::size_t degrees = line.size() - 10 - (last >= '1' && last <= '7' ? 0 : 1);
    if (degrees > kMaxChainDegrees) {
      return "chain of " + std::to_string(degrees) + " degrees; at most " +
             std::to_string(kMaxChainDegrees) + " fit a rule";
    }
  } else if (line.size() < kMinSubstitutionLineLength) {
    return "substitution rule line too short: a rule needs at least " +
           std::to_string(kMinSubstitutionLineLength) + " columns";
  }
  return std::nullopt;
}

}  // namespace

RuleFileReading ParseRuleFile(std::string_view text, std::string_view fileName) {
  RuleFileReading reading;
  if (text.starts_with(kByteOrderMark))
    text.remove_prefix(kByteOrderMark.size());
  const auto problem = [&](std::size_t lineNumber, const std::string& message) {
    reading.problems.push_back(std::string(fileName) + ":" + std::to_string(lineNumber) + ": " +
                               message);
  };

  Table table = Table::None;
  bool reportedOverflow[2] = {false, false};
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    const std::string_view line = RemoveTrailingWhiteSpace(raw);
    if (line.empty() || line.front() == '#')
      continue;
    if (line.front() == '[') {
      if (line == kConnectionSection) {
        table = Table::Connection;
      } else if (line == kSubstitutionSection) {
        table = Table::Substitution;
      } else {
        problem(lineNumber, "unknown section \"" + std::string(line) + "\"; expected " +
                                std::string(kConnectionSection) + " or " +
                                std::string(kSubstitutionSection));
        table = Table::Unknown;
      }
      continue;
    }
    if (table == Table::Unknown)
      continue;
    if (table == Table::None) {
      problem(lineNumber, "rule line before any section; start the table with " +
                              std::string(kConnectionSection) + " or " +
                              std::string(kSubstitutionSection));
      continue;
    }
    if (const auto why = RuleLineProblem(line, table)) {
      problem(lineNumber, *why);
      continue;
    }
    auto& lines =
        table == Table::Connection ? reading.tables.connection : reading.tables.substitution;
    if (lines.size() >= RuleCapacity) {
      bool& reported = reportedOverflow[table == Table::Connection ? 0 : 1];
      if (!reported) {
        problem(lineNumber, "more than " + std::to_string(RuleCapacity) + " " +
                                std::string(TableName(table)) + " rules");
        reported = true;
      }
      continue;
    }
    lines.emplace_back(line);
  }
  if (!reading.problems.empty())
    reading.tables = {};
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
      if (const auto why = RuleLineProblem(line, table)) {
        writing.problems.push_back(where + ": " + *why);
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
