// SPDX-License-Identifier: GPL-3.0-or-later
// sonavela-cli in an Ableton Link session, with LinkHut as the other peer
// and a peer of the test's own that only watches the session's timeline.
// What the program plays goes to a private JACK server; the frames a sink
// received are put back on Link's clock, so that every onset is measured
// against the session's beat grid. The whole binary runs in a network
// namespace of its own, with only the loopback: nothing leaves the machine.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ableton/Link.hpp>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "jack_harness.h"
#include "link_peers.h"
#include "subprocess.h"

namespace sonavela::cli {
namespace {

using namespace std::chrono_literals;
using midi::testing::JackMidiSink;
using Events = std::vector<JackMidiSink::Event>;

// 21 ms at 48 kHz: a busy machine rarely makes the server miss a cycle.
constexpr jack_nframes_t kPeriod = 1024;
constexpr double kPeriodUs = kPeriod * 1e6 / 48000;
// Notes closer than a millisecond belong to one chord.
constexpr jack_nframes_t kFramesOfAChord = 48;
// Far above the goal of 1 ms, far below a period's or a beat's error.
constexpr double kGridToleranceUs = 2000;

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// Microseconds from the nearest point of the grid of `step` beats, in phase
// with the session's `quantum`.
double GridError(const ableton::Link::SessionState& session, double at, double quantum,
                 double step) {
  if (std::isnan(at)) {
    return at;
  }
  const std::chrono::microseconds time(std::llround(at));
  const double point = std::round(session.beatAtTime(time, quantum) / step) * step;
  return at - static_cast<double>(session.timeAtBeat(point, quantum).count());
}

struct Figures {
  double median = 0;
  double max = 0;
};

Figures Spread(std::vector<double> errors) {
  std::erase_if(errors, [](double e) { return std::isnan(e); });
  for (double& e : errors) {
    e = std::abs(e);
  }
  std::sort(errors.begin(), errors.end());
  return errors.empty() ? Figures{} : Figures{errors[errors.size() / 2], errors.back()};
}

class CliLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::optional<std::string> why = testing::WhyNotPrivateNetwork()) {
      FAIL() << "refusing to run Link on the machine's network: " << *why;
    }
  }

  // A private JACK server, a sink for the program, and the log that puts
  // the sink's frames on Link's clock.
  void StartJack() {
    const std::string pid = std::to_string(::getpid());
    const std::string server = "sonavela_link_" + pid;
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    ASSERT_TRUE(server_.Start(server, 15s, kPeriod)) << server_.Error();
    ASSERT_TRUE(sink_.Open(server, "sonavela_daw_" + pid)) << sink_.Error();
    ASSERT_TRUE(cycles_.Open(server, "sonavela_cycles_" + pid));
    const testing::ProcessResult listing =
        testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"});
    device_ = testing::IndexInListing(listing.out, sink_.PortName());
    ASSERT_FALSE(device_.empty()) << sink_.PortName() << " not in\n" << listing.out;
  }

  // The times on Link's clock of the messages whose status byte is `status`;
  // for chords (note on), only the first note of each: a chord's notes may
  // straddle two frames.
  std::vector<double> Times(const Events& events, std::uint8_t status) const {
    std::vector<double> times;
    jack_nframes_t last = 0;
    for (const JackMidiSink::Event& event : events) {
      if (event.size == 0 || event.bytes[0] != status) {
        continue;
      }
      if (status != 0x90 || times.empty() || event.frame - last > kFramesOfAChord) {
        times.push_back(cycles_.MessageTime(event.frame).value_or(std::nan("")));
      }
      last = event.frame;
    }
    return times;
  }

  // What the program sent; the server's missed cycles are noted first.
  Events Received() {
    const Events events = sink_.WaitForEvents(1 << 20, 300ms);
    for (const jack_nframes_t frame : sink_.Xruns()) {
      xruns_.push_back(cycles_.MessageTime(frame).value_or(std::nan("")));
    }
    if (!xruns_.empty()) {
      std::printf("the server missed %zu cycles: what it played near them is not measured\n",
                  xruns_.size());
    }
    return events;
  }

  // Whether [from, to] is clear of missed cycles, each of which breaks the
  // count of frames against the clock.
  [[nodiscard]] bool Measurable(double from, double to) const {
    return !std::isnan(from + to) && std::none_of(xruns_.begin(), xruns_.end(), [&](double x) {
      return std::isnan(x) || (x > from - 2 * kPeriodUs && x < to + 2 * kPeriodUs);
    });
  }

  midi::testing::JackTestServer server_;
  JackMidiSink sink_;
  testing::JackCycleLog cycles_;
  std::string device_;
  std::vector<double> xruns_;
};

