// SPDX-License-Identifier: GPL-3.0-or-later
// The plugin as a user runs it: installed with `cmake --install`, hosted by
// jalv on a private JACK server whose transport jack_transport masters, and
// heard by a recording MIDI client. jalv tells the plugin of the transport
// only when it changes, so the chords must keep to the bars on their own.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/transport.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
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

namespace sonavela::plugin {
namespace {

using namespace std::chrono_literals;
using midi::testing::JackMidiSink;
using Event = JackMidiSink::Event;

constexpr const char* kPluginUri = "https://sonavela.github.io/lv2/sonavela";
constexpr std::int64_t kRate = 48000;
constexpr std::int64_t kPeriod = 1200;
constexpr int kBpm = 90;
constexpr std::int64_t kBar = kRate * 60 * 4 / kBpm;  // 4/4, and a chord every 4 beats
// jack_transport adds whole ticks (1920 a beat) each period, so its bars are
// the tempo's only when a period holds whole ticks. 1200 frames also put the
// bars at varying offsets within their cycles, not all at a cycle's start.
static_assert(1920 * kBpm * kPeriod % (kRate * 60) == 0);
static_assert(kRate * 60 * 4 % kBpm == 0 && kBar % kPeriod != 0);

// The transport as each cycle sees it, from inside the cycle: where it
// started rolling and where it stopped, on the server's frame counter.
class TransportWatch {
 public:
  explicit TransportWatch(const std::string& server) {
    jack_status_t status{};
    client_ = jack_client_open(("watch_" + std::to_string(getpid())).c_str(),
                               static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                               &status, server.c_str());
    if (client_ != nullptr &&
        (jack_set_process_callback(client_, &Process, this) != 0 || jack_activate(client_) != 0)) {
      jack_client_close(client_);
      client_ = nullptr;
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
  // The server frame of transport frame 0 of the first roll; -1 before it.
  [[nodiscard]] std::int64_t Origin() const { return origin_.load(); }
  // The first cycle stopped after that roll; -1 before it.
  [[nodiscard]] std::int64_t StopFrame() const { return stop_.load(); }

 private:
  static int Process(jack_nframes_t /*frames*/, void* self) {
    auto* watch = static_cast<TransportWatch*>(self);
    jack_position_t position{};
    const bool rolling = jack_transport_query(watch->client_, &position) == JackTransportRolling;
    const std::int64_t frame = jack_last_frame_time(watch->client_);
    if (rolling && watch->origin_.load() < 0) {
      watch->origin_.store(frame - position.frame);
    } else if (!rolling && watch->origin_.load() >= 0 && watch->stop_.load() < 0) {
      watch->stop_.store(frame);
    }
    return 0;
  }

  jack_client_t* client_ = nullptr;
  std::atomic<std::int64_t> origin_{-1};
  std::atomic<std::int64_t> stop_{-1};
};

bool NoteOn(const Event& event) {
  return (event.bytes[0] & 0xF0) == 0x90;
}

// A chord is a run of note-ons; it starts at its first note-on.
std::vector<std::size_t> ChordStarts(const std::vector<Event>& events) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (NoteOn(events[i]) && (i == 0 || !NoteOn(events[i - 1]))) {
      starts.push_back(i);
    }
  }
  return starts;
}

// Just past the chord's last note-on.
std::size_t ChordEnd(const std::vector<Event>& events, std::size_t start) {
  while (start < events.size() && NoteOn(events[start])) {
    ++start;
  }
  return start;
}

std::string Bytes(const std::vector<Event>& events, std::size_t from, std::size_t to) {
  std::string text;
  char hex[4];
  for (std::size_t i = from; i < to && i < events.size(); ++i) {
    for (std::uint8_t b = 0; b < events[i].size; ++b) {
      std::snprintf(hex, sizeof hex, "%02X", events[i].bytes[b]);
      text += (b == 0 ? (text.empty() ? "" : " | ") : " ") + std::string(hex);
    }
  }
  return text;
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class JalvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string pid = std::to_string(getpid());
    serverName_ = "sonavela_jalv_" + pid;
    pluginClient_ = "sonavela_plugin_" + pid;
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", serverName_.c_str(), 1);
    const cli::testing::ProcessResult install = cli::testing::RunProgram(
        SONAVELA_CMAKE_COMMAND, {"--install", SONAVELA_PROJECT_BINARY_DIR, "--prefix",
                                 (scratch_.Path() / "prefix").string(), "--component", "lv2"});
    ASSERT_TRUE(install.exited && install.status == 0) << install.out << install.err;
    ASSERT_TRUE(std::filesystem::exists(lv2Path() / "sonavela.lv2" / "manifest.ttl"))
        << install.out;
    // Real-time, so that a busy machine does not hold up the counted cycles.
    ASSERT_TRUE(server_.Start(serverName_, 15s, kPeriod, kRate, true)) << server_.Error();
    ASSERT_TRUE(sink_.Open(serverName_, "sonavela_daw_" + pid)) << sink_.Error();
  }

  [[nodiscard]] std::filesystem::path lv2Path() const {
    return scratch_.Path() / "prefix" / "lib" / "lv2";
  }
  [[nodiscard]] std::filesystem::path jalvLog() const { return scratch_.Path() / "jalv.log"; }

  // jalv reads commands from its standard input and quits when it closes:
  // the tool's pipe stays open for as long as the test runs.
  [[nodiscard]] std::string JalvCommand() const {
    return "env " SONAVELA_JALV_ENV " LV2_PATH='" + lv2Path().string() +
           "' " SONAVELA_JALV " -x -n " + pluginClient_ + " " + kPluginUri;
  }

