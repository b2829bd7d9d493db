// SPDX-License-Identifier: GPL-3.0-or-later
// sonavela-cli playing into a DAW: a private JACK server with a recording
// MIDI client stands in for the DAW. Ctrl-C and the end of a run must leave
// it silent (all notes off); a server or a DAW input that goes away while
// the program plays must be reported once and end the run with status 1,
// and an output whose server comes back is played again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "jack_harness.h"
#include "subprocess.h"

namespace sonavela::cli {
namespace {

using testing::CountLines;
using ::testing::ElementsAreArray;

constexpr std::chrono::seconds kServerStart{15};
constexpr std::chrono::seconds kDelivery{5};

TEST(CliJackTest, InterruptSilencesTheDeviceAndExitsCleanly) {
  const std::string pid = std::to_string(::getpid());
  const std::string serverName = "sonavela_cli_test_" + pid;
  // Inherited by the program under test.
  ::setenv("JACK_NO_START_SERVER", "1", 1);
  ::setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);

  midi::testing::JackTestServer server;
  ASSERT_TRUE(server.Start(serverName, kServerStart)) << server.Error();
  midi::testing::JackMidiSink sink;
  ASSERT_TRUE(sink.Open(serverName, "sonavela_daw_" + pid)) << sink.Error();

  const testing::ProcessResult listing = testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"});
  ASSERT_EQ(listing.status, 0) << listing.err;
  const std::string device = testing::IndexInListing(listing.out, sink.PortName());
  ASSERT_FALSE(device.empty()) << sink.PortName() << " not in\n" << listing.out;

  testing::ProcessOptions options;
  options.trigger = [](const std::string& out) { return CountLines(out) >= 2; };
  options.signal = SIGINT;
  const testing::ProcessResult r =
      testing::RunProgram(SONAVELA_CLI_PATH, {"--device", device, "--interval", "200"}, options);
  EXPECT_TRUE(testing::EndedBy(r, SIGINT)) << r.err;
  EXPECT_EQ(r.out, "C   : C\nC   : Am\n");

  std::vector<std::uint8_t> expected;
  auto add = [&](std::initializer_list<std::uint8_t> bytes) {
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  };
  auto notes = [&](std::initializer_list<int> keys) {
    for (int key : keys) {
      add({0x90, static_cast<std::uint8_t>(key), 0x40});
    }
  };
  add({0xB0, 0x7B, 0x00});                                // device opened
  add({0xB0, 0x7B, 0x00, 0xC0, 0x30, 0xB0, 0x7B, 0x00});  // instrument 49, silence
  add({0xB0, 0x7B, 0x00});                                // C major
  notes({96, 91, 88, 84, 79, 76, 72, 67, 64, 60, 48});
  add({0xB0, 0x7B, 0x00});  // A minor
  notes({96, 93, 88, 84, 81, 76, 72, 69, 64, 57, 45});
  add({0xB0, 0x7B, 0x00});  // Ctrl-C: stop
  add({0xB0, 0x7B, 0x00});  // and close the device
  EXPECT_THAT(sink.WaitForBytes(expected.size(), kDelivery), ElementsAreArray(expected));
}

std::vector<std::uint8_t> FinalSilence() {
  return {0xB0, 0x7B, 0x00, 0xB0, 0x7B, 0x00};  // stop, then close the device
}

TEST(CliJackTest, AFinishedRunLeavesTheDeviceSilent) {
  const std::string pid = std::to_string(::getpid());
  const std::string serverName = "sonavela_cli_end_" + pid;
  ::setenv("JACK_NO_START_SERVER", "1", 1);
  ::setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
  midi::testing::JackTestServer server;
  ASSERT_TRUE(server.Start(serverName, kServerStart)) << server.Error();
  midi::testing::JackMidiSink sink;
  ASSERT_TRUE(sink.Open(serverName, "sonavela_daw_" + pid)) << sink.Error();
  const testing::ProcessResult listing = testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"});
  const std::string device = testing::IndexInListing(listing.out, sink.PortName());
  ASSERT_FALSE(device.empty()) << sink.PortName() << " not in\n" << listing.out;

  const testing::ProcessResult r = testing::RunProgram(
      SONAVELA_CLI_PATH, {"--device", device, "--steps", "3", "--interval", "50"});
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(CountLines(r.out), 3);
  // What the program sent is all there will be: its port is gone.
  const std::vector<std::uint8_t> bytes =
      sink.WaitForBytes(1 << 20, std::chrono::milliseconds(200));
  ASSERT_GE(bytes.size(), 6U);
  EXPECT_THAT(std::vector<std::uint8_t>(bytes.end() - 6, bytes.end()),
              ElementsAreArray(FinalSilence()));
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0x90), 3 * 11) << "three chords";
}