TEST_F(CliLinkTest, FollowsTheTempoGridAndStartStopOfALinkHutSession) {
  ASSERT_NO_FATAL_FAILURE(StartJack());
  testing::LinkHut hut;
  std::string error;
  ASSERT_TRUE(hut.Start(error)) << error;
  using Status = testing::LinkHut::Status;
  ASSERT_TRUE(hut.PressUntil("a", [](const Status& s) { return s.enabled; }));
  // When two sessions meet, Link has the older win, by more than half a
  // second; else the lower session id.
  const auto founded = std::chrono::steady_clock::now();
  ASSERT_TRUE(hut.PressUntil("s", [](const Status& s) { return s.startStopSync; }));
  for (int bpm = 119; bpm >= 100; --bpm) {
    ASSERT_TRUE(hut.PressUntil("w", [&](const Status& s) {
      return std::abs(s.tempo - bpm) < 0.01;
    })) << bpm;
  }
  std::this_thread::sleep_until(founded + 1500ms);
  ableton::Link watcher(60);
  watcher.enableStartStopSync(true);
  watcher.enable(true);
  const auto session = [&] { return watcher.captureAppSessionState(); };
  ASSERT_TRUE(WaitFor(
      [&] { return watcher.numPeers() == 1 && std::abs(session().tempo() - 100) < 1e-6; }, 5s))
      << "the watcher sees " << watcher.numPeers() << " peers at " << session().tempo()
      << " BPM; LinkHut " << (hut.Read() ? hut.Read()->peers : -1) << " peers";

  // LinkHut stops the session in the middle of the 5th chord and starts it
  // again 1.5 s later; the program plays three chords more.
  constexpr double kChordUs = 1.2e6;  // two beats at 100 BPM
  std::atomic<bool> done = false;
  double stoppedAt = 0;
  double startedAt = 0;
  std::thread peer([&] {
    const auto playing = [&] { return session().isPlaying(); };
    if (WaitFor(playing, 10s)) {
      std::this_thread::sleep_for(4 * 1200ms);
      (void)WaitFor(
          [&] { return std::abs(session().phaseAtTime(watcher.clock().micros(), 2) - 1) < 0.1; },
          2s);
      hut.Press(" ");
      if (WaitFor([&] { return !playing(); }, 2s)) {
        stoppedAt = static_cast<double>(session().timeForIsPlaying().count());
      }
      std::this_thread::sleep_for(1500ms);
      hut.Press(" ");
      if (WaitFor(playing, 2s)) {
        startedAt = static_cast<double>(session().timeForIsPlaying().count());
      }
      std::this_thread::sleep_for(3 * 1200ms + 300ms);
    }
    done = true;
  });
  testing::ProcessOptions options;
  options.trigger = [&](const std::string&) { return done.load(); };
  options.signal = SIGINT;
  options.timeout = 40s;
  const testing::ProcessResult r = testing::RunProgram(
      SONAVELA_CLI_PATH,
      {"--sync", "link", "--tempo", "140", "--beats-per-chord", "2", "--device", device_}, options);
  peer.join();
  EXPECT_TRUE(testing::EndedBy(r, SIGINT)) << r.exited << " " << r.status;
  EXPECT_EQ(r.err,
            "sonavela-cli: note: joined a Link session of 2 other peers at 100 BPM\n"
            "sonavela-cli: note: a Link peer stopped the session; waiting for it to start again\n"
            "sonavela-cli: note: a Link peer started the session\n");
  ASSERT_GT(stoppedAt, 0)
      << "the program never set the session playing, or LinkHut's stop was lost";
  ASSERT_GT(startedAt, stoppedAt);
  EXPECT_TRUE(WaitFor([&] { return !session().isPlaying(); }, 2s))
      << "the program's own stop did not stop the session";
  EXPECT_TRUE(hut.Read() && !hut.Read()->playing);

  const Events events = Received();
  const std::vector<double> onsets = Times(events, 0x90);
  const auto before =
      std::count_if(onsets.begin(), onsets.end(), [&](double t) { return t < stoppedAt; });
  ASSERT_GE(before, 4);
  ASSERT_GE(onsets.size() - static_cast<std::size_t>(before), 3U);
  const double restart = onsets[static_cast<std::size_t>(before)];
  EXPECT_GE(restart, startedAt) << "silent from the stop until the session played again";
  EXPECT_LT(restart, startedAt + kChordUs) << "back on the first bar after the start";
  EXPECT_EQ(Times(events, 0xC0).size(), 2U) << "the start after the stop is a fresh one";
  const std::vector<double> silences = Times(events, 0xB0);
  EXPECT_TRUE(std::any_of(silences.begin(), silences.end(), [&](double t) {
    return t >= stoppedAt - 1000 && t < stoppedAt + 50'000;
  })) << "silenced when the peer stopped";

  const ableton::Link::SessionState grid = session();
  std::vector<double> errors;
  for (std::size_t i = 0; i < onsets.size(); ++i) {
    if (!Measurable(onsets[i], onsets[i])) {
      continue;
    }
    errors.push_back(GridError(grid, onsets[i], 2, 2));
    EXPECT_LT(std::abs(errors.back()), kGridToleranceUs) << "chord " << i << " off the bars";
    if (i > 0 && i != static_cast<std::size_t>(before) && Measurable(onsets[i - 1], onsets[i])) {
      EXPECT_NEAR(onsets[i] - onsets[i - 1], kChordUs, kGridToleranceUs) << "at LinkHut's tempo";
    }
  }
  const Figures figures = Spread(errors);
  std::printf(
      "onsets against the bars of LinkHut's session, %zu chords measured: median %.0f us, max %.0f "
      "us\n",
      errors.size(), figures.median, figures.max);
}

