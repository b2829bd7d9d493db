#include "cli/app.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "cli/adapters.h"
#include "cli/midi_export.h"
#include "cli/options.h"
#include "cli/play_loop.h"
#include "generator/generator.h"
#include "generator/rule_file.h"
#include "generator/rules.h"
#include "midi/midi_port.h"
#include "midi/synth_renderer.h"
#include "playback/playback_control.h"
#include "playback/rule_file_io.h"

namespace sonavela::cli {
namespace {

void Complain(FdWriter& err, const std::string& message) {
  // Nothing sensible is left to do when even standard error is gone.
  (void)err.Write(std::string(kProgramName) + ": " + message + "\n");
}

playback::RuleLists DefaultRuleLists() {
  playback::RuleLists lists;
  lists.connection.assign(generator::DefaultConnectionRules.begin(),
                          generator::DefaultConnectionRules.end());
  lists.substitution.assign(generator::DefaultSubstitutionRules.begin(),
                            generator::DefaultSubstitutionRules.end());
  return lists;
}

void WarnAboutLoad(FdWriter& err, const generator::LoadReport& report) {
  const auto warn = [&](std::size_t count, const char* what) {
    if (count > 0) {
      Complain(err, "warning: " + std::to_string(count) + " " + what);
    }
  };
  warn(report.shortConnectionLines, "connection rule line(s) too short to read, skipped");
  warn(report.shortSubstitutionLines, "substitution rule line(s) too short to read, skipped");
  warn(report.ignoredConnectionRules, "connection rule(s) beyond the first 1000 ignored");
  warn(report.ignoredSubstitutionRules, "substitution rule(s) beyond the first 1000 ignored");
}

// A reader that went away (EPIPE) is how `| head` says "enough"; any other
// failure to write the lines is an error the user must hear about.
int OutputStatus(Environment& env) {
  if (env.out.Broken() && env.out.Error() != EPIPE) {
    Complain(env.err,
             "cannot write to standard output: " + std::system_category().message(env.out.Error()));
    return kExitFailure;
  }
  return kExitOk;
}

int ListDevices(Environment& env) {
  midi::MidiPort port(env.makeBackend());
  const unsigned count = port.DeviceCount();
  for (unsigned i = 0; i < count; ++i) {
    std::string name = "<Error>";
    (void)port.DeviceName(i, name);
    if (!env.out.Write(std::to_string(i) + "\t" + name + "\n")) {
      break;
    }
  }
  return OutputStatus(env);
}

// Everything a run needs besides the device: the generator, the result list
// on standard output and the control that ties them to the port.
struct Session {
  Session(const Options& options, playback::RuleLists rules, midi::MidiPort& port, Environment& env)
      : results(env.out, env.stop),
        inputs(options.instrument, options.minor, std::move(rules.connection),
               std::move(rules.substitution)),
        control(generator, port, results, timer, inputs) {
    generator.SetRandomState(options.seed);
    control.SetPeriod(options.interval);
  }

  generator::ProgressionGenerator generator;
  PrintingResultList results;
  ScheduleTimer timer;
  OptionInputs inputs;
  playback::PlaybackControl control;
};

[[nodiscard]] bool Done(const Options& options, const Session& session) {
  return options.steps && session.results.Printed() >= *options.steps;
}

// The port's backend, passing through the MIDI file when there is one.
std::unique_ptr<midi::MidiBackend> Recorded(std::unique_ptr<midi::MidiBackend> backend,
                                            MidiFileExport* midiFile) {
  return midiFile != nullptr ? midiFile->Tap(std::move(backend)) : std::move(backend);
}

int Play(const Options& options, playback::RuleLists rules, Environment& env,
         MidiFileExport* midiFile) {
  std::unique_ptr<midi::MidiBackend> backend;
  if (options.device) {
    backend = Recorded(env.makeBackend(), midiFile);
  } else if (midiFile != nullptr) {
    // No device behind the file: every send still reaches the file.
    backend = midiFile->Tap(nullptr);
  } else {
    backend = std::make_unique<NoDeviceBackend>();
  }
  midi::MidiPort port(std::move(backend));
  if (options.device) {
    const unsigned count = port.DeviceCount();
    if (*options.device >= count) {
      Complain(env.err,
               "no MIDI output device " + std::to_string(*options.device) + " (there " +
                   (count == 1 ? "is 1 device" : "are " + std::to_string(count) + " devices") +
                   "; see --list-devices, or use --device none)");
      return kExitUsage;
    }
    if (!port.OpenDevice(*options.device)) {
      std::string name = "<Error>";
      (void)port.DeviceName(*options.device, name);
      // The reason is a sentence of its own; the tail below continues it.
      std::string reason = port.LastError();
      while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) {
        reason.pop_back();
      }
      Complain(env.err, "cannot open MIDI output device " + std::to_string(*options.device) + " (" +
                            name + "): " + reason + "; playing silently");
    }
  }

