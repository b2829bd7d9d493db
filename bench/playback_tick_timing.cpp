// Tick timing through the real playback path: PlaybackControl driven by the
// command line's loop (steady-clock deadlines, self-pipe wait), playing every
// chord through a MidiPort. Lateness is taken when a chord has been sent and
// its line shown, against the grid deadline of its tick.
//
//   sonavela_playback_tick_timing [--ticks N] [--period MS] [--device N]
//
// --device N also measures the system's device N live (0 is the built-in
// synthesizer, which needs an audio output; SONAVELA_AUDIO_DRIVER picks one).

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/adapters.h"
#include "cli/play_loop.h"
#include "cli/terminal.h"
#include "generator/generator.h"
#include "generator/rules.h"
#include "midi/midi_port.h"
#include "midi/recording_backend.h"
#include "midi/synth_renderer.h"
#include "midi/system_backend.h"
#include "playback/playback_control.h"

namespace {

using namespace sonavela;
using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

class CountingList final : public playback::ResultList {
 public:
  void Clear() override { count_ = 0; }
  [[nodiscard]] int Count() const override { return count_; }
  void DeleteFirst() override { --count_; }
  void Append(const std::string&) override { ++count_; }
  void Select(int) override {}

 private:
  int count_ = 0;
};

std::vector<std::string> Lines(const auto& table) {
  std::vector<std::string> lines(table.begin(), table.end());
  return lines;
}

struct Figures {
  std::vector<double> latenessUs;  // one per tick, in tick order
  std::int64_t skipped = 0;
  double totalMs = 0;
};

// Plays `ticks` ticks after Start on `port` and measures each one.
Figures Measure(midi::MidiPort& port, int ticks, std::chrono::milliseconds period,
                cli::StopSignal& stop) {
  generator::ProgressionGenerator generator;
  CountingList results;
  cli::ScheduleTimer timer;
  cli::OptionInputs inputs(49, false, Lines(generator::DefaultConnectionRules),
                           Lines(generator::DefaultSubstitutionRules));
  playback::PlaybackControl control(generator, port, results, timer, inputs);
  control.SetPeriod(period);

  Figures figures;
  figures.latenessUs.reserve(static_cast<std::size_t>(ticks));
  std::int64_t expectedIndex = 1;
  control.SetStepListener([&](const generator::ProgressionStep&, const std::string&) {
    if (!timer.Armed()) {
      return;  // the tonic played by Start, before the timer exists
    }
    const playback::TickSchedule& schedule = timer.Schedule();
    figures.latenessUs.push_back(Micros(Clock::now() - schedule.NextDeadline()).count());
    figures.skipped += schedule.NextIndex() - expectedIndex;
    expectedIndex = schedule.NextIndex() + 1;
  });

  const auto started = Clock::now();
  control.Start();
  cli::RunPlayLoop(control, timer, stop,
                   [&] { return static_cast<int>(figures.latenessUs.size()) >= ticks; });
  control.Stop();
  figures.totalMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  return figures;
}

void Report(const char* name, const Figures& f, int ticks, std::chrono::milliseconds period) {
  if (f.latenessUs.empty()) {
    std::printf("%-34s no ticks measured\n", name);
    return;
  }
  std::vector<double> sorted = f.latenessUs;
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[sorted.size() / 2];
  const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
  const double worst = sorted.back();
  // On a grid the lateness of a tick is the whole drift up to it. Medians of
  // the first and the last 20 ticks keep one preempted tick from posing as
  // drift.
  const auto medianOf = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const std::size_t window = std::min<std::size_t>(20, f.latenessUs.size());
  const double drift =
      medianOf({f.latenessUs.end() - static_cast<std::ptrdiff_t>(window), f.latenessUs.end()}) -
      medianOf({f.latenessUs.begin(), f.latenessUs.begin() + static_cast<std::ptrdiff_t>(window)});
  const double expectedMs = static_cast<double>((ticks + 1) * period.count());
  std::printf("%-34s %5zu %8.1f %8.1f %8.1f %10.1f %5lld %10.1f / %.0f\n", name,
              f.latenessUs.size(), median, p99, worst, drift, static_cast<long long>(f.skipped),
              f.totalMs, expectedMs);
}

std::optional<long> Arg(int argc, char** argv, std::string_view name) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (argv[i] == name) {
      return std::strtol(argv[i + 1], nullptr, 10);
    }
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  const int ticks = static_cast<int>(Arg(argc, argv, "--ticks").value_or(200));
  const std::chrono::milliseconds period{Arg(argc, argv, "--period").value_or(50)};
  const std::optional<long> device = Arg(argc, argv, "--device");
  cli::StopSignal stop;

  std::printf("%d ticks at %lld ms; lateness in microseconds after the grid deadline\n", ticks,
              static_cast<long long>(period.count()));
  std::printf("%-34s %5s %8s %8s %8s %10s %5s %10s\n", "path", "ticks", "median", "p99", "worst",
              "drift*", "skip", "run ms / expected");

  {
    auto log = std::make_shared<midi::MidiLog>();
    midi::MidiPort port(midi::RecordingBackend::WithDevices(1, log));
    if (port.OpenDevice(0)) {
      Report("MidiPort -> recorder", Measure(port, ticks, period, stop), ticks, period);
    }
  }
  {
    midi::MidiPort port(std::make_unique<cli::NoDeviceBackend>());
    Report("MidiPort, no device (--device none)", Measure(port, ticks, period, stop), ticks,
           period);
  }
  if (device && !stop.Requested()) {
    midi::MidiPort port(midi::MakeSystemBackend());
    std::string name = "<Error>";
    (void)port.DeviceName(static_cast<unsigned>(*device), name);
    if (port.OpenDevice(static_cast<unsigned>(*device))) {
      Report(("MidiPort -> " + name).c_str(), Measure(port, ticks, period, stop), ticks, period);
    } else {
      std::printf("%-34s skipped: %s\n", name.c_str(), port.LastError().c_str());
    }
  }

  // The offline renderer has no deadlines; what matters is that it outruns
  // real time by far.
  {
    const std::string wav = "/tmp/sonavela-bench-" + std::to_string(::getpid()) + ".wav";
    auto renderer = std::make_shared<midi::SynthRenderer>();
    midi::MidiPort port(std::make_unique<midi::RendererBackend>(renderer, wav));
    if (port.OpenDevice(0)) {
      generator::ProgressionGenerator generator;
      CountingList results;
      cli::ScheduleTimer timer;
      cli::OptionInputs inputs(49, false, Lines(generator::DefaultConnectionRules),
                               Lines(generator::DefaultSubstitutionRules));
      playback::PlaybackControl control(generator, port, results, timer, inputs);
      const auto started = Clock::now();
      control.Start();
      bool ok = renderer->Advance(period);
      for (int i = 0; ok && i < ticks; ++i) {
        control.Tick(playback::kStepTimerId);
        ok = renderer->Advance(period);
      }
      control.Stop();
      ok = renderer->Finish() && ok;
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
      const double audioMs = static_cast<double>((ticks + 1) * period.count());
      std::printf(
          "offline renderer (--wav): %d chords x %lld ms = %.0f ms of audio in %.1f ms "
          "(%.0fx real time)%s\n",
          ticks + 1, static_cast<long long>(period.count()), audioMs, ms, audioMs / ms,
          ok ? "" : " FAILED");
    } else {
      std::printf("offline renderer skipped: %s\n", port.LastError().c_str());
    }
    std::remove(wav.c_str());
  }
  std::printf("* drift: median lateness of the last 20 ticks minus that of the first 20\n");
  return 0;
}
