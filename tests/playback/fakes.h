#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "generator/rules.h"
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
    std::chrono::milliseconds period;
    friend bool operator==(const Call&, const Call&) = default;
  };
  void Arm(unsigned id, std::chrono::milliseconds period) override {
    calls.push_back({true, id, period});
    armed = true;
  }
  void Disarm(unsigned id) override {
    calls.push_back({false, id, {}});
    armed = false;
  }

  std::vector<Call> calls;
  bool armed = false;
};

inline std::vector<std::string> WithEmptyLastLine(auto const& table) {
  std::vector<std::string> lines(table.begin(), table.end());
  lines.emplace_back();
  return lines;
}

class FakeInputs final : public ControlInputs {
 public:
  [[nodiscard]] std::string InstrumentText() const override { return instrument; }
  [[nodiscard]] bool MinorKey() const override { return minor; }
  [[nodiscard]] std::vector<std::string> ConnectionLines() const override { return connection; }
  [[nodiscard]] std::vector<std::string> SubstitutionLines() const override { return substitution; }

  std::string instrument = "  49";
  bool minor = false;
  std::vector<std::string> connection = WithEmptyLastLine(generator::DefaultConnectionRules);
  std::vector<std::string> substitution = WithEmptyLastLine(generator::DefaultSubstitutionRules);
};

[[nodiscard]] constexpr std::uint32_t NoteOn(int key) {
  return 0x90u | (static_cast<std::uint32_t>(key) << 8) | (64u << 16);
}
[[nodiscard]] constexpr std::uint32_t ProgramChangeTo(int program) {
  return 0xC0u | (static_cast<std::uint32_t>(program) << 8);
}

}  // namespace sonavela::playback::testing
