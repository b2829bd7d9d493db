// SPDX-License-Identifier: GPL-3.0-or-later
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
#include "cli/options.h"
#include "cli/output_files.h"
#include "cli/play_loop.h"
#include "cli/render_output.h"
#include "cli/rule_findings.h"
#include "generator/printable.h"
#include "generator/rule_file.h"
#include "generator/rules.h"
#include "midi/files/synth_renderer.h"
#include "midi/port/midi_port.h"
#include "playback/atomic_file.h"
#include "playback/rule_file_io.h"
#include "playback/session.h"
#include "timing/chord_clock.h"

namespace sonavela::cli {
namespace {

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

// The --soundfont given is no SoundFont that can be used: a bad option like
// any other.
bool GivenSoundFontRefused(const Options& options, const Error& error) {
  if (!options.soundFont) {
    return false;
  }
  for (const Error* e = &error; e != nullptr; e = e->cause.get()) {
    if (e->kind == ErrorKind::kNotASoundFont || e->kind == ErrorKind::kSoundFontNotLoaded ||
        (e->kind >= ErrorKind::kSoundFontMissing && e->kind <= ErrorKind::kSoundFontEmpty)) {
      return true;
    }
  }
  return false;
}

int Print(Environment& env, const std::string& text) {
  (void)env.out.Write(text);
  return OutputStatus(env);
}

int ListDevices(Environment& env) {
  midi::MidiPort port(env.makeBackend({}, {}));
  const unsigned count = port.DeviceCount();
  for (unsigned i = 0; i < count; ++i) {
    std::string name = "<Error>";
    (void)port.DeviceName(i, name);
    // Other programs name their ports: no byte of theirs reaches the
    // terminal as a control sequence.
    if (!env.out.Write(std::to_string(i) + "\t" + generator::Printable(name) + "\n")) {
      break;
    }
  }
  // Why a JACK or ALSA user sees fewer devices than expected.
  for (const Error& reason : port.UnavailableDevices()) {
    Complain(env.err, "not listed: " + EnglishText(reason));
  }
  return OutputStatus(env);
}

int ListMidiInputs(Environment& env) {
  // In the order --clock-from counts them.
  const timing::InputListing inputs = timing::ListClockInputs();
  for (std::size_t i = 0; i < inputs.names.size(); ++i) {
    if (!env.out.Write(std::to_string(i) + "\t" + generator::Printable(inputs.names[i]) + "\n")) {
      break;
    }
  }
  for (const std::string& reason : inputs.unavailable) {
    Complain(env.err, "not listed: " + reason);
  }
  return OutputStatus(env);
}

// Opens the chosen device; false for a usage error (no such device), which
// is reported. A device that exists but will not open plays silently.
[[nodiscard]] bool OpenChosenDevice(const Options& options, playback::PlaybackSession& session,
                                    Environment& env) {
  if (!options.device) {
    return true;
  }
  const unsigned count = session.DeviceCount();
  if (*options.device >= count) {
    Complain(env.err,
             "no MIDI output device " + std::to_string(*options.device) + " (there " +
                 (count == 1 ? "is 1 device" : "are " + std::to_string(count) + " devices") +
                 "; see --list-devices, or use --device none)");
    return false;
  }
  if (Status opened = session.OpenDevice(*options.device); !opened) {
    std::string name = "<Error>";
    (void)session.DeviceName(*options.device, name);
    // The reason is a sentence of its own; the tail below continues it.
    std::string reason = EnglishText(opened.error());
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) {
      reason.pop_back();
    }
    Complain(env.err, "cannot open MIDI output device " + std::to_string(*options.device) + " (" +
                          name + "): " + reason + "; playing silently");
  }
  return true;
}

int Play(const Options& options, playback::RuleLists rules, Environment& env, OutputFiles& files,
         BackgroundCheck* check) {
  const bool offline = files.Render() != nullptr;
  const midi::AudioFormat format = RenderFormat(options, files, env.err);
  const std::shared_ptr<midi::SynthRenderer> renderer =
      offline ? std::make_shared<midi::SynthRenderer>(midi::SynthRendererOptions{
                    options.soundFont.value_or(""), 44100, options.synth, format})
              : nullptr;
  playback::SessionOptions setup;
  if (offline) {
    setup.devices = std::make_unique<midi::RendererBackend>(renderer, *files.Render());
    setup.clock = std::make_unique<timing::OfflineClock>(options.Meter());
  } else {
    ClockChoice choice = env.makeClock(options);
    if (!choice) {
      Complain(env.err, ClockRefusal(options, choice.error()));
      // A network that cannot carry Link failed; any other master is not there.
      return choice.error().kind == ErrorKind::kLinkNotJoined ? kExitFailure : kExitUsage;
    }
    setup.clock = std::move(choice).value();
    if (options.device) {
      setup.devices = env.makeBackend(options.soundFont.value_or(""), options.synth);
    }
    // An output whose server quit plays again once a device of its name is
    // back.
    setup.reopenFailedDevice = true;
  }
  setup.seed = options.seed;
  setup.clockOut = options.clockOut;
  setup.voicing = options.voicing;
  // The sound takes standard output: the lines go where the messages go.
  FdWriter& lines = files.wavPipe ? env.err : env.out;
  LinePrinter results(lines, env.stop);
  // Where the lines do not show how far a render has come.
  RenderProgress progress(
      env.err, offline && !files.wavPipe && IsTerminal(env.err.Fd()) && !IsTerminal(env.out.Fd()),
      options.wavFile.value_or(""), options.steps.value_or(0), options.Meter().Chord());
  playback::StartInputs inputs;
  inputs.instrument = options.instrument;
  inputs.minor = options.minor;
  inputs.homeKey = options.homeKey;
  inputs.connection = std::move(rules.connection);
  inputs.substitution = std::move(rules.substitution);
  setup.inputs = [inputs] { return inputs; };
  playback::PlaybackSession session(std::move(setup));
  if (options.explain) {
    results.SetAnnotation(
        [&session] { return generator::ExplanationText(session.ExplainLastStep()); });
  }
  if (files.midi) {
    session.RecordInto(*files.midi);
  }

  if (offline) {
    if (Status opened = session.OpenDevice(0); !opened) {
      // `| true`: a reader that wants nothing, not even the header, is no
      // failure either.
      if (files.wavPipe && files.wavPipe->ReaderLeft()) {
        return OutputStatus(env);
      }
      Complain(env.err,
               "cannot render " + RenderName(options) + ": " + EnglishText(opened.error()));
      return GivenSoundFontRefused(options, opened.error()) ? kExitUsage : kExitFailure;
    }
  } else if (!OpenChosenDevice(options, session, env)) {
    return kExitUsage;
  }

  bool failed = false;
  bool loadReported = false;
  const auto onFailure = [&](const playback::Failure& failure) {
    if (failure.what == playback::Failure::What::kRecording) {
      Complain(env.err,
               "cannot write " + Quoted(*options.midiFile) + ": " + EnglishText(failure.error));
      failed = true;
      return;
    }
    // `| head -c`: a reader of the sound that had enough is no failure.
    if (files.wavPipe && files.wavPipe->ReaderLeft()) {
      return;
    }
    if (offline) {
      Complain(env.err, "cannot write " + RenderName(options) + ": " + EnglishText(failure.error));
    } else {
      std::string name = "<Error>";
      (void)session.DeviceName(*options.device, name);
      Complain(env.err, "MIDI output device " + std::to_string(*options.device) + " (" + name +
                            ") failed: " + EnglishText(failure.error) + "; playing on silently");
    }
    failed = true;
  };
  session.SetEventSink([&](const playback::SessionEvent& event) {
    if (const auto* notice = std::get_if<playback::Notice>(&event)) {
      Complain(env.err, "note: " + EnglishText(*notice));
    } else if (const auto* failure = std::get_if<playback::Failure>(&event)) {
      onFailure(*failure);
    } else if (const auto* chord = std::get_if<playback::PlayedChord>(&event)) {
      results.Print(chord->line);
      // A master may start the progression long after the program started.
      if (!loadReported) {
        WarnAboutLoad(env.err, session.LastLoadReport());
        loadReported = true;
      }
    }
  });

  const auto afterPump = [&] {
    if (check != nullptr) {
      check->PrintWhenReady(env.err);
    }
    progress.Update(results.Printed());
    if (offline && session.DeviceFailed()) {
      session.Stop();  // a render that cannot be written has no reason to go on
    } else if (options.steps && results.Printed() >= *options.steps) {
      session.StopAtNextChord();  // the last chord sounds to its end
    }
  };
  // Before the first chord when that takes no longer than the chord would
  // last (a moment, for chords as fast as they come).
  if (check != nullptr) {
    constexpr std::chrono::milliseconds kMoment{20};
    check->PrintWhenReady(env.err,
                          std::max<std::chrono::nanoseconds>(options.Meter().Chord(), kMoment));
  }
  session.Start();
  afterPump();
  const auto waitUntil = [&](playback::Timestamp due) {
    return offline ? env.stop.Requested() : env.stop.WaitUntil(due);
  };
  RunPlayLoop(session, waitUntil, afterPump);
  if (session.Engaged()) {
    session.Stop();  // a stop signal, or a closed output
  }
  (void)session.CloseDevice();
  if (check != nullptr && !env.stop.Requested()) {
    check->PrintIfNeverReady(env.err);
  }

  if (files.wav && !session.DeviceFailed()) {
    if (Status committed = files.wav->Commit(); !committed) {
      Complain(env.err,
               "cannot write " + Quoted(*options.wavFile) + ": " + EnglishText(committed.error()));
      failed = true;
    }
  }
  if (files.midi && !session.RecordingFailed()) {
    Status written = session.FinishRecording();
    if (written) {
      written = files.midi->Commit();
    }
    if (!written) {
      Complain(env.err,
               "cannot write " + Quoted(*options.midiFile) + ": " + EnglishText(written.error()));
      failed = true;
    }
  }
  const int status = OutputStatus(env);
  return failed ? kExitFailure : status;
}

}  // namespace

