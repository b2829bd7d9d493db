// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "generator/generator.h"
#include "generator/load_rules.h"
#include "generator/rules.h"
#include "harmony/names.h"

namespace sonavela::ui::testing {

// The lines a progression shows, computed without the dialog, so that the
// tests can tell whether the dialog handed the generator the right rules at
// the right moment. Like the dialog's generator it keeps its random source
// from one start to the next.
class ReferenceProgression {
 public:
  // Loads the rules and resets, then returns the first `count` lines, as a
  // Start followed by count - 1 ticks shows them.
  std::vector<std::string> Start(const std::vector<std::string>& connection,
                                 const std::vector<std::string>& substitution, bool minor,
                                 int count) {
    Load(connection, substitution, minor);
    return Next(count);
  }

  std::vector<std::string> Next(int count) {
    std::vector<std::string> lines;
    for (const generator::ProgressionStep& step : NextSteps(count)) {
      lines.push_back(harmony::FormatStepLine(step.key, step.chord));
    }
    return lines;
  }

  // As Start, with the steps themselves, for what the port sends.
  std::vector<generator::ProgressionStep> StartSteps(const std::vector<std::string>& connection,
                                                     const std::vector<std::string>& substitution,
                                                     bool minor, int count) {
    Load(connection, substitution, minor);
    return NextSteps(count);
  }

  std::vector<generator::ProgressionStep> NextSteps(int count) {
    std::vector<generator::ProgressionStep> steps;
    for (int i = 0; i < count; ++i) {
      steps.push_back(generator_.PopStep());
      generator_.Advance();
    }
    return steps;
  }

 private:
  // The lists as the dialog shows them, the empty last line included.
  void Load(std::vector<std::string> connection, std::vector<std::string> substitution,
            bool minor) {
    for (auto* lines : {&connection, &substitution}) {
      if (!lines->empty()) {
        lines->pop_back();
      }
    }
    (void)generator::LoadRules(generator_, connection, substitution, minor);
    generator_.Reset();
  }

  generator::ProgressionGenerator generator_;
};

template <std::size_t N>
std::vector<std::string> WithEmptyLine(const std::array<std::string_view, N>& lines) {
  std::vector<std::string> result(lines.begin(), lines.end());
  result.emplace_back();
  return result;
}

inline std::vector<std::string> DefaultConnectionLines() {
  return WithEmptyLine(generator::DefaultConnectionRules);
}
inline std::vector<std::string> DefaultSubstitutionLines() {
  return WithEmptyLine(generator::DefaultSubstitutionRules);
}

}  // namespace sonavela::ui::testing
