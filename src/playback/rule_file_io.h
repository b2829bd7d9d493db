// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "base/result.h"
#include "generator/rule_file.h"

namespace sonavela::playback {

// The two tables as a rule file holds them: rule lines only, without the
// lists' empty last line.
using RuleLists = generator::RuleTables;

// Reads and parses a rule file; nothing is taken from a file with a problem.
// A file that cannot be read at all gives the single problem
// "rules.txt: cannot read: <reason>".
[[nodiscard]] generator::RuleFileReading ReadRuleFile(const std::string& path);

// Writes the file so that it is either completely replaced or left as it was:
// the text goes to a temporary file next to it, is flushed to the disk and
// then renamed over the old file. Fails ("rules.txt: cannot save: No space
// left on device"); lines that a rule file cannot hold are refused the same
// way, before anything is written.
Status WriteRuleFile(const std::string& path, const RuleLists& lists);

}  // namespace sonavela::playback
