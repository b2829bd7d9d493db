// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how exactly chords played through MidiPort on a JACK MIDI port
// arrive on the grid they are played on, measured in frames at a recording
// sink on a private JACK server (dummy driver):
//   midi_jack_timing [chords at 100 ms] [chords at 2000 ms]
// For 48 kHz and 44.1 kHz and periods of 64, 256 and 1024 frames, a thread
// sleeps until each chord's grid time (origin + k x interval) less the
// device's Lookahead() and plays the chord stamped with its grid time, as
// the program does. The onset of a chord is the frame its first message
// (the all-notes-off) came at; its error is the onset against the ideal
// frame, first onset + k x interval x rate: median, largest and drift (last
// minus first), in frames. Goal: every onset within 1 frame, no drift.
//
// A cycle the server misses (an xrun, frequent on a busy machine at small
// periods) costs the dummy driver the time it was late: from then on the
// frame count lags the clock, which the errors above show as if the chords
// had moved. The last column leaves those out: the largest error of one
// chord's spacing (frames against interval x rate) over the intervals no
// xrun touched, and how many those were.
//
// The rows marked "next cycle" send each chord at its grid time stamped as
// already late, which is what every chord met before messages were placed
// at their frames: each went at the first frame of the next cycle.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "harmony/chord.h"
#include "jack_harness.h"
#include "midi/devices/system_backend.h"
#include "midi/port/midi_port.h"

namespace {

using sonavela::midi::MidiClock;
using sonavela::midi::MidiPort;
using sonavela::midi::Timestamp;
using sonavela::midi::testing::JackMidiSink;
using sonavela::midi::testing::JackTestServer;
using std::chrono::milliseconds;

constexpr jack_nframes_t kRates[] = {48000, 44100};
constexpr jack_nframes_t kPeriods[] = {64, 256, 1024};
constexpr std::size_t kMessagesPerChord = 12;  // all notes off and 11 note-ons

struct Figures {
  int chords = 0;
  std::int64_t median = 0;
  std::int64_t largest = 0;  // of the errors' sizes
  std::int64_t drift = 0;
  double spacingSd = 0.0;  // ms
  int xruns = 0;
  // The largest error of one chord's spacing (frames against interval x
  // rate) over the intervals that no missed cycle touched, and how many
  // of them there were.
  std::int64_t cleanLargest = 0;
  int cleanIntervals = 0;
};

// One series of chords from its own client to its own sink.
class Series {
 public:
  Series(int intervalMs, int chords, bool placed)
      : interval_(intervalMs), chords_(chords), placed_(placed) {}

  // Opens the sink and the device; on the main thread, since libjack's
  // start-up is not for several threads at once.
  [[nodiscard]] std::optional<std::string> Open(const std::string& server, const std::string& tag) {
    if (!sink_.Open(server, "sonavela_timing_sink_" + tag)) {
      return sink_.Error();
    }
    sonavela::midi::SystemBackendOptions options;
    options.includeBuiltInSynth = false;
    options.includeVirtualPort = false;
    options.clientName = "sonavela_timing_" + tag;
    port_ = std::make_unique<MidiPort>(sonavela::midi::MakeSystemBackend(options));
    for (unsigned i = 0; i < port_->DeviceCount(); ++i) {
      std::string name;
      if (port_->DeviceName(i, name) && name == sink_.PortName()) {
        if (sonavela::Status opened = port_->OpenDevice(i, MidiClock::now()); !opened) {
          return sonavela::EnglishText(opened.error());
        }
        return std::nullopt;
      }
    }
    return sink_.PortName() + " is not listed";
  }

  // The origin is the same for every series of a configuration.
  void Play(Timestamp origin) {
    const std::chrono::nanoseconds lookahead = placed_ ? port_->Lookahead() : milliseconds(0);
    lookahead_ = lookahead;
    const sonavela::harmony::Chord chords[] = {{{'C', 0}, sonavela::harmony::kMajorTriad},
                                               {{'A', 0}, sonavela::harmony::kMinorTriad}};
    for (int k = 0; k < chords_; ++k) {
      const Timestamp at = origin + k * interval_;
      std::this_thread::sleep_until(at - lookahead);
      port_->PlayChord(chords[k % 2], placed_ ? at : Timestamp{});
    }
  }

  void Discard() { sink_.Discard(); }

