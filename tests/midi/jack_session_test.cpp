// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own JACK client against a private JACK server: one client
// session for listing and playing, giving the client name back on standby,
// and failures of an open device (the server killed, the peer's input
// removed) reported by the next send instead of ignored.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "jack_harness.h"
#include "midi/devices/alsa-rtmidi/virtual_port_backend.h"
#include "midi/devices/spsc_queue.h"
#include "midi/devices/system_backend.h"
#include "support/why.h"

namespace sonavela::midi {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

const Timestamp kT{};
constexpr std::chrono::seconds kServerStart{15};
constexpr std::chrono::seconds kDelivery{5};
constexpr MidiMessage kNote = MidiMessage::NoteOn(1, 60, 64);
constexpr jack_nframes_t kPeriod = 256;  // at 48 kHz

TEST(SpscQueue, KeepsOrderAcrossWrapsAndRefusesWhenFull) {
  SpscQueue<int> queue(3);
  int next = 0;
  int expected = 0;
  for (int round = 0; round < 5; ++round) {  // the slots wrap several times
    while (queue.Push(next)) {
      ++next;
    }
    EXPECT_EQ(queue.Pushed() - queue.Taken(), 3U);
    for (int i = 0; i < 2; ++i) {
      ASSERT_NE(queue.Front(), nullptr);
      EXPECT_EQ(*queue.Front(), expected++);
      queue.Pop();
    }
  }
  while (queue.Front() != nullptr) {
    EXPECT_EQ(*queue.Front(), expected++);
    queue.Pop();
  }
  EXPECT_EQ(expected, next);
  EXPECT_EQ(queue.Taken(), queue.Pushed());
}

TEST(SpscQueue, HandsEveryElementAcrossThreadsInOrder) {
  constexpr int kCount = 200000;
  SpscQueue<int> queue(64);
  std::thread consumer([&] {
    for (int expected = 0; expected < kCount;) {
      if (const int* value = queue.Front()) {
        ASSERT_EQ(*value, expected);
        queue.Pop();
        ++expected;
      }
    }
  });
  for (int i = 0; i < kCount;) {
    i += queue.Push(i) ? 1 : 0;
  }
  consumer.join();
  EXPECT_EQ(queue.Taken(), static_cast<std::uint64_t>(kCount));
}

// JACK tells the sink about new clients on a thread of its own.
bool WaitForClients(const testing::JackMidiSink& sink, const std::string& prefix, int count) {
  const auto deadline = Clock::now() + kDelivery;
  while (sink.ClientsRegistered(prefix) < count && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return sink.ClientsRegistered(prefix) == count;
}

// A private server with one recording sink, and the program's devices.
class JackSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string pid = std::to_string(getpid());
    serverName_ = "sonavela_session_" + pid;
    clientName_ = "sonavela_client_" + pid;
    setenv("JACK_NO_START_SERVER", "1", 1);
    setenv("JACK_DEFAULT_SERVER", serverName_.c_str(), 1);
    // Real time keeps the cycles on time while other tests load the machine.
    ASSERT_TRUE(server_.Start(serverName_, kServerStart, kPeriod, 48000, true)) << server_.Error();
    sink_ = std::make_unique<testing::JackMidiSink>();
    ASSERT_TRUE(sink_->Open(serverName_, "sonavela_sink_" + pid)) << sink_->Error();
    sinkPort_ = sink_->PortName();
  }

  std::unique_ptr<MidiBackend> Devices() const {
    SystemBackendOptions options;
    options.includeBuiltInSynth = false;
    options.clientName = clientName_;
    return MakeSystemBackend(options);
  }

  static std::optional<unsigned> Find(const MidiBackend& devices, const std::string& name) {
    for (unsigned i = 0; i < devices.DeviceCount(); ++i) {
      if (devices.DeviceName(i) == name) {
        return i;
      }
    }
    return std::nullopt;
  }

