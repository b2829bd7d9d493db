#include "cli/options.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <limits>

namespace sonavela::cli {
namespace {

enum class Id {
  kHelp,
  kVersion,
  kListDevices,
  kDevice,
  kInstrument,
  kMinor,
  kRules,
  kPrintRules,
  kSteps,
  kInterval,
  kSeed,
  kWav,
  kMidi
};

struct OptionInfo {
  std::string_view name;
  Id id;
  bool takesValue;
};

constexpr std::array<OptionInfo, 14> kOptionTable{{
    {"--help", Id::kHelp, false},
    {"-h", Id::kHelp, false},
    {"--version", Id::kVersion, false},
    {"--list-devices", Id::kListDevices, false},
    {"--device", Id::kDevice, true},
    {"--instrument", Id::kInstrument, true},
    {"--minor", Id::kMinor, false},
    {"--rules", Id::kRules, true},
    {"--print-rules", Id::kPrintRules, false},
    {"--steps", Id::kSteps, true},
    {"--interval", Id::kInterval, true},
    {"--seed", Id::kSeed, true},
    {"--wav", Id::kWav, true},
    {"--midi", Id::kMidi, true},
}};

// Digits only: no sign, no blanks, no trailing text, no overflow.
std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t min,
                                         std::uint64_t max) {
  if (text.empty()) {
    return std::nullopt;
  }
  for (char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
  }
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

UsageError BadNumber(std::string_view option, std::string_view text, std::uint64_t min,
                     std::uint64_t max) {
  return {std::string(option) + ": '" + std::string(text) + "' is not a whole number from " +
          std::to_string(min) + " to " + std::to_string(max)};
}

std::string_view ActionOption(Action action) {
  switch (action) {
    case Action::kListDevices:
      return "--list-devices";
    case Action::kPrintRules:
      return "--print-rules";
    default:
      return "";
  }
}

}  // namespace

std::variant<Options, UsageError> ParseOptions(std::span<const std::string_view> args) {
  Options options;
  bool deviceGiven = false;
  bool intervalGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      return UsageError{"unexpected argument '" + std::string(arg) + "' (see --help)"};
    }
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const OptionInfo* known = nullptr;
    for (const OptionInfo& candidate : kOptionTable) {
      if (candidate.name == name) {
        known = &candidate;
      }
    }
    if (known == nullptr) {
      return UsageError{"unknown option '" + std::string(name) + "' (see --help)"};
    }
    std::string_view value;
    if (known->takesValue) {
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return UsageError{"option '" + std::string(name) + "' needs a value"};
      }
    } else if (equals != std::string_view::npos) {
      return UsageError{"option '" + std::string(name) + "' takes no value"};
    }

    switch (known->id) {
      case Id::kHelp:
        options.action = Action::kHelp;
        return options;
      case Id::kVersion:
        options.action = Action::kVersion;
        return options;
      case Id::kListDevices:
      case Id::kPrintRules: {
        const Action action =
            known->id == Id::kListDevices ? Action::kListDevices : Action::kPrintRules;
        if (options.action != Action::kPlay && options.action != action) {
          return UsageError{std::string(ActionOption(options.action)) + " and " +
                            std::string(name) + " cannot be combined"};
        }
        options.action = action;
        break;
      }
      case Id::kDevice:
        deviceGiven = true;
        if (value == "none") {
          options.device.reset();
        } else if (auto n = ParseNumber(value, 0, std::numeric_limits<unsigned>::max() - 1)) {
          options.device = static_cast<unsigned>(*n);
        } else {
          return UsageError{"--device: '" + std::string(value) +
                            "' is neither a device index nor 'none' (see --list-devices)"};
        }
        break;
      case Id::kInstrument:
        if (auto n = ParseNumber(value, 1, 128)) {
          options.instrument = static_cast<int>(*n);
        } else {
          return BadNumber(name, value, 1, 128);
        }
        break;
      case Id::kMinor:
        options.minor = true;
        break;
      case Id::kRules:
        if (value.empty()) {
          return UsageError{"--rules: the file name is empty"};
        }
        options.rulesFile = std::string(value);
        break;
      case Id::kSteps:
        if (auto n = ParseNumber(value, 1, kMaxSteps)) {
          options.steps = *n;
        } else {
          return BadNumber(name, value, 1, kMaxSteps);
        }
        break;
      case Id::kInterval:
        intervalGiven = true;
        if (auto n = ParseNumber(value, 0, kMaxIntervalMs)) {
          options.interval = std::chrono::milliseconds{static_cast<std::int64_t>(*n)};
        } else {
          return BadNumber(name, value, 0, kMaxIntervalMs);
        }
        break;
      case Id::kSeed:
        if (auto n = ParseNumber(value, 0, std::numeric_limits<std::uint32_t>::max())) {
          options.seed = static_cast<std::uint32_t>(*n);
        } else {
          return BadNumber(name, value, 0, std::numeric_limits<std::uint32_t>::max());
        }
        break;
      case Id::kWav:
        if (value.empty()) {
          return UsageError{"--wav: the file name is empty"};
        }
        options.wavFile = std::string(value);
        break;
      case Id::kMidi:
        if (value.empty()) {
          return UsageError{"--midi: the file name is empty"};
        }
        options.midiFile = std::string(value);
        break;
    }
  }

  if (options.wavFile && options.action == Action::kPlay) {
    if (!options.steps) {
      return UsageError{"--wav needs --steps, so that the recording has an end"};
    }
    if (deviceGiven) {
      return UsageError{
          "--wav renders the built-in synthesizer and cannot be combined with --device"};
    }
    if (intervalGiven && options.interval.count() == 0) {
      return UsageError{"--wav needs an --interval above 0: each chord lasts the interval"};
    }
  }
  if (options.wavFile && options.midiFile &&
      std::filesystem::path(*options.wavFile).lexically_normal() ==
          std::filesystem::path(*options.midiFile).lexically_normal()) {
    return UsageError{"--wav and --midi name the same file"};
  }
  return options;
}

