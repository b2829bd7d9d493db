#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "playback/chord_clock.h"
#include "playback/playback_control.h"

namespace sonavela::cli {

inline constexpr std::string_view kProgramName = "sonavela-cli";

inline constexpr int kDefaultInstrument = playback::kInstrumentAtStart;
inline constexpr std::chrono::milliseconds kDefaultInterval = playback::kStepPeriod;
inline constexpr std::uint32_t kDefaultSeed = 1;
// Generous, but small enough that steps x interval cannot overflow anything.
inline constexpr std::uint64_t kMaxSteps = 1'000'000'000;
inline constexpr std::int64_t kMaxIntervalMs = 3'600'000;

enum class Action { kPlay, kHelp, kVersion, kListDevices, kPrintRules };

struct Options {
  Action action = Action::kPlay;
  // std::nullopt: --device none, play silently.
  std::optional<unsigned> device = 0;
  int instrument = kDefaultInstrument;
  bool minor = false;
  std::optional<std::string> rulesFile;
  // std::nullopt: endless, until interrupted.
  std::optional<std::uint64_t> steps;
  std::chrono::milliseconds interval = kDefaultInterval;
  std::uint32_t seed = kDefaultSeed;
  std::optional<std::string> wavFile;
  std::optional<std::string> midiFile;
};

// One line for standard error, without the program name and the newline.
struct UsageError {
  std::string message;
};

// `args` excludes the program name. Accepts "--name value" and "--name=value".
[[nodiscard]] std::variant<Options, UsageError> ParseOptions(
    std::span<const std::string_view> args);

[[nodiscard]] std::string HelpText();
[[nodiscard]] std::string VersionText();

}  // namespace sonavela::cli