int RunCli(std::span<const std::string_view> args, Environment& env) {
  const Result<Options> parsed = ParseOptions(args);
  if (!parsed) {
    Complain(env.err, EnglishText(parsed.error()));
    return kExitUsage;
  }
  const Options& options = *parsed;

  switch (options.action) {
    case Action::kHelp:
      return Print(env, HelpText());
    case Action::kVersion:
      return Print(env, VersionText());
    case Action::kPrintRules: {
      const playback::RuleLists defaults = generator::DefaultRuleTables();
      return Print(env, generator::FormatRuleFile(defaults.connection, defaults.substitution).text);
    }
    case Action::kListDevices:
      return ListDevices(env);
    case Action::kListInputs:
      return ListMidiInputs(env);
    case Action::kCheckRules:
    case Action::kPlay:
      break;
  }

  NamedTables named;
  const std::optional<std::string> file =
      options.action == Action::kCheckRules && options.checkRulesFile ? options.checkRulesFile
                                                                      : options.rulesFile;
  if (file) {
    generator::RuleFileReading read = playback::ReadRuleFile(*file);
    if (!read.problems.empty()) {
      for (const std::string& problem : generator::EnglishTexts(read.problems)) {
        Complain(env.err, problem);
      }
      return kExitUsage;
    }
    for (const std::string& warning : generator::EnglishTexts(read.warnings)) {
      Complain(env.err, "warning: " + warning);
    }
    named = {*file, std::move(read.tables), std::move(read.lines)};
  } else {
    named = DefaultNamedTables();
  }
  const harmony::Key major{{'C', 0}, harmony::kMajor};
  const harmony::Key minor{{'A', 0}, harmony::kMinor};
  std::vector<harmony::Key> homes{major, minor};
  if (options.homeKey || options.minor) {
    homes = {options.homeKey.value_or(minor)};
  }
  // An interrupt ends a long check at once, as it ends everything else.
  const auto stopped = [&env] { return env.stop.Requested(); };
  if (options.action == Action::kCheckRules) {
    const FindingLines found = CheckedLines(named, homes, true, stopped);
    if (found.stopped) {
      return OutputStatus(env);
    }
    for (const std::string& line : found.lines) {
      if (!env.out.Write(line + "\n")) {
        break;
      }
    }
    const int status = OutputStatus(env);
    return status != kExitOk ? status : (found.warnings > 0 ? kExitFailure : kExitOk);
  }
  // Why a rule never plays, before it does not: the warnings of the key that
  // plays, found while it plays.
  std::unique_ptr<BackgroundCheck> check;
  if (file) {
    check = std::make_unique<BackgroundCheck>(named, homes.front(), stopped);
  }
  playback::RuleLists rules = std::move(named.tables);

  // Checked before playing, so that an hour of music is not lost to a typo.
  OutputFiles files;
  if (!MakeOutputFiles(options, env.out, env.err, files)) {
    return kExitUsage;
  }
  return Play(options, std::move(rules), env, files, check.get());
}

}  // namespace sonavela::cli