std::string HelpText() {
  return R"(Usage: sonavela-cli [OPTION]...
Invents an endless chord progression and plays it, one chord per interval,
printing each chord as a line "key : chord" (for example "C   : Am").

Options:
  --device N|none   play on MIDI output device N (default 0, the built-in
                    synthesizer); "none" plays silently
  --list-devices    list the MIDI output devices as "index<TAB>name" and exit
  --instrument N    General MIDI instrument 1 to 128 (default 49)
  --minor           home key A minor (default C major)
  --rules FILE      read both rule tables from a rule file
  --print-rules     print the default rule tables as a rule file and exit
  --steps N         stop after N chords (default: play until interrupted)
  --interval MS     milliseconds from one chord to the next (default 2000;
                    0 = as fast as possible)
  --seed N          initial state of the random source, 0 to 4294967295
                    (default 1)
  --wav FILE        render the built-in synthesizer into a WAV file instead of
                    playing, faster than real time; each chord lasts the
                    interval; needs --steps
  --midi FILE       also write what is played into a Standard MIDI File, one
                    4/4 bar per chord lasting the interval (2000 ms when the
                    interval is 0), each chord's line as a marker; works with
                    sound, --device none and --wav
  -h, --help        show this help and exit
  --version         print the version and exit

Ctrl-C stops playing and silences the device; the MIDI file is then
complete up to the moment it stopped. A --wav or --midi file replaces an
existing file only once it is complete.
Exit status: 0 when done or stopped, 1 when something failed while running
(a device that went away, a full disk), 2 for bad usage (unknown option, bad
number, bad rule file, no such device, a --wav or --midi file that cannot be
written).
)";
}

std::string VersionText() {
#ifdef SONAVELA_VERSION
  return std::string(kProgramName) + " " + SONAVELA_VERSION + "\n";
#else
  return std::string(kProgramName) + "\n";
#endif
}

}  // namespace sonavela::cli