TEST_F(CliLinkTest, LeadsALoneSessionAtItsTempoAndPlaysOnItsBeatGrid) {
  ASSERT_NO_FATAL_FAILURE(StartJack());
  constexpr int kChords = 200;
  ableton::Link watcher(60);
  watcher.enableStartStopSync(true);
  testing::ProcessOptions options;
  // The watcher comes once the program leads a session of its own.
  options.trigger = [&](const std::string& out) {
    if (!watcher.isEnabled() && testing::CountLines(out) >= 1) {
      watcher.enable(true);
    }
    return testing::CountLines(out) >= kChords;
  };
  options.signal = SIGINT;
  options.timeout = 60s;
  const testing::ProcessResult r =
      testing::RunProgram(SONAVELA_CLI_PATH,
                          {"--sync", "link", "--tempo", "400", "--beats-per-chord", "1",
                           "--clock-out", "--device", device_},
                          options);
  EXPECT_TRUE(testing::EndedBy(r, SIGINT)) << r.exited << " " << r.status;
  EXPECT_EQ(r.err,
            "sonavela-cli: note: no other Link peer answered; leading a session at 400 BPM\n");
  const ableton::Link::SessionState grid = watcher.captureAppSessionState();
  EXPECT_NEAR(grid.tempo(), 400, 1e-6) << "the newcomer takes the tempo of the session it found";

  const Events events = Received();
  const std::vector<double> onsets = Times(events, 0x90);
  ASSERT_GE(onsets.size() + xruns_.size(), static_cast<std::size_t>(kChords));
  std::vector<double> errors;
  for (std::size_t i = 0; i < onsets.size(); ++i) {
    if (Measurable(onsets[i], onsets[i])) {
      errors.push_back(GridError(grid, onsets[i], 1, 1));
      EXPECT_LT(std::abs(errors.back()), kGridToleranceUs) << "chord " << i;
    }
  }
  const std::vector<double> pulses = Times(events, 0xF8);
  ASSERT_FALSE(pulses.empty());
  EXPECT_NEAR(pulses.front(), onsets.front(), 50) << "the clock starts with the first chord";
  for (std::size_t i = 0; i + 1 < onsets.size(); ++i) {
    if (!Measurable(onsets[i], onsets[i + 1])) {
      continue;
    }
    EXPECT_EQ(std::count_if(pulses.begin(), pulses.end(),
                            [&](double p) { return p >= onsets[i] && p < onsets[i + 1]; }),
              24)
        << "pulses in beat " << i;
  }
  std::vector<double> pulseErrors;
  for (const double pulse : pulses) {
    if (Measurable(pulse, pulse)) {
      pulseErrors.push_back(GridError(grid, pulse, 1, 1.0 / 24));
      EXPECT_LT(std::abs(pulseErrors.back()), kGridToleranceUs) << "a clock pulse off the beat";
    }
  }
  const Figures chords = Spread(errors);
  const Figures clock = Spread(pulseErrors);
  std::printf(
      "onsets against the beats at 400 BPM, %zu chords measured: median %.0f us, max %.0f us\n",
      errors.size(), chords.median, chords.max);
  std::printf(
      "MIDI clock against the 24ths of a beat, %zu pulses measured: median %.0f us, max %.0f us\n",
      pulseErrors.size(), clock.median, clock.max);
}

TEST_F(CliLinkTest, ANetworkThatCannotCarryLinkIsAFailure) {
  // Held without SO_REUSEADDR, the discovery port is closed to Link.
  const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(20808);
  std::vector<std::string> nested{"--net"};
  if (::geteuid() != 0) {
    nested.emplace_back("--map-root-user");
  }
  nested.emplace_back(SONAVELA_CLI_PATH);
  const std::vector<std::string> link{"--sync", "link", "--device", "none"};
  nested.insert(nested.end(), link.begin(), link.end());
  const struct {
    const char* what;
    std::string program;
    std::vector<std::string> args;
    std::string reason;
  } cases[] = {
      {"no interface up", "/usr/bin/unshare", nested,
       "no network interface with an IPv4 address is up"},
      {"the discovery port taken", SONAVELA_CLI_PATH, link,
       "cannot open UDP port 20808, where Link peers find each other: Address already in use"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.program == SONAVELA_CLI_PATH) {
      ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
    }
    const testing::ProcessResult r = testing::RunProgram(c.program, c.args);
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "sonavela-cli: --sync link: cannot join an Ableton Link session: " + c.reason + "\n");
  }
  ::close(holder);
}

}  // namespace
}  // namespace sonavela::cli

int main(int argc, char** argv) {
  const int status = sonavela::cli::testing::RunInPrivateNetwork(argc, argv);
  if (status >= 0) {
    return status;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
