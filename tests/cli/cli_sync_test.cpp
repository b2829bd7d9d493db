// SPDX-License-Identifier: GPL-3.0-or-later
// sonavela-cli following the JACK transport of a private server, with
// jack_transport (from jackd2) as the timebase master that a user drives
// from its prompt, and a recording MIDI client for the DAW: the chords must
// land on the bar lines, to the frame.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/transport.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "jack_harness.h"
#include "subprocess.h"

namespace sonavela::cli {
namespace {

using namespace std::chrono_literals;
using midi::testing::JackMidiSink;

constexpr jack_nframes_t kRate = 48000;
constexpr jack_nframes_t kPeriod = 256;

// Where transport frame 0 lies on the server's frame counter, read while it
// rolls: both counts of one and the same cycle.
class TransportWatch {
 public:
  explicit TransportWatch(const std::string& server) {
    jack_status_t status{};
    client_ = jack_client_open(("watch_" + std::to_string(getpid())).c_str(),
                               static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                               &status, server.c_str());
    if (client_ != nullptr) {
      (void)jack_activate(client_);
    }
  }
  ~TransportWatch() {
    if (client_ != nullptr) {
      jack_client_close(client_);
    }
  }
  TransportWatch(const TransportWatch&) = delete;
  TransportWatch& operator=(const TransportWatch&) = delete;

  [[nodiscard]] bool Open() const { return client_ != nullptr; }
  // One cycle seen whole: the server's frame, the transport's state and
  // where its master's bar and beat stand.
  struct Sample {
    bool rolling = false;
    std::int64_t serverFrame = 0;
    std::int64_t transportFrame = 0;
    double beats = 0;
  };
  [[nodiscard]] Sample Take() const {
    for (;;) {
      jack_position_t position{};
      const jack_nframes_t before = jack_last_frame_time(client_);
      const jack_transport_state_t state = jack_transport_query(client_, &position);
      const jack_nframes_t after = jack_last_frame_time(client_);
      if (before == after) {
        const double beats = position.ticks_per_beat > 0
                                 ? (position.bar - 1) * position.beats_per_bar +
                                       (position.beat - 1) + position.tick / position.ticks_per_beat
                                 : 0.0;
        return {state == JackTransportRolling, after, position.frame, beats};
      }
    }
  }

  // The first cycle seen rolling within `timeout`.
  [[nodiscard]] std::optional<Sample> Rolling(std::chrono::milliseconds timeout) const {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
      const Sample sample = Take();
      if (sample.rolling && sample.transportFrame > 0) {
        return sample;
      }
      std::this_thread::sleep_for(1ms);
    }
    return std::nullopt;
  }

 private:
  jack_client_t* client_ = nullptr;
};

// The frame of each chord's first message: an all-notes-off that note-ons
// follow.
std::vector<std::int64_t> ChordOnsets(const std::vector<JackMidiSink::Event>& events) {
  std::vector<std::int64_t> onsets;
  for (std::size_t i = 0; i + 1 < events.size(); ++i) {
    if (events[i].bytes[0] == 0xB0 && events[i].bytes[1] == 0x7B &&
        (events[i + 1].bytes[0] & 0xF0) == 0x90) {
      onsets.push_back(events[i].frame);
    }
  }
  return onsets;
}

class CliSyncJackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string pid = std::to_string(::getpid());
    serverName_ = "sonavela_sync_" + pid;
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", serverName_.c_str(), 1);
    // Real-time where the system grants it, so that a busy machine does not
    // hold up the cycles whose frames the test counts.
    ASSERT_TRUE(server_.Start(serverName_, 15s, kPeriod, kRate, true)) << server_.Error();
    ASSERT_TRUE(sink_.Open(serverName_, "sonavela_daw_" + pid)) << sink_.Error();
    const testing::ProcessResult listing =
        testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"});
    device_ = testing::IndexInListing(listing.out, sink_.PortName());
    ASSERT_FALSE(device_.empty()) << listing.out;
  }

  std::string serverName_;
  midi::testing::JackTestServer server_;
  JackMidiSink sink_;
  std::string device_;
};

