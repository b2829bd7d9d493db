// SPDX-License-Identifier: GPL-3.0-or-later
// sonavela-cli and MIDI beat clock on a private JACK server: following
// jack_midi_clock, which turns the JACK transport (driven by jack_transport)
// into clock, Start and Stop; and sending clock of its own with --clock-out.
// Two recording clients see what the master sent and what the program
// played, on the server's one frame counter.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "jack_harness.h"
#include "subprocess.h"

namespace sonavela::cli {
namespace {

using midi::testing::JackMidiSink;
using midi::testing::JackTestServer;
using testing::CountLines;

constexpr std::chrono::seconds kServerStart{15};
constexpr jack_nframes_t kRate = 48000;
// Short, for figures that tell the program's own delay; the test of --clock-out
// takes the harness's longer period, which a busy machine keeps more easily.
constexpr jack_nframes_t kPeriod = 128;
constexpr jack_nframes_t kLongPeriod = 1024;
const std::string kMasterPort = "jack_midi_clock:mclk_out";

// A private server with jack_midi_clock on it, its output recorded by
// `master`, and `daw` for the program to play into.
struct Stage {
  JackTestServer server;
  JackMidiSink master;
  JackMidiSink daw;
  std::unique_ptr<midi::testing::JackTool> clock;

  void SetUp(const std::string& tag, const std::string& clockArgs,
             jack_nframes_t period = kPeriod) {
    const std::string pid = std::to_string(::getpid());
    const std::string name = "sonavela_mclk_" + tag + pid;
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    // Real-time where the system grants it: a client that misses its
    // cycle loses that cycle's input, and the clock with it.
    ASSERT_TRUE(server.Start(name, kServerStart, period, kRate, true)) << server.Error();
    ASSERT_TRUE(daw.Open(name, "sonavela_daw_" + pid)) << daw.Error();
    ASSERT_TRUE(master.Open(name, "sonavela_tap_" + pid)) << master.Error();
    clock = std::make_unique<midi::testing::JackTool>("jack_midi_clock " + clockArgs, false);
    // Its port is there before the client is active, and only an active
    // client's port can be connected.
    bool connected = false;
    for (int i = 0; i < 400 && !connected; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      connected = master.ConnectFrom(kMasterPort, std::chrono::seconds(1));
    }
    ASSERT_TRUE(connected) << "jack_midi_clock (package jack-midi-clock): " << master.Error();
  }
};

std::vector<jack_nframes_t> FramesOf(const std::vector<JackMidiSink::Event>& events,
                                     std::uint8_t status, jack_nframes_t from = 0,
                                     jack_nframes_t to = ~0U) {
  std::vector<jack_nframes_t> frames;
  for (const JackMidiSink::Event& e : events) {
    if (e.size > 0 && e.bytes[0] == status && e.frame >= from && e.frame < to) {
      frames.push_back(e.frame);
    }
  }
  return frames;
}

// The clocks after the first Start and before the Stop after it, in the
// order they came: the last ones may share the Stop's frame.
std::size_t ClocksOfFirstRoll(const std::vector<JackMidiSink::Event>& events) {
  std::size_t clocks = 0;
  bool rolling = false;
  for (const JackMidiSink::Event& e : events) {
    const std::uint8_t status = e.size > 0 ? e.bytes[0] : 0;
    if (status == 0xFC && rolling) {
      return clocks;
    }
    rolling = rolling || status == 0xFA;
    clocks += rolling && status == 0xF8 ? 1 : 0;
  }
  return 0;
}

// The frame of each chord: its first note-on.
std::vector<jack_nframes_t> Onsets(const std::vector<JackMidiSink::Event>& events,
                                   jack_nframes_t to) {
  std::vector<jack_nframes_t> onsets;
  bool inChord = false;
  for (const JackMidiSink::Event& e : events) {
    const bool noteOn = e.size == 3 && (e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] > 0;
    if (noteOn && !inChord && e.frame < to) {
      onsets.push_back(e.frame);
    }
    if (e.size > 0 && e.bytes[0] < 0xF8) {
      inChord = noteOn;
    }
  }
  return onsets;
}

double Ms(double frames) {
  return frames * 1000.0 / kRate;
}

TEST(CliMidiClockTest, FollowsTheMasterChordForChordAndPassesItsClockOn) {
  const char* longer = std::getenv("SONAVELA_MIDI_CLOCK_CHORDS");
  const struct {
    const char* what;
    int beatsPerChord;
    int chords;
    std::string clockArgs;
  } cases[] = {
      {"steady", 1, longer != nullptr ? std::atoi(longer) : 16, ""},
      {"jitter", 2, 8, "--jitter-level 15"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Stage stage;
    ASSERT_NO_FATAL_FAILURE(stage.SetUp(c.what, c.clockArgs));
    midi::testing::JackTool transport("jack_transport", true);
    EXPECT_TRUE(transport.Say("master"));
    EXPECT_TRUE(transport.Say("tempo 240"));
    EXPECT_TRUE(transport.Say("locate 0"));
    const testing::ProcessResult listing =
        testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"});
    const std::string device = testing::IndexInListing(listing.out, stage.daw.PortName());
    ASSERT_FALSE(device.empty()) << stage.daw.PortName() << " not in\n" << listing.out;

    std::atomic<bool> finishing{false};
    int linesBefore = 0;  // the runner's thread only
    testing::ProcessOptions options;
    options.trigger = [&](const std::string& out) {
      if (!finishing.load()) {
        linesBefore = CountLines(out);
        return false;
      }
      return CountLines(out) > linesBefore;
    };
    options.signal = SIGINT;
    options.timeout = std::chrono::seconds(30 + c.chords * c.beatsPerChord / 4);
    testing::ProcessResult run;
    std::thread player([&] {
      run = testing::RunProgram(
          SONAVELA_CLI_PATH,
          {"--sync", "midi-clock", "--clock-from", kMasterPort, "--device", device,
           "--beats-per-chord", std::to_string(c.beatsPerChord), "--clock-out"},
          options);
    });
    // The program opens its output after its clock input: a first message
    // says it listens.
    (void)stage.daw.WaitForEvents(1, std::chrono::seconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(transport.Say("play"));
    std::this_thread::sleep_for(std::chrono::milliseconds(c.chords * c.beatsPerChord * 250 + 100));
    EXPECT_TRUE(transport.Say("stop"));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    // A fresh start prints a line, on which the program is interrupted.
    finishing = true;
    EXPECT_TRUE(transport.Say("locate 0"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(transport.Say("play"));
    player.join();
    EXPECT_TRUE(transport.Say("stop"));
    EXPECT_TRUE(transport.Say("quit"));
    EXPECT_TRUE(testing::EndedBy(run, SIGINT)) << run.err;

    const std::vector<JackMidiSink::Event> sent = stage.master.WaitForEvents(0, {});
    const std::vector<jack_nframes_t> starts = FramesOf(sent, 0xFA);
    const std::vector<jack_nframes_t> stops = FramesOf(sent, 0xFC);
    ASSERT_GE(starts.size(), 2U);
    ASSERT_GE(stops.size(), 1U);
    const std::vector<jack_nframes_t> clocks = FramesOf(sent, 0xF8, starts[0], stops[0]);
    const std::size_t perChord = 24 * static_cast<std::size_t>(c.beatsPerChord);
    std::vector<jack_nframes_t> boundaries;
    for (std::size_t i = 0; i < clocks.size(); i += perChord) {
      boundaries.push_back(clocks[i]);
    }

    const std::vector<JackMidiSink::Event> played = stage.daw.WaitForEvents(0, {});
    const std::vector<jack_nframes_t> onsets = Onsets(played, starts[1]);
    // A cycle that JACK could not keep (an xrun) loses its input to a
    // client, a clock with it, and counts the boundaries anew: the exact
    // checks hold where JACK kept time.
    std::size_t xruns = 0;
    for (jack_nframes_t frame : stage.daw.Xruns()) {
      xruns += frame >= starts[0] && frame < starts[1] ? 1 : 0;
    }
    if (xruns > 0) {
      std::printf("%s: %zu xruns; chords counted from there may be a clock late\n", c.what, xruns);
    }
    const std::size_t slack = std::min<std::size_t>(xruns, 2);
    ASSERT_LE(onsets.size(), boundaries.size()) << "one chord per " << perChord << " clocks";
    ASSERT_GE(onsets.size() + slack, boundaries.size())
        << "one chord per " << perChord << " clocks";
    EXPECT_EQ(CountLines(run.out), static_cast<int>(onsets.size()) + 1) << "and a restart";
    const double chordFrames = 60.0 / 240 * c.beatsPerChord * kRate;
    std::vector<double> errors;
    for (std::size_t k = 0; k < onsets.size(); ++k) {
      const double error = static_cast<double>(onsets[k]) - boundaries[k];
      if (xruns == 0) {
        // The boundary clock's frame plus the output's one period, exactly.
        EXPECT_NEAR(error, kPeriod, 1.0) << "chord " << k;
      } else {
        EXPECT_LT(std::abs(error), chordFrames / 2) << "chord " << k << " far from its clock";
      }
      errors.push_back(error);
    }
    // Stop silences: after the last chord's notes, all notes off (and no
    // chord more, as counted above).
    bool silenced = false;
    for (const JackMidiSink::Event& e : played) {
      if (e.frame < starts[1] && e.size == 3 && (e.bytes[0] & 0xF0) == 0x90) {
        silenced = false;
      } else if (e.frame < starts[1] && e.size == 3 && e.bytes[0] == 0xB0 && e.bytes[1] == 0x7B) {
        silenced = true;
      }
    }
    EXPECT_TRUE(silenced);
    // The clock goes on as it came: Start, every pulse of the master, Stop.
    const std::size_t forwarded = ClocksOfFirstRoll(played);
    EXPECT_LE(forwarded, ClocksOfFirstRoll(sent));
    EXPECT_GE(forwarded + slack, ClocksOfFirstRoll(sent));

    std::sort(errors.begin(), errors.end());
    std::printf("%s: %zu chords at 240 BPM, %d beat(s) each, period %u frames at %u Hz\n", c.what,
                errors.size(), c.beatsPerChord, kPeriod, kRate);
    std::printf(
        "  onset - (boundary clock + period): min %.3f, median %.3f, 90%% %.3f, max %.3f ms\n",
        Ms(errors.front() - kPeriod), Ms(errors[errors.size() / 2] - kPeriod),
        Ms(errors[errors.size() * 9 / 10] - kPeriod), Ms(errors.back() - kPeriod));
  }
}

TEST(CliMidiClockTest, ClockOutSendsStartPulsesAtTheTempoAndStop) {
  Stage stage;
  ASSERT_NO_FATAL_FAILURE(stage.SetUp("out", "", kLongPeriod));
  const testing::ProcessResult listing = testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"});
  const std::string device = testing::IndexInListing(listing.out, stage.daw.PortName());
  ASSERT_FALSE(device.empty()) << stage.daw.PortName() << " not in\n" << listing.out;
  const testing::ProcessResult r = testing::RunProgram(
      SONAVELA_CLI_PATH, {"--sync", "internal", "--tempo", "120", "--beats-per-chord", "1",
                          "--steps", "4", "--clock-out", "--device", device});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<JackMidiSink::Event> played = stage.daw.WaitForEvents(0, {});
  const std::vector<jack_nframes_t> starts = FramesOf(played, 0xFA);
  const std::vector<jack_nframes_t> stops = FramesOf(played, 0xFC);
  ASSERT_EQ(starts.size(), 1U);
  ASSERT_EQ(stops.size(), 1U);
  const std::vector<jack_nframes_t> pulses = FramesOf(played, 0xF8);
  std::ostringstream seen;
  for (jack_nframes_t frame : pulses) {
    seen << ' ' << static_cast<std::int64_t>(frame - starts[0]);
  }
  ASSERT_EQ(pulses.size(), 4U * 24)
      << "24 a beat for four one-beat chords; after Start at:" << seen.str() << "; Stop at "
      << stops[0] - starts[0];
  EXPECT_GE(pulses.front(), starts[0]);
  EXPECT_LT(pulses.back(), stops[0]);
  std::vector<jack_nframes_t> gaps;
  for (std::size_t i = 1; i < pulses.size(); ++i) {
    gaps.push_back(pulses[i] - pulses[i - 1]);
  }
  std::sort(gaps.begin(), gaps.end());
  // Within 2%: frames are time only as far as the dummy driver keeps up.
  EXPECT_NEAR(gaps[gaps.size() / 2], kRate / 48.0, 20.0) << "120 BPM: 1000 frames a pulse";
  EXPECT_NEAR(static_cast<double>(stops[0] - starts[0]), 2.0 * kRate, 2.0 * kRate / 50)
      << "4 beats";
}

// jack_mclk_dump, the same package's clock reader, as the follower: it must
// see Start, 24 clocks a beat at the tempo asked for, and Stop.
TEST(CliMidiClockTest, AClockReaderFollowsTheClockOut) {
  Stage stage;
  ASSERT_NO_FATAL_FAILURE(stage.SetUp("dump", "", kLongPeriod));
  const std::string printed =
      (std::filesystem::temp_directory_path() / ("sonavela_mclk_" + std::to_string(::getpid())))
          .string();
  std::vector<std::string> lines;
  {
    midi::testing::JackTool reader("jack_mclk_dump -n", false, printed);
    std::string device;
    for (int i = 0; i < 100 && device.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      device = testing::IndexInListing(
          testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"}).out, "jack_mclk_dump:mclk_in");
    }
    ASSERT_FALSE(device.empty()) << "jack_mclk_dump (package jack-midi-clock) has no input";
    const testing::ProcessResult r =
        testing::RunProgram(SONAVELA_CLI_PATH, {"--tempo", "100", "--beats-per-chord", "1",
                                                "--steps", "4", "--clock-out", "--device", device});
    EXPECT_EQ(r.status, 0) << r.err;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  std::ifstream in(printed);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  std::filesystem::remove(printed);
  std::vector<std::string> events;
  std::vector<double> bpm;
  for (const std::string& line : lines) {
    if (line.rfind("EVENT", 0) == 0) {
      events.push_back(line.substr(0, line.find(')') + 1));
    } else if (double cur = 0; std::sscanf(line.c_str(), "CLK cur: %lf", &cur) == 1) {
      bpm.push_back(cur);
    } else if (line.rfind("CLK", 0) == 0) {
      bpm.push_back(0.0);  // the first clock, before a tempo can be told
    }
  }
  EXPECT_EQ(events, (std::vector<std::string>{"EVENT (0xfa)", "EVENT (0xfc)"}));
  ASSERT_EQ(bpm.size(), 4U * 24) << "24 clocks a beat for four one-beat chords";
  std::sort(bpm.begin(), bpm.end());
  EXPECT_NEAR(bpm[bpm.size() / 2], 100.0, 0.5);
}

TEST(CliMidiClockTest, ListsTheMasterAndRefusesAnInputThatIsNotThere) {
  Stage stage;
  ASSERT_NO_FATAL_FAILURE(stage.SetUp("list", "", kLongPeriod));
  const testing::ProcessResult inputs = testing::RunProgram(SONAVELA_CLI_PATH, {"--list-inputs"});
  EXPECT_EQ(inputs.status, 0) << inputs.err;
  const std::string index = testing::IndexInListing(inputs.out, kMasterPort);
  EXPECT_FALSE(index.empty()) << inputs.out;
  EXPECT_EQ(testing::IndexInListing(inputs.out, stage.daw.PortName()), "")
      << "an input, not an output";

  for (const std::string& which : {std::string("no such port"), std::string("99")}) {
    const testing::ProcessResult r = testing::RunProgram(
        SONAVELA_CLI_PATH, {"--sync", "midi-clock", "--clock-from", which, "--device", "none"});
    EXPECT_EQ(r.status, 2) << which;
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_THAT(r.err, ::testing::HasSubstr("--list-inputs"));
    EXPECT_EQ(r.out, "");
  }
}

// The master stops, its server goes away and comes back under its name with
// jack_midi_clock on it again: the follower takes the clock of the new
// server without being told.
TEST(CliMidiClockTest, AServerThatQuitsIsWaitedForAndItsClockFollowedWhenBack) {
  const std::string name = "sonavela_mclk_back_" + std::to_string(::getpid());
  ::setenv("JACK_NO_START_SERVER", "1", 1);
  ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
  JackTestServer server;
  // jack_midi_clock and jack_transport, with the master's clock listed.
  const auto master = [&] {
    auto clock = std::make_unique<midi::testing::JackTool>("jack_midi_clock", false);
    auto transport = std::make_unique<midi::testing::JackTool>("jack_transport", true);
    EXPECT_TRUE(transport->Say("master"));
    EXPECT_TRUE(transport->Say("tempo 120"));
    std::string listed;
    for (int i = 0; i < 100 && listed.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      listed = testing::IndexInListing(
          testing::RunProgram(SONAVELA_CLI_PATH, {"--list-inputs"}).out, kMasterPort);
    }
    EXPECT_FALSE(listed.empty()) << "jack_midi_clock (package jack-midi-clock) has no output";
    return std::make_pair(std::move(clock), std::move(transport));
  };
  ASSERT_TRUE(server.Start(name, kServerStart, kLongPeriod, kRate, true)) << server.Error();
  auto first = master();
  std::atomic<int> played{0};
  testing::ProcessOptions options;
  options.timeout = std::chrono::seconds(30);
  options.trigger = [&](const std::string& out) {
    played = CountLines(out);
    return false;
  };
  testing::ProcessResult run;
  std::thread player([&] {
    run = testing::RunProgram(SONAVELA_CLI_PATH,
                              {"--sync", "midi-clock", "--clock-from", kMasterPort, "--device",
                               "none", "--beats-per-chord", "1", "--steps", "4"},
                              options);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_TRUE(first.second->Say("play"));
  for (int i = 0; i < 100 && played < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(first.second->Say("stop"));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int beforeTheLoss = played;
  // jack_transport ends cleanly only while its server is there.
  EXPECT_TRUE(first.second->Say("quit"));
  first.second.reset();
  server.Kill();
  first.first.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_TRUE(server.Start(name, kServerStart, kLongPeriod, kRate, true)) << server.Error();
  auto second = master();
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // found within 2 s
  EXPECT_TRUE(second.second->Say("play"));
  player.join();
  EXPECT_TRUE(second.second->Say("quit"));
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(beforeTheLoss, 2);
  EXPECT_EQ(CountLines(run.out), 4) << run.out;
}

}  // namespace
}  // namespace sonavela::cli