  std::string serverName_;
  std::string clientName_;
  testing::JackTestServer server_;
  std::unique_ptr<testing::JackMidiSink> sink_;
  std::string sinkPort_;
};

TEST_F(JackSessionTest, ListingAndPlayingShareOneClient) {
  {
    std::unique_ptr<MidiBackend> devices = Devices();
    const std::optional<unsigned> device = Find(*devices, sinkPort_);
    ASSERT_TRUE(device.has_value());
    EXPECT_EQ(devices->DeviceName(devices->DeviceCount() - 1), kVirtualPortDeviceName);
    ASSERT_OK(devices->Open(*device));
    ASSERT_TRUE(devices->Send(kNote, kT));
    EXPECT_OK(devices->Close());
    ASSERT_OK(devices->Open(devices->DeviceCount() - 1));
    EXPECT_OK(devices->Close());
  }
  EXPECT_THAT(sink_->WaitForBytes(3, kDelivery), ElementsAre(0x90, 60, 64));
  EXPECT_TRUE(WaitForClients(*sink_, clientName_, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a late second one
  EXPECT_EQ(sink_->ClientsRegistered(clientName_), 1);
}

TEST_F(JackSessionTest, StandbyGivesTheClientNameBackUntilAJackDeviceOpens) {
  std::unique_ptr<MidiBackend> devices = Devices();
  const std::optional<unsigned> device = Find(*devices, sinkPort_);
  ASSERT_TRUE(device.has_value());
  devices->Standby();

  // What the synthesizer's JACK audio driver does with the same name.
  jack_status_t status{};
  jack_client_t* other =
      jack_client_open(clientName_.c_str(),
                       static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), &status);
  ASSERT_NE(other, nullptr) << "the name is still taken (status " << status << ")";
  jack_client_close(other);

  ASSERT_OK(devices->Open(*device));
  ASSERT_TRUE(devices->Send(kNote, kT));
  EXPECT_OK(devices->Close());
  EXPECT_THAT(sink_->WaitForBytes(3, kDelivery), ElementsAre(0x90, 60, 64));
  // Ours, the other, ours again.
  EXPECT_TRUE(WaitForClients(*sink_, clientName_, 3)) << sink_->ClientsRegistered(clientName_);
}

TEST_F(JackSessionTest, MessagesLandAtTheFramesOfTheirTimesInTheOrderSent) {
  using std::chrono::milliseconds;
  std::unique_ptr<MidiBackend> devices = Devices();
  const std::optional<unsigned> device = Find(*devices, sinkPort_);
  ASSERT_TRUE(device.has_value());
  ASSERT_OK(devices->Open(*device));
  const std::chrono::nanoseconds lookahead = devices->Lookahead();
  // The cycle that plays a message begins up to a period after its time.
  EXPECT_GT(lookahead, milliseconds(kPeriod * 1000 / 48000));

  struct Case {
    int key;
    std::optional<milliseconds> at;  // after the first note's time; none: late
    int frame;                       // after the first note's frame
  };
  const Case cases[] = {
      {59, std::nullopt, 0},  // goes at once
      {60, milliseconds(0), 0},    {61, milliseconds(10), 480},
      {62, std::nullopt, 480},  // behind the note sent before it
      {63, milliseconds(20), 960},
  };
  // Further ahead than a close used to wait for delivery.
  const Timestamp first = MidiClock::now() + lookahead + milliseconds(400);
  const jack_nframes_t sent = sink_->FrameNow();
  for (const Case& c : cases) {
    ASSERT_TRUE(devices->Send(MidiMessage::NoteOn(1, c.key, 64), c.at ? first + *c.at : kT));
  }
  EXPECT_OK(devices->Close());

  const std::vector<testing::JackMidiSink::Event> events =
      sink_->WaitForEvents(std::size(cases), kDelivery);
  ASSERT_EQ(events.size(), std::size(cases));
  const auto frameOf = [&](std::size_t i) { return static_cast<std::int64_t>(events[i].frame); };
  EXPECT_EQ(events[0].offset, 0U);
  EXPECT_LT(frameOf(0) - sent, 3 * kPeriod) << "the late note waited";
  // A cycle the server missed (an xrun on a busy machine) moves frames
  // against the clock: then a message is only held to its cycle.
  const std::int64_t slack = sink_->Xruns().empty() ? 1 : kPeriod + 1;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].key);
    EXPECT_EQ(events[i].bytes[1], cases[i].key);
    if (i > 0) {
      EXPECT_NEAR(frameOf(i) - frameOf(1), cases[i].frame, slack);
    }
  }
}