  cli::testing::ScratchFolder scratch_{"sonavela_jalv_"};
  std::string serverName_;
  std::string pluginClient_;
  midi::testing::JackTestServer server_;
  JackMidiSink sink_;
};

TEST_F(JalvTest, ChordsLandOnTheBarsOfJackTransportAndAStopSilences) {
  midi::testing::JackTool master("jack_transport -s " + serverName_, true);
  ASSERT_TRUE(master.Running());
  EXPECT_TRUE(master.Say("master"));
  EXPECT_TRUE(master.Say("tempo " + std::to_string(kBpm)));
  EXPECT_TRUE(master.Say("locate 0"));
  TransportWatch watch(serverName_);
  ASSERT_TRUE(watch.Open());

  midi::testing::JackTool jalv(JalvCommand(), true, jalvLog().string());
  ASSERT_TRUE(jalv.Running());
  const std::string output = pluginClient_ + ":midi_out";
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (!sink_.PortExists(output) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(sink_.PortExists(output)) << "jalv:\n" << FileText(jalvLog());
  ASSERT_TRUE(sink_.ConnectFrom(output, 5s)) << sink_.Error();
  std::this_thread::sleep_for(500ms);  // stopped: the plugin must keep quiet

  // Six chords by default; SONAVELA_JALV_CHORDS asks for more, for figures
  // over a longer run.
  const char* asked = std::getenv("SONAVELA_JALV_CHORDS");
  const std::int64_t chords = asked != nullptr ? std::max(2, std::atoi(asked)) : 6;
  EXPECT_TRUE(master.Say("play"));
  const auto rollSeen = std::chrono::steady_clock::now() + 2s;
  while (watch.Origin() < 0 && std::chrono::steady_clock::now() < rollSeen) {
    std::this_thread::sleep_for(1ms);
  }
  const std::int64_t origin = watch.Origin();
  ASSERT_GE(origin, 0) << "the transport did not roll";
  // Stopped halfway through the bar after the last chord.
  const std::int64_t stopAt = origin + chords * kBar - kBar / 2;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10 + 3 * chords);
  while (static_cast<std::int64_t>(sink_.FrameNow()) < stopAt &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(master.Say("stop"));
  std::this_thread::sleep_for(1500ms);  // the stop, and no chord after it
  const std::int64_t stopFrame = watch.StopFrame();
  ASSERT_GE(stopFrame, 0) << "the transport did not stop";
  const std::vector<Event> events = sink_.WaitForEvents(1 << 20, 100ms);

  const std::vector<std::size_t> starts = ChordStarts(events);
  ASSERT_EQ(starts.size(), static_cast<std::size_t>(chords))
      << Bytes(events, 0, events.size()) << "\njalv:\n"
      << FileText(jalvLog());
  EXPECT_GE(static_cast<std::int64_t>(events.front().frame), origin) << "played before the roll";

  // A cycle the server missed moves the frame counter against the
  // transport: then a chord is only held to its cycle.
  const std::size_t xruns = sink_.Xruns().size();
  const std::int64_t slack = xruns == 0 ? 1 : kPeriod + 1;
  std::vector<std::int64_t> errors;
  for (std::int64_t k = 0; k < chords; ++k) {
    const std::int64_t onset = events[starts[k]].frame;
    const std::int64_t off = onset - (origin + k * kBar);
    errors.push_back(std::abs(off));
    EXPECT_LE(std::abs(off), slack)
        << "chord " << k << " at " << onset << ", bar at " << origin + k * kBar;
  }

  // The fresh start, all at the frame of the roll: program change 49 - 1,
  // then the C major tonic from the top down and its bass.
  const std::size_t firstEnd = ChordEnd(events, starts[0]);
  EXPECT_EQ(Bytes(events, 0, firstEnd),
            "B0 7B 00 | C0 30 | B0 7B 00 | B0 7B 00 | 90 60 40 | 90 5B 40 | 90 58 40 | 90 54 40 | "
            "90 4F 40 | 90 4C 40 | 90 48 40 | 90 43 40 | 90 40 40 | 90 3C 40 | 90 30 40");
  for (std::size_t i = 0; i < firstEnd; ++i) {
    EXPECT_EQ(events[i].frame, events[starts[0]].frame) << "event " << i << " of the first chord";
  }

  // After the last chord's notes, only their note-offs (lowest first) and
  // the stop's all-notes-off, in the cycle where the transport stopped.
  const std::size_t tail = ChordEnd(events, starts.back());
  std::vector<int> sounding;
  for (std::size_t i = starts.back(); i < tail; ++i) {
    sounding.push_back(events[i].bytes[1]);
  }
  std::sort(sounding.begin(), sounding.end());
  std::string ends;
  for (const int key : sounding) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "80 %02X 40 | ", key);
    ends += hex;
  }
  ASSERT_EQ(Bytes(events, tail, events.size()), ends + "B0 7B 00");
  EXPECT_LE(std::abs(static_cast<std::int64_t>(events[tail].frame) - stopFrame),
            xruns == 0 ? 0 : kPeriod)
      << "stopped at " << stopFrame;

  std::sort(errors.begin(), errors.end());
  std::printf(
      "%lld chords from the plugin in jalv on the bars of jack_transport at %d BPM, %lld frames "
      "a period, %zu xruns: off the bar median %lld, max %lld frames\n",
      static_cast<long long>(chords), kBpm, static_cast<long long>(kPeriod), xruns,
      static_cast<long long>(errors[errors.size() / 2]), static_cast<long long>(errors.back()));
}

}  // namespace
}  // namespace sonavela::plugin