  [[nodiscard]] std::optional<Figures> Measure(jack_nframes_t rate, jack_nframes_t period) {
    const std::vector<JackMidiSink::Event> events =
        sink_.WaitForEvents(kMessagesPerChord * chords_, std::chrono::seconds(5));
    std::vector<std::int64_t> onsets;
    for (const JackMidiSink::Event& event : events) {
      if (event.size == 3 && event.bytes[0] == 0xB0 && event.bytes[1] == 0x7B) {
        onsets.push_back(event.frame);
      }
    }
    if (onsets.size() < static_cast<std::size_t>(chords_) || chords_ < 2) {
      return std::nullopt;
    }
    onsets.resize(chords_);
    const std::int64_t step = static_cast<std::int64_t>(interval_.count()) * rate / 1000;
    std::vector<std::int64_t> errors;
    double sum = 0.0;
    double squares = 0.0;
    for (int k = 0; k < chords_; ++k) {
      errors.push_back(onsets[k] - (onsets[0] + k * step));
      if (k > 0) {
        const double spacing = 1000.0 * static_cast<double>(onsets[k] - onsets[k - 1]) / rate;
        sum += spacing;
        squares += spacing * spacing;
      }
    }
    Figures figures;
    figures.chords = chords_;
    figures.drift = errors.back() - errors.front();
    for (const std::int64_t error : errors) {
      figures.largest = std::max(figures.largest, std::abs(error));
    }
    std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
    figures.median = errors[errors.size() / 2];
    const double n = chords_ - 1;
    figures.spacingSd = std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n)));
    // The server notices a missed cycle a little after it.
    const std::vector<jack_nframes_t> xruns = sink_.Xruns();
    figures.xruns = static_cast<int>(xruns.size());
    for (int k = 1; k < chords_; ++k) {
      const bool touched = std::any_of(xruns.begin(), xruns.end(), [&](jack_nframes_t frame) {
        return frame + std::int64_t{period} >= onsets[k - 1] && frame <= onsets[k] + 4 * period;
      });
      if (!touched) {
        ++figures.cleanIntervals;
        figures.cleanLargest =
            std::max(figures.cleanLargest, std::abs(onsets[k] - onsets[k - 1] - step));
      }
    }
    return figures;
  }

  [[nodiscard]] milliseconds Interval() const { return interval_; }
  [[nodiscard]] bool Placed() const { return placed_; }
  [[nodiscard]] std::chrono::nanoseconds Lookahead() const { return lookahead_; }
  void Close() { port_.reset(); }

 private:
  milliseconds interval_;
  int chords_;
  bool placed_;
  std::chrono::nanoseconds lookahead_{};
  JackMidiSink sink_;
  std::unique_ptr<MidiPort> port_;
};

int Count(int argc, char** argv, int index, int fallback) {
  return argc > index ? std::max(2, std::atoi(argv[index])) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int shortChords = Count(argc, argv, 1, 200);
  const int longChords = Count(argc, argv, 2, 30);
  const std::string serverName = "sonavela_timing_" + std::to_string(getpid());
  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);

  std::printf("onset error in frames against first onset + k x interval x rate\n");
  std::printf("%6s %6s %9s %-11s %6s %10s %7s %4s %6s %11s %5s %16s\n", "rate", "period",
              "interval", "placed", "chords", "lookahead", "median", "max", "drift", "spacing sd",
              "xruns", "step w/o xrun");
  bool allWithinAFrame = true;
  for (const jack_nframes_t rate : kRates) {
    for (const jack_nframes_t period : kPeriods) {
      // One name for every configuration: JACK keeps few server slots.
      JackTestServer server;
      if (!server.Start(serverName, std::chrono::seconds(15), period, rate, true)) {
        std::fprintf(stderr, "%s\n", server.Error().c_str());
        return 1;
      }
      // The server's estimate of its cycles' times settles over its first
      // seconds (by some frames at 1024 a period), as it has long since done
      // on a server that has been running.
      std::this_thread::sleep_for(std::chrono::seconds(4));
      // The series share the server and play side by side.
      std::vector<std::unique_ptr<Series>> series;
      series.push_back(std::make_unique<Series>(100, shortChords, true));
      series.push_back(std::make_unique<Series>(2000, longChords, true));
      series.push_back(std::make_unique<Series>(100, shortChords, false));
      for (std::size_t i = 0; i < series.size(); ++i) {
        if (std::optional<std::string> error = series[i]->Open(serverName, std::to_string(i))) {
          std::fprintf(stderr, "%s\n", error->c_str());
          return 1;
        }
      }
      // The opens' all-notes-off are no onsets.
      std::this_thread::sleep_for(milliseconds(200));
      for (const auto& one : series) {
        one->Discard();
      }
      const Timestamp origin = MidiClock::now() + milliseconds(300);
      std::vector<std::thread> players;
      for (const auto& one : series) {
        players.emplace_back([&one, origin] { one->Play(origin); });
      }
      for (std::thread& player : players) {
        player.join();
      }
      std::this_thread::sleep_for(milliseconds(200));
      for (const auto& one : series) {
        const std::optional<Figures> figures = one->Measure(rate, period);
        one->Close();
        if (!figures) {
          std::fprintf(stderr, "%u Hz, %u frames: chords went missing\n", rate, period);
          return 1;
        }
        if (one->Placed()) {
          allWithinAFrame = allWithinAFrame && figures->largest <= 1 && figures->drift == 0;
        }
        std::printf(
            "%6u %6u %6lld ms %-11s %6d %7.2f ms %7lld %4lld %6lld %8.3f ms %5d %6lld (%4d)\n",
            rate, period, static_cast<long long>(one->Interval().count()),
            one->Placed() ? "at frame" : "next cycle", figures->chords,
            std::chrono::duration<double, std::milli>(one->Lookahead()).count(),
            static_cast<long long>(figures->median), static_cast<long long>(figures->largest),
            static_cast<long long>(figures->drift), figures->spacingSd, figures->xruns,
            static_cast<long long>(figures->cleanLargest), figures->cleanIntervals);
      }
      std::fflush(stdout);
    }
  }
  std::printf("every placed onset within 1 frame, no drift: %s\n", allWithinAFrame ? "yes" : "no");
  return 0;
}