// Sends a note every 10 ms until a send fails, for at most `limit`.
// Why the first send that failed within `limit` failed; empty when none did.
std::string SendUntilFailure(MidiBackend& devices, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (Status sent = devices.Send(kNote, kT); !sent) {
      return Why(sent);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return {};
}

TEST_F(JackSessionTest, AFailureOfTheOpenDeviceFailsTheNextSendAndTheClose) {
  struct Case {
    const char* what;
    bool serverGone;
  };
  // The server goes last: nothing runs after it.
  for (const Case c : {Case{"peer input removed", false}, Case{"server killed", true}}) {
    SCOPED_TRACE(c.what);
    auto peer = std::make_unique<testing::JackMidiSink>();
    ASSERT_TRUE(peer->Open(serverName_, clientName_ + "_peer")) << peer->Error();
    const std::string peerPort = peer->PortName();
    std::unique_ptr<MidiBackend> devices = Devices();
    const std::optional<unsigned> device = Find(*devices, peerPort);
    ASSERT_TRUE(device.has_value());
    ASSERT_OK(devices->Open(*device));
    ASSERT_TRUE(devices->Send(kNote, kT));

    if (c.serverGone) {
      server_.Kill();
    } else {
      peer->RemovePort();
    }
    const std::string reason = c.serverGone ? "the JACK server has quit"
                                            : "the MIDI input \"" + peerPort + "\" was removed";
    EXPECT_EQ(SendUntilFailure(*devices, kDelivery), reason);
    EXPECT_EQ(Why(devices->Send(kNote, kT)), reason);
    // Neither waits for deliveries that cannot happen.
    const auto closing = Clock::now();
    EXPECT_EQ(Why(devices->Close()), reason);
    EXPECT_LT(Clock::now() - closing, std::chrono::seconds(2)) << "close hung";

    // The client itself is fine after a peer's failure, and fails cleanly
    // without a server.
    const unsigned virtualPort = devices->DeviceCount() - 1;
    ASSERT_EQ(devices->DeviceName(virtualPort), kVirtualPortDeviceName);
    if (c.serverGone) {
      // libjack breaks the clients of a dead server that are still open
      // when a client fails to open; ours is closed, the sinks are not.
      peer.reset();
      sink_.reset();
      EXPECT_THAT(Why(devices->Open(virtualPort)), HasSubstr("no JACK server is running"));
    } else {
      EXPECT_OK(devices->Open(virtualPort));
      EXPECT_OK(devices->Close());
    }
  }
}

TEST_F(JackSessionTest, AServerThatStopsProcessingFailsTheOutputWithoutAHang) {
  std::unique_ptr<MidiBackend> devices = Devices();
  const std::optional<unsigned> device = Find(*devices, sinkPort_);
  ASSERT_TRUE(device.has_value());
  ASSERT_OK(devices->Open(*device));
  server_.Pause();
  int sent = 0;
  Status last;
  while (sent < 100000 && (last = devices->Send(kNote, kT))) {
    ++sent;
  }
  EXPECT_LT(sent, 100000) << "the queue never filled";
  EXPECT_EQ(Why(last), "the JACK server has stopped taking MIDI messages");
  const auto closing = Clock::now();
  EXPECT_FALSE(devices->Close());
  devices.reset();
  EXPECT_LT(Clock::now() - closing, std::chrono::seconds(2)) << "close waited for the server";
  server_.Resume();
}

}  // namespace
}  // namespace sonavela::midi
