// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "generator/rules.h"
#include "midi/port/midi_message.h"
#include "playback/playback_control.h"

namespace sonavela::playback::testing {

class FakeResultList final : public ResultList {
 public:
  void Clear() override {
    lines.clear();
    ++clears;
  }
  [[nodiscard]] int Count() const override { return static_cast<int>(lines.size()); }
  void DeleteFirst() override { lines.erase(lines.begin()); }
  void Append(const std::string& line) override { lines.push_back(line); }
  void Select(int index) override { selected = index; }

  std::vector<std::string> lines;
  int selected = -1;
  int clears = 0;
};

class FakeTimer final : public StepTimer {
 public:
  struct Call {
    bool arm;
    unsigned id;
    friend bool operator==(const Call&, const Call&) = default;
  };
  void Arm(unsigned id) override {
    calls.push_back({true, id});
    armed = true;
  }
  void Disarm(unsigned id) override {
    calls.push_back({false, id});
    armed = false;
  }

  std::vector<Call> calls;
  bool armed = false;
};

inline std::vector<std::string> LinesOf(auto const& table) {
  return std::vector<std::string>(table.begin(), table.end());
}

class FakeInputs final : public ControlInputs {
 public:
  [[nodiscard]] std::string InstrumentText() const override { return instrument; }
  [[nodiscard]] bool MinorKey() const override { return minor; }
  [[nodiscard]] std::vector<std::string> ConnectionLines() const override { return connection; }
  [[nodiscard]] std::vector<std::string> SubstitutionLines() const override { return substitution; }

  std::string instrument = "  49";
  bool minor = false;
  std::vector<std::string> connection = LinesOf(generator::DefaultConnectionRules);
  std::vector<std::string> substitution = LinesOf(generator::DefaultSubstitutionRules);
};

[[nodiscard]] constexpr midi::MidiMessage NoteOn(int key) {
  return midi::MidiMessage::NoteOn(1, key, 64);
}
[[nodiscard]] constexpr midi::MidiMessage ProgramChangeTo(int program) {
  return midi::MidiMessage::ProgramChange(1, program);
}

}  // namespace sonavela::playback::testing
