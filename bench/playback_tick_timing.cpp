// SPDX-License-Identifier: GPL-3.0-or-later
// Chord timing through the real playback path: a session on the steady
// clock's grid driven by the command line's loop (self-pipe wait), playing
// every chord through a MidiPort. Lateness is taken when a chord has been
// sent and its line shown, against the grid time of its chord.
//
//   sonavela_playback_tick_timing [--ticks N] [--period MS] [--device N]
//
// --device N also measures the system's device N live (0 is the built-in
// synthesizer, which needs an audio output; SONAVELA_AUDIO_DRIVER picks one).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/play_loop.h"
#include "cli/terminal.h"
#include "midi/devices/system_backend.h"
#include "midi/files/byte_sink.h"
#include "midi/files/synth_renderer.h"
#include "playback/session.h"
#include "timing/chord_clock.h"

namespace {

using namespace sonavela;
using Clock = midi::MidiClock;
using Micros = std::chrono::duration<double, std::micro>;

class DiscardingSink final : public midi::ByteSink {
 public:
  Status Append(std::span<const std::uint8_t>) override { return {}; }
  Status Overwrite(std::uint64_t, std::span<const std::uint8_t>) override { return {}; }
};

struct Figures {
  std::vector<double> latenessUs;  // one per tick, in tick order
  std::int64_t skipped = 0;
  double totalMs = 0;
};

// Plays `ticks` ticks after Start on device `index` of `devices` (none when
// empty) and measures each one.
Figures Measure(std::unique_ptr<midi::MidiBackend> devices, std::optional<unsigned> index,
                int ticks, std::chrono::milliseconds period, cli::StopSignal& stop,
                std::string& name) {
  playback::SessionOptions options;
  options.devices = std::move(devices);
  options.clock = std::make_unique<timing::GridClock>(period);
  playback::PlaybackSession session(std::move(options));
  if (index) {
    (void)session.DeviceName(*index, name);
    if (Status opened = session.OpenDevice(*index); !opened) {
      name += " (cannot open: " + EnglishText(opened.error()) + ")";
      return {};
    }
  }

  Figures figures;
  figures.latenessUs.reserve(static_cast<std::size_t>(ticks));
  playback::Timestamp due{};
  session.SetStepListener([&](const generator::ProgressionStep&, const std::string&) {
    if (session.Running()) {
      figures.latenessUs.push_back(Micros(Clock::now() - due).count());
    }
  });

  const auto started = Clock::now();
  session.Start();
  playback::Timestamp previous = session.NextChordDue() - period;
  cli::RunPlayLoop(
      session, [&](playback::Timestamp at) { return stop.WaitUntil(at); },
      [&] {
        due = session.NextChordDue();
        figures.skipped += (due - previous) / period - 1;
        previous = due;
        return static_cast<int>(figures.latenessUs.size()) < ticks;
      });
  session.Stop();
  (void)session.CloseDevice();
  figures.totalMs = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  return figures;
}

void Report(const std::string& name, const Figures& f, int ticks,
            std::chrono::milliseconds period) {
  if (f.latenessUs.empty()) {
    std::printf("%-34s no ticks measured\n", name.c_str());
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
  std::printf("%-34s %5zu %8.1f %8.1f %8.1f %10.1f %5lld %10.1f / %.0f\n", name.c_str(),
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

// The offline renderer has no deadlines; what matters is that it outruns
// real time by far.
void MeasureOffline(int ticks, std::chrono::milliseconds period) {
  DiscardingSink wav;
  playback::SessionOptions options;
  options.devices =
      std::make_unique<midi::RendererBackend>(std::make_shared<midi::SynthRenderer>(), wav);
  options.clock = std::make_unique<timing::OfflineClock>(period);
  playback::PlaybackSession session(std::move(options));
  if (Status opened = session.OpenDevice(0); !opened) {
    std::printf("offline renderer skipped: %s\n", EnglishText(opened.error()).c_str());
    return;
  }
  const auto started = Clock::now();
  session.Start();
  int played = 1;
  cli::RunPlayLoop(
      session, [](playback::Timestamp) { return false; }, [&] { return played++ <= ticks; });
  session.Stop();
  const bool ok = session.CloseDevice().ok();
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
  const double audioMs = static_cast<double>((ticks + 1) * period.count());
  std::printf(
      "offline renderer (--wav): %d chords x %lld ms = %.0f ms of audio in %.1f ms "
      "(%.0fx real time)%s\n",
      ticks + 1, static_cast<long long>(period.count()), audioMs, ms, audioMs / ms,
      ok ? "" : " FAILED");
}

}  // namespace

int main(int argc, char** argv) {
  const int ticks = static_cast<int>(Arg(argc, argv, "--ticks").value_or(200));
  const std::chrono::milliseconds period{Arg(argc, argv, "--period").value_or(50)};
  const std::optional<long> device = Arg(argc, argv, "--device");
  cli::StopSignal stop;

  std::printf("%d ticks at %lld ms; lateness in microseconds after the chord's grid time\n", ticks,
              static_cast<long long>(period.count()));
  std::printf("%-34s %5s %8s %8s %8s %10s %5s %10s\n", "path", "ticks", "median", "p99", "worst",
              "drift*", "skip", "run ms / expected");
  {
    std::string name = "session, no device (--device none)";
    const Figures figures = Measure(nullptr, std::nullopt, ticks, period, stop, name);
    Report(name, figures, ticks, period);
  }
  if (device && !stop.Requested()) {
    std::string name = "<Error>";
    const Figures figures = Measure(midi::MakeSystemBackend(), static_cast<unsigned>(*device),
                                    ticks, period, stop, name);
    Report("session -> " + name, figures, ticks, period);
  }
  MeasureOffline(ticks, period);
  std::printf("* drift: median lateness of the last 20 ticks minus that of the first 20\n");
  return 0;
}
