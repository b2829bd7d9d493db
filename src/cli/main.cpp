#include <unistd.h>

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
    return cli::RunCli(args, env);
  } catch (const std::exception& e) {
    (void)err.Write(std::string(cli::kProgramName) + ": " + e.what() + "\n");
    return cli::kExitFailure;
  }
}
