// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include "cli/clocks.h"
#include "cli/options.h"
#include "cli/terminal.h"
#include "midi/devices/synth/synth_config.h"
#include "midi/port/midi_backend.h"

namespace sonavela::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What the program needs from its surroundings, so that it can be run against
// other streams and devices than the process's own.
struct Environment {
  FdWriter& out;
  FdWriter& err;
  StopSignal& stop;
  // The MIDI output devices that --device and --list-devices index; the
  // built-in synthesizer loads `soundFont` (--soundfont), or looks for one
  // as usual when it is empty, and sounds as `sound` says (--gain, --reverb,
  // --chorus).
  std::function<std::unique_ptr<midi::MidiBackend>(const std::string& soundFont,
                                                   const midi::SynthSound& sound)>
      makeBackend;
  // The clock that --sync names; empty for the real ones (MakeClock).
  std::function<ClockChoice(const Options&)> makeClock = MakeClock;
};

// The whole command line; `args` excludes the program name. Returns the exit
// status.
[[nodiscard]] int RunCli(std::span<const std::string_view> args, Environment& env);

}  // namespace sonavela::cli