TEST(CliJackTest, ADeviceThatFailsWhilePlayingIsReportedOnceAndFailsTheRun) {
  struct Case {
    const char* what;
    bool killServer;  // else the DAW's input port is removed
    std::string reason;
  };
  const std::string pid = std::to_string(::getpid());
  const std::string daw = "sonavela_daw_" + pid;
  const std::vector<Case> cases{
      {"DAW input removed", false, "the MIDI input \"" + daw + ":in\" was removed"},
      {"server killed", true, "the JACK server has quit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string serverName =
        std::string("sonavela_cli_fail_") + (c.killServer ? "k" : "r") + pid;
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
    midi::testing::JackTestServer server;
    ASSERT_TRUE(server.Start(serverName, kServerStart)) << server.Error();
    midi::testing::JackMidiSink sink;
    ASSERT_TRUE(sink.Open(serverName, daw)) << sink.Error();
    const testing::ProcessResult listing =
        testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"});
    const std::string device = testing::IndexInListing(listing.out, sink.PortName());
    ASSERT_FALSE(device.empty()) << sink.PortName() << " not in\n" << listing.out;

    testing::ProcessOptions options;
    bool failed = false;
    // Returns false throughout: the program must run on by itself.
    options.trigger = [&](const std::string& out) {
      if (!failed && CountLines(out) >= 5) {
        failed = true;
        if (c.killServer) {
          server.Kill();
        } else {
          sink.RemovePort();
        }
      }
      return false;
    };
    options.timeout = std::chrono::seconds(12);  // 40 chords take 4 s
    const testing::ProcessResult r = testing::RunProgram(
        SONAVELA_CLI_PATH, {"--device", device, "--interval", "100", "--steps", "40"}, options);
    EXPECT_TRUE(failed);
    EXPECT_TRUE(r.exited) << "still running after " << options.timeout.count() << " s";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(CountLines(r.out), 40);
    EXPECT_EQ(r.err, "sonavela-cli: MIDI output device " + device + " (" + daw +
                         ":in) failed: " + c.reason + "; playing on silently\n");
  }
}

// The server quits and comes back under its name with the DAW on it again:
// the program finds the DAW's input again by itself and says so.
TEST(CliJackTest, AnOutputWhoseServerComesBackIsPlayedAgain) {
  const std::string pid = std::to_string(::getpid());
  const std::string serverName = "sonavela_cli_back_" + pid;
  const std::string daw = "sonavela_daw_" + pid;
  ::setenv("JACK_NO_START_SERVER", "1", 1);
  ::setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
  midi::testing::JackTestServer server;
  ASSERT_TRUE(server.Start(serverName, kServerStart)) << server.Error();
  auto sink = std::make_unique<midi::testing::JackMidiSink>();
  ASSERT_TRUE(sink->Open(serverName, daw)) << sink->Error();
  const std::string device = testing::IndexInListing(
      testing::RunProgram(SONAVELA_CLI_PATH, {"--list-devices"}).out, sink->PortName());
  ASSERT_FALSE(device.empty());

  bool failed = false;
  bool back = false;
  testing::ProcessOptions options;
  // On this thread: the server dies with the thread that started it.
  options.trigger = [&](const std::string& out) {
    if (!failed && CountLines(out) >= 5) {
      failed = true;
      server.Kill();
      sink.reset();
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      if (server.Start(serverName, kServerStart)) {
        sink = std::make_unique<midi::testing::JackMidiSink>();
        back = sink->Open(serverName, daw);
      }
    }
    return false;
  };
  options.timeout = std::chrono::seconds(30);
  const testing::ProcessResult r = testing::RunProgram(
      SONAVELA_CLI_PATH, {"--device", device, "--interval", "100", "--steps", "100"}, options);
  ASSERT_TRUE(back) << server.Error();
  EXPECT_TRUE(r.exited);
  EXPECT_EQ(r.status, 1) << "the failure is the run's";
  EXPECT_EQ(r.err, "sonavela-cli: MIDI output device " + device + " (" + daw +
                       ":in) failed: the JACK server has quit; playing on silently\n"
                       "sonavela-cli: note: the MIDI output device \"" +
                       daw + ":in\" is back; playing on it again\n");
  const std::vector<std::uint8_t> bytes =
      sink->WaitForBytes(1 << 20, std::chrono::milliseconds(200));
  EXPECT_GE(std::count(bytes.begin(), bytes.end(), 0x90), 11 * 10) << "heard again";
}

}  // namespace
}  // namespace sonavela::cli