TEST_F(CliSyncJackTest, ChordsLandOnTheBarsOfTheTransportAndStopSilences) {
  midi::testing::JackTool master("jack_transport -s " + serverName_, true);
  ASSERT_TRUE(master.Running());
  EXPECT_TRUE(master.Say("master"));
  EXPECT_TRUE(master.Say("tempo 240"));  // a 4/4 bar a second
  EXPECT_TRUE(master.Say("locate 0"));
  TransportWatch watch(serverName_);
  ASSERT_TRUE(watch.Open());

  // Four chords before the stop, or as many as asked for figures over a
  // longer run.
  const char* asked = std::getenv("SONAVELA_SYNC_CHORDS");
  const std::size_t rolled = asked != nullptr ? std::max(4, std::atoi(asked)) : 4;
  const std::size_t chords = rolled + 2;
  testing::ProcessOptions options;
  options.timeout = std::chrono::seconds(20 + chords);
  testing::ProcessResult run;
  std::thread program([&] {
    run = testing::RunProgram(
        SONAVELA_CLI_PATH,
        {"--device", device_, "--sync", "jack", "--steps", std::to_string(chords)}, options);
  });
  std::this_thread::sleep_for(500ms);  // the program waits for the transport
  EXPECT_TRUE(sink_.WaitForEvents(3, 200ms).size() <= 2) << "nothing plays before the roll";
  EXPECT_TRUE(master.Say("play"));
  const std::optional<TransportWatch::Sample> roll = watch.Rolling(2s);
  ASSERT_TRUE(roll);
  const std::int64_t origin = roll->serverFrame - roll->transportFrame;
  // A beat of the master's bar and beat, measured between two cycles while
  // it counts on: jack_transport counts whole ticks a cycle, a little slower
  // than its tempo says (and anew from the frame when it starts rolling).
  std::this_thread::sleep_for(200ms);
  const TransportWatch::Sample first = watch.Take();
  std::this_thread::sleep_for(1s);
  const TransportWatch::Sample later = watch.Take();
  const double beat =
      static_cast<double>(later.serverFrame - first.serverFrame) / (later.beats - first.beats);
  EXPECT_NEAR(beat, kRate / 4.0, kRate / 80.0);
  std::this_thread::sleep_for(2300ms + std::chrono::seconds(rolled - 4));  // bars 1 to `rolled`
  EXPECT_TRUE(master.Say("stop"));
  std::this_thread::sleep_for(1500ms);  // silence, and no chord
  const std::size_t whileStopped = sink_.WaitForEvents(0, 10ms).size();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(sink_.WaitForEvents(0, 10ms).size(), whileStopped) << "nothing while stopped";
  EXPECT_TRUE(master.Say("play"));  // on from where it stopped: the next bar
  ASSERT_TRUE(watch.Rolling(2s));
  std::this_thread::sleep_for(100ms);
  const TransportWatch::Sample resumed = watch.Take();
  program.join();
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testing::CountLines(run.out), static_cast<int>(chords)) << run.out;

  const std::vector<JackMidiSink::Event> events = sink_.WaitForEvents(1 << 20, 500ms);
  const std::vector<std::int64_t> onsets = ChordOnsets(events);
  ASSERT_EQ(onsets.size(), chords);
  // The output runs one period behind its time, always the same; measured
  // on a chord planned well ahead.
  const std::int64_t latency = onsets[1] - origin - std::llround(4 * beat);
  EXPECT_GE(latency, -1);
  EXPECT_LE(latency, kPeriod + 1);
  // Frames off the bar line that the master's bar and beat put nearest.
  const auto offTheBar = [&](std::int64_t onset, const TransportWatch::Sample& from) {
    const double bars = (from.beats + (onset - latency - from.serverFrame) / beat) / 4.0;
    return (bars - std::round(bars)) * 4.0 * beat;
  };
  // Each cycle the server missed (an xrun) moves frames against the clock
  // and the master's count by up to a period, and those moves add up.
  const std::size_t xruns = sink_.Xruns().size();
  const double slack = static_cast<double>(xruns * kPeriod) + 1.5;
  std::vector<double> errors;
  for (std::size_t k = 0; k < chords; ++k) {
    const double off = offTheBar(onsets[k], k < rolled ? first : resumed);
    errors.push_back(std::abs(off));
    if (k == 0 || k == rolled) {
      // The first bar of a roll may come too soon after the roll was seen
      // for the cycle that plays it: then it is one cycle late, no more.
      EXPECT_TRUE(std::abs(off) <= slack || std::abs(off - kPeriod) <= slack) << k << ": " << off;
    } else {
      EXPECT_NEAR(off, 0.0, slack) << k;
    }
  }
  std::sort(errors.begin(), errors.end());
  std::printf(
      "%zu chords on the bars of jack_transport at 240 BPM, %u frames a period, %zu xruns: "
      "off the bar median %.1f, max %.1f frames\n",
      errors.size(), kPeriod, xruns, errors[errors.size() / 2], errors.back());
  // The stop silenced what sounded.
  bool silencedWhileStopped = false;
  for (const JackMidiSink::Event& e : events) {
    if (e.frame > onsets[rolled - 1] && e.frame < onsets[rolled] && e.bytes[0] == 0xB0 &&
        e.bytes[1] == 0x7B) {
      silencedWhileStopped = true;
    }
  }
  EXPECT_TRUE(silencedWhileStopped);
}