  Session session(options, std::move(rules), port, env);
  if (midiFile != nullptr) {
    midiFile->Listen(session.control);
  }
  session.control.Start();
  WarnAboutLoad(env.err, session.control.LastLoadReport());
  RunPlayLoop(session.control, session.timer, env.stop, [&] { return Done(options, session); });
  session.control.Stop();
  return OutputStatus(env);
}

int RenderWav(const Options& options, playback::RuleLists rules, Environment& env,
              MidiFileExport* midiFile) {
  auto renderer = std::make_shared<midi::SynthRenderer>();
  midi::MidiPort port(
      Recorded(std::make_unique<midi::RendererBackend>(renderer, *options.wavFile), midiFile));
  if (!port.OpenDevice(0)) {
    Complain(env.err, "cannot render '" + *options.wavFile + "': " + port.LastError());
    return kExitFailure;
  }
  Session session(options, std::move(rules), port, env);
  if (midiFile != nullptr) {
    midiFile->Listen(session.control);
  }
  session.control.Start();
  WarnAboutLoad(env.err, session.control.LastLoadReport());
  bool ok = renderer->Advance(options.interval);
  while (ok && !env.stop.Requested() && !Done(options, session)) {
    session.control.Tick(playback::kStepTimerId);
    ok = renderer->Advance(options.interval);
  }
  session.control.Stop();
  if (!ok || !renderer->Finish()) {
    Complain(env.err, "cannot write '" + *options.wavFile + "': " + renderer->LastError());
    return kExitFailure;
  }
  return OutputStatus(env);
}

}  // namespace

int RunCli(std::span<const std::string_view> args, Environment& env) {
  auto parsed = ParseOptions(args);
  if (auto* error = std::get_if<UsageError>(&parsed)) {
    Complain(env.err, error->message);
    return kExitUsage;
  }
  const Options& options = std::get<Options>(parsed);

  switch (options.action) {
    case Action::kHelp:
      (void)env.out.Write(HelpText());
      return kExitOk;
    case Action::kVersion:
      (void)env.out.Write(VersionText());
      return kExitOk;
    case Action::kPrintRules: {
      const playback::RuleLists defaults = DefaultRuleLists();
      (void)env.out.Write(
          generator::FormatRuleFile(defaults.connection, defaults.substitution).text);
    }
      return kExitOk;
    case Action::kListDevices:
      return ListDevices(env);
    case Action::kPlay:
      break;
  }

  playback::RuleLists rules = DefaultRuleLists();
  if (options.rulesFile) {
    generator::RuleFileReading read = playback::ReadRuleFile(*options.rulesFile);
    if (!read.problems.empty()) {
      for (const std::string& problem : read.problems) {
        Complain(env.err, problem);
      }
      return kExitUsage;
    }
    rules = std::move(read.tables);
  }

  std::unique_ptr<MidiFileExport> midiFile;
  if (options.midiFile) {
    // Checked before playing, so that an hour of music is not lost to a typo.
    if (const std::string problem = CheckMidiFileTarget(*options.midiFile); !problem.empty()) {
      Complain(env.err, problem);
      return kExitUsage;
    }
    const std::chrono::milliseconds chordLength =
        options.interval.count() > 0 ? options.interval : kDefaultInterval;
    midiFile = std::make_unique<MidiFileExport>(*options.midiFile, chordLength);
  }

  const int status = options.wavFile ? RenderWav(options, std::move(rules), env, midiFile.get())
                                     : Play(options, std::move(rules), env, midiFile.get());
  // Whatever ended the run, what was played is kept; a run refused before its
  // first chord (no such device) leaves no file behind.
  if (midiFile && midiFile->Chords() > 0) {
    if (const std::string error = midiFile->Save(); !error.empty()) {
      Complain(env.err, error);
      return kExitFailure;
    }
  }
  return status;
}

}  // namespace sonavela::cli
