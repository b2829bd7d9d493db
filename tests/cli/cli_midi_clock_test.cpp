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

// A JACK tool beside the test, run by a shell that reads its standard
// input; closing it (also when the test dies) ends the tool. `feed` passes
// the input on to the tool instead, which must then end on its own.
class Peer {
 public:
  Peer(const std::string& command, bool feed) {
    ::signal(SIGPIPE, SIG_IGN);  // a peer that died fails the test, not ends it
    const std::string script = feed ? "exec " + command + " >/dev/null 2>&1"
                                    : command + " >/dev/null 2>&1 & read x; kill $!; wait";
    in_ = ::popen(script.c_str(), "w");
  }
  ~Peer() {
    if (in_ != nullptr) {
      ::pclose(in_);
    }
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  void Say(const std::string& line) {
    ASSERT_NE(in_, nullptr);
    EXPECT_GE(std::fprintf(in_, "%s\n", line.c_str()), 0);
    std::fflush(in_);
  }

 private:
  std::FILE* in_ = nullptr;
};

std::string DeviceIndexOf(const std::string& listing, const std::string& name) {
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos && line.substr(tab + 1) == name) {
      return line.substr(0, tab);
    }
  }
  return {};
}

// A private server with jack_midi_clock on it, its output recorded by
// `master`, and `daw` for the program to play into.
struct Stage {
  JackTestServer server;
  JackMidiSink master;
  JackMidiSink daw;
  std::unique_ptr<Peer> clock;

  void SetUp(const std::string& tag, const std::string& clockArgs,
             jack_nframes_t period = kPeriod) {
    const std::string pid = std::to_string(::getpid());
    const std::string name = "sonavela_mclk_" + tag + pid;
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    ASSERT_TRUE(server.Start(name, kServerStart, period, kRate)) << server.Error();
    ASSERT_TRUE(daw.Open(name, "sonavela_daw_" + pid)) << daw.Error();
    ASSERT_TRUE(master.Open(name, "sonavela_tap_" + pid)) << master.Error();
    clock = std::make_unique<Peer>("jack_midi_clock " + clockArgs, false);
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
    Peer transport("jack_transport", true);
    transport.Say("master");
    transport.Say("tempo 240");
    transport.Say("locate 0");
    const testing::ProcessResult listing =
        testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"});
    const std::string device = DeviceIndexOf(listing.out, stage.daw.PortName());
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
    transport.Say("play");
    std::this_thread::sleep_for(std::chrono::milliseconds(c.chords * c.beatsPerChord * 250 + 100));
    transport.Say("stop");
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    // A fresh start prints a line, on which the program is interrupted.
    finishing = true;
    transport.Say("locate 0");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    transport.Say("play");
    player.join();
    transport.Say("stop");
    transport.Say("quit");
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.err;

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
    ASSERT_EQ(onsets.size(), boundaries.size()) << "one chord per " << perChord << " clocks";
    EXPECT_EQ(CountLines(run.out), static_cast<int>(boundaries.size()) + 1) << "and a restart";
    const double chordFrames = 60.0 / 240 * c.beatsPerChord * kRate;
    std::vector<double> errors;
    std::vector<double> afterCycle;
    for (std::size_t k = 0; k < onsets.size(); ++k) {
      const double error = static_cast<double>(onsets[k]) - boundaries[k];
      // Loose: a dummy driver on a busy machine lets frames and time drift
      // apart; the figures printed below tell how close it was.
      EXPECT_LT(std::abs(error), chordFrames / 2) << "chord " << k << " far from its clock";
      errors.push_back(error);
      for (const JackMidiSink::Event& e : sent) {
        if (e.frame == boundaries[k] && e.bytes[0] == 0xF8) {
          // Against the start of the cycle that brought the clock: how late
          // the program stamped and answered it, past the output's period.
          afterCycle.push_back(static_cast<double>(onsets[k]) - (e.frame - e.offset) - kPeriod);
        }
      }
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
    EXPECT_EQ(ClocksOfFirstRoll(played), ClocksOfFirstRoll(sent));

    std::sort(errors.begin(), errors.end());
    std::sort(afterCycle.begin(), afterCycle.end());
    std::printf("%s: %zu chords at 240 BPM, %d beat(s) each, period %u frames at %u Hz\n", c.what,
                errors.size(), c.beatsPerChord, kPeriod, kRate);
    std::printf("  onset - boundary clock: min %.3f, median %.3f, 90%% %.3f, max %.3f ms\n",
                Ms(errors.front()), Ms(errors[errors.size() / 2]),
                Ms(errors[errors.size() * 9 / 10]), Ms(errors.back()));
    if (!afterCycle.empty()) {
      std::printf(
          "  onset - (clock's cycle start + period): min %.3f, median %.3f, 90%% %.3f, "
          "max %.3f ms\n",
          Ms(afterCycle.front()), Ms(afterCycle[afterCycle.size() / 2]),
          Ms(afterCycle[afterCycle.size() * 9 / 10]), Ms(afterCycle.back()));
    }
  }
}

TEST(CliMidiClockTest, ClockOutSendsStartPulsesAtTheTempoAndStop) {
  Stage stage;
  ASSERT_NO_FATAL_FAILURE(stage.SetUp("out", "", kLongPeriod));
  const testing::ProcessResult listing = testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"});
  const std::string device = DeviceIndexOf(listing.out, stage.daw.PortName());
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

TEST(CliMidiClockTest, ListsTheMasterAndRefusesAnInputThatIsNotThere) {
  Stage stage;
  ASSERT_NO_FATAL_FAILURE(stage.SetUp("list", "", kLongPeriod));
  const testing::ProcessResult inputs = testing::RunProgram(SONAVELA_CLI_PATH, {"--list-inputs"});
  EXPECT_EQ(inputs.status, 0) << inputs.err;
  const std::string index = DeviceIndexOf(inputs.out, kMasterPort);
  EXPECT_FALSE(index.empty()) << inputs.out;
  EXPECT_EQ(DeviceIndexOf(inputs.out, stage.daw.PortName()), "") << "an input, not an output";

  for (const std::string& which : {std::string("no such port"), std::string("99")}) {
    const testing::ProcessResult r = testing::RunProgram(
        SONAVELA_CLI_PATH, {"--sync", "midi-clock", "--clock-from", which, "--device", "none"});
    EXPECT_EQ(r.status, 2) << which;
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_THAT(r.err, ::testing::HasSubstr("--list-inputs"));
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
}  // namespace sonavela::cli
