// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include <csignal>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "cli/app.h"
#include "cli/options.h"
#include "cli/terminal.h"
#include "midi/devices/system_backend.h"

int main(int argc, char** argv) {
  using namespace sonavela;
  cli::FdWriter out(STDOUT_FILENO);
  cli::FdWriter err(STDERR_FILENO);
  int status = cli::kExitFailure;
  int signal = 0;
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    cli::StopSignal stop;
    cli::Environment env{out, err, stop,
                         [](const std::string& soundFont, const midi::SynthSound& sound) {
                           midi::SystemBackendOptions options;
                           options.soundFont = soundFont;
                           options.sound = sound;
                           return midi::MakeSystemBackend(options);
                         }};
    status = cli::RunCli(args, env);
    signal = stop.Received();
  } catch (const std::exception& e) {
    (void)err.Write(std::string(cli::kProgramName) + ": " + e.what() + "\n");
  }
  // Everything is silenced and written: end by the signal itself, so that a
  // shell loop or a script sees the interruption (130 for Ctrl-C).
  if (signal != 0) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  return status;
}