// A follower whose server quits says so once and waits; the server back
// under the same name, the run goes on to its last chord.
// No client of the test's own on the server that is killed: libjack takes
// a client's process down with its server.
class CliJackServerLossTest : public ::testing::Test {
 protected:
  void SetUp() override {
    serverName_ = "sonavela_loss_" + std::to_string(::getpid());
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", serverName_.c_str(), 1);
    ASSERT_TRUE(server_.Start(serverName_, 15s, kPeriod, kRate, true)) << server_.Error();
  }

  std::string serverName_;
  midi::testing::JackTestServer server_;
};

TEST_F(CliJackServerLossTest, AServerThatQuitsIsWaitedForAndFollowedWhenBack) {
  const auto master = [this] {
    auto tool = std::make_unique<midi::testing::JackTool>("jack_transport -s " + serverName_, true);
    EXPECT_TRUE(tool->Say("master"));
    EXPECT_TRUE(tool->Say("tempo 240"));
    EXPECT_TRUE(tool->Say("locate 0"));
    return tool;
  };
  std::unique_ptr<midi::testing::JackTool> first = master();
  testing::ProcessOptions options;
  options.timeout = 30s;
  testing::ProcessResult run;
  std::thread program([&] {
    run = testing::RunProgram(SONAVELA_CLI_PATH,
                              {"--device", "none", "--sync", "jack", "--steps", "4"}, options);
  });
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(first->Say("play"));
  std::this_thread::sleep_for(1500ms);  // two chords
  server_.Kill();
  first.reset();
  std::this_thread::sleep_for(1500ms);
  ASSERT_TRUE(server_.Start(serverName_, 15s, kPeriod, kRate, true)) << server_.Error();
  std::unique_ptr<midi::testing::JackTool> second = master();
  EXPECT_TRUE(second->Say("play"));
  program.join();
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testing::CountLines(run.out), 4) << run.out;
  EXPECT_EQ(run.err,
            "sonavela-cli: note: the JACK transport is gone (its server quit); waiting for it to "
            "come back\n"
            "sonavela-cli: note: the JACK transport is back\n");
  EXPECT_TRUE(second->Say("quit"));
}

TEST_F(CliSyncJackTest, WithoutAServerSyncToJackIsAUsageError) {
  ::setenv("JACK_DEFAULT_SERVER", ("sonavela_none_" + std::to_string(getpid())).c_str(), 1);
  const testing::ProcessResult r =
      testing::RunProgram(SONAVELA_CLI_PATH, {"--device", "none", "--sync", "jack"});
  ::setenv("JACK_DEFAULT_SERVER", serverName_.c_str(), 1);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "sonavela-cli: --sync jack: no JACK server is running\n");
}

}  // namespace
}  // namespace sonavela::cli
