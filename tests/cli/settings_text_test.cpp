// SPDX-License-Identifier: GPL-3.0-or-later
// --help, the manual page and the completion say of each setting what the
// settings table declares: its help, its range, its values.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "cli/options.h"
#include "playback/settings.h"

namespace sonavela::cli {
namespace {

using playback::SettingKind;
using playback::SettingSpec;

std::string Read(const char* path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The entry of `option` in --help, its lines joined.
std::string HelpEntry(const std::string& help, const SettingSpec& spec) {
  const std::string head = "  --" + std::string(spec.name) + " " + std::string(spec.valueName);
  std::istringstream lines(help);
  std::string line;
  std::string text;
  bool inside = false;
  while (std::getline(lines, line)) {
    if (line.starts_with(head)) {
      inside = true;
      line = line.substr(head.size());
    } else if (!inside || !line.starts_with("                    ")) {
      if (inside) {
        break;
      }
      continue;
    }
    const std::size_t start = line.find_first_not_of(' ');
    if (start != std::string::npos) {
      text += (text.empty() ? "" : " ") + line.substr(start);
    }
  }
  return text;
}

// As roff writes it: every '-' escaped.
std::string Roff(std::string_view text) {
  std::string out;
  for (const char c : text) {
    out += c == '-' ? std::string("\\-") : std::string(1, c);
  }
  return out;
}

// The words the completion offers after `--name`.
std::set<std::string> Completed(const std::string& script, const SettingSpec& spec) {
  const std::string option = "--" + std::string(spec.name);
  std::size_t at = script.find("    " + option + ")");
  if (at == std::string::npos) {
    at = script.find(option + " |");
    at = at == std::string::npos ? script.find("| " + option + ")") : at;
  }
  if (at == std::string::npos) {
    return {};
  }
  const std::size_t words = script.find("compgen -W \"", at);
  const std::size_t end = script.find('"', words + 12);
  if (words == std::string::npos || script.find(";;", at) < words) {
    return {};
  }
  std::istringstream list(script.substr(words + 12, end - words - 12));
  return {std::istream_iterator<std::string>(list), std::istream_iterator<std::string>()};
}

TEST(SettingsText, HelpManualAndCompletionSayWhatTheTableDeclares) {
  const std::string help = HelpText();
  const std::string manual = Read(SONAVELA_MANUAL_PAGE);
  const std::string completion = Read(SONAVELA_COMPLETION);
  for (const SettingSpec& spec : playback::SettingSpecs()) {
    SCOPED_TRACE(spec.name);
    EXPECT_EQ(HelpEntry(help, spec), spec.help);
    EXPECT_NE(manual.find(Roff("--" + std::string(spec.name))), std::string::npos);
    std::set<std::string> values;
    if (spec.kind == SettingKind::kChoice) {
      values = {spec.values.begin(), spec.values.end()};
      for (const std::string_view value : spec.values) {
        if (spec.id != playback::Setting::kKey) {
          EXPECT_NE(manual.find(Roff(value)), std::string::npos) << value;
        }
      }
    } else if (spec.kind == SettingKind::kSwitch) {
      values = {"on", "off"};
    } else if (spec.kind == SettingKind::kNumber) {
      const std::string range = Roff(std::to_string(static_cast<int>(spec.min))) + " to " +
                                std::to_string(static_cast<int>(spec.max));
      EXPECT_NE(manual.find(range), std::string::npos) << range;
    }
    EXPECT_EQ(Completed(completion, spec), values);
  }
}

}  // namespace
}  // namespace sonavela::cli
