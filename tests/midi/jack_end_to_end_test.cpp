// SPDX-License-Identifier: GPL-3.0-or-later
// Drives a real MIDI transport: a private JACK server, a recording MIDI
// client, and MidiPort on the system device list. What arrives must be byte
// for byte what the in-memory recorder records for the same calls.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "harmony/chord.h"
#include "jack_harness.h"
#include "midi/devices/alsa-rtmidi/virtual_port_backend.h"
#include "midi/devices/system_backend.h"
#include "midi/port/midi_port.h"
#include "support/recording_backend.h"
#include "support/why.h"

namespace sonavela::midi {
namespace {

const Timestamp kT{};

using ::testing::ElementsAreArray;

constexpr std::chrono::seconds kServerStart{15};
constexpr std::chrono::seconds kDelivery{5};

// The calls under test, applied to whatever port they are given.
void PlaySession(MidiPort& port) {
  port.ProgramChange(49, kT);
  port.PlayChord({{'C', 0}, harmony::kMajorTriad}, kT);
  port.PlayChord({{'A', 0}, harmony::kMinorTriad}, kT);
  port.ProgramChange(1, kT);
}

std::optional<unsigned> FindDevice(const MidiPort& port, const std::string& wanted) {
  for (unsigned i = 0; i < port.DeviceCount(); ++i) {
    std::string name;
    if (port.DeviceName(i, name) && name == wanted) {
      return i;
    }
  }
  return std::nullopt;
}

std::string ListDevices(const MidiPort& port) {
  std::string list;
  for (unsigned i = 0; i < port.DeviceCount(); ++i) {
    std::string name = "<Error>";
    (void)port.DeviceName(i, name);
    list += " [" + std::to_string(i) + "] " + name;
  }
  return list;
}

TEST(JackEndToEnd, SinkReceivesExactlyTheRecordedBytes) {
  const std::string pid = std::to_string(getpid());
  const std::string serverName = "sonavela_test_" + pid;
  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);

  testing::JackTestServer server;
  ASSERT_TRUE(server.Start(serverName, kServerStart)) << server.Error();
  testing::JackMidiSink sink;
  ASSERT_TRUE(sink.Open(serverName, "sonavela_sink_" + pid)) << sink.Error();

  // What the same session looks like to the recorder, as wire bytes.
  auto log = std::make_shared<MidiLog>();
  {
    MidiPort recorded(RecordingBackend::WithDevices(1, log));
    ASSERT_TRUE(recorded.OpenDevice(0, kT));
    PlaySession(recorded);
  }
  const std::vector<std::uint8_t> expected = log->Bytes();
  ASSERT_EQ(expected.size(), 3U + (3U + 2U) + 12U * 3U + 12U * 3U + (3U + 2U) + 3U);

  {
    SystemBackendOptions options;
    options.clientName = "sonavela_e2e_" + pid;
    MidiPort port(MakeSystemBackend(options));
    std::string synthName;
    ASSERT_TRUE(port.DeviceName(0, synthName));
    EXPECT_EQ(synthName, "Built-in synthesizer (FluidSynth)");
    const std::optional<unsigned> device = FindDevice(port, sink.PortName());
    ASSERT_TRUE(device.has_value())
        << "no device " << sink.PortName() << " in" << ListDevices(port);
    ASSERT_OK(port.OpenDevice(*device, kT));
    PlaySession(port);
  }  // the destructor silences and closes the device

  EXPECT_THAT(sink.WaitForBytes(expected.size(), kDelivery), ElementsAreArray(expected));
}

TEST(JackEndToEnd, PortThatVanishedFailsToOpen) {
  const std::string pid = std::to_string(getpid());
  const std::string serverName = "sonavela_test_" + pid;
  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);

  testing::JackTestServer server;
  ASSERT_TRUE(server.Start(serverName, kServerStart)) << server.Error();
  auto sink = std::make_unique<testing::JackMidiSink>();
  ASSERT_TRUE(sink->Open(serverName, "sonavela_gone_" + pid)) << sink->Error();
  const std::string portName = sink->PortName();

  SystemBackendOptions options;
  options.includeBuiltInSynth = false;
  options.clientName = "sonavela_e2e_" + pid;
  MidiPort port(MakeSystemBackend(options));
  const std::optional<unsigned> device = FindDevice(port, portName);
  ASSERT_TRUE(device.has_value()) << "no device " << portName << " in" << ListDevices(port);

  sink.reset();  // the port disappears after the list was read
  EXPECT_THAT(Why(port.OpenDevice(*device, kT)), ::testing::HasSubstr("no longer available"));
  EXPECT_FALSE(port.IsOpen());
}

// What the playback control sends for a Start and the first tick.
void StartAndTick(MidiPort& port) {
  port.ProgramChange(49, kT);
  port.AllNotesOff(kT);
  port.PlayChord({{'C', 0}, harmony::kMajorTriad}, kT);
  port.PlayChord({{'A', 0}, harmony::kMinorTriad}, kT);
}

std::vector<std::string> DeviceNames(const MidiPort& port) {
  std::vector<std::string> names;
  for (unsigned i = 0; i < port.DeviceCount(); ++i) {
    std::string name = "<Error>";
    (void)port.DeviceName(i, name);
    names.push_back(name);
  }
  return names;
}

TEST(JackVirtualPort, ConnectedSinkReceivesTheBytesOfAStartAndATick) {
  const std::string pid = std::to_string(getpid());
  const std::string serverName = "sonavela_vtest_" + pid;
  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);

  testing::JackTestServer server;
  ASSERT_TRUE(server.Start(serverName, kServerStart)) << server.Error();
  testing::JackMidiSink sink;
  ASSERT_TRUE(sink.Open(serverName, "sonavela_vsink_" + pid)) << sink.Error();

  auto log = std::make_shared<MidiLog>();
  std::vector<std::uint8_t> expected;
  {
    MidiPort recorded(RecordingBackend::WithDevices(1, log));
    ASSERT_TRUE(recorded.OpenDevice(0, kT));
    log->Clear();
    StartAndTick(recorded);
    expected = log->Bytes();
  }
  ASSERT_EQ(expected.size(), 3U + 2U + 3U + (3U + 11U * 3U) + (3U + 11U * 3U));
  const std::vector<std::uint8_t> start{0xB0, 0x7B, 0x00, 0xC0, 0x30, 0xB0, 0x7B,
                                        0x00, 0xB0, 0x7B, 0x00, 0x90, 0x60, 0x40};
  ASSERT_TRUE(std::equal(start.begin(), start.end(), expected.begin()));

  SystemBackendOptions options;
  options.clientName = "sonavela_virtual_" + pid;
  auto port = std::make_unique<MidiPort>(MakeSystemBackend(options));
  const std::vector<std::string> names = DeviceNames(*port);
  ASSERT_GE(names.size(), 3U);
  EXPECT_EQ(names.front(), "Built-in synthesizer (FluidSynth)");
  EXPECT_THAT(names, ::testing::Contains(sink.PortName()));
  EXPECT_EQ(names.back(), kVirtualPortDeviceName);
  EXPECT_EQ(std::count(names.begin(), names.end(), kVirtualPortDeviceName), 1);

  ASSERT_OK(port->OpenDevice(port->DeviceCount() - 1, kT));
  const std::string virtualPort = options.clientName + ":out";
  ASSERT_TRUE(sink.ConnectFrom(virtualPort, kDelivery)) << sink.Error();
  // The all-notes-off of the open may still be on its way; only what the
  // session sends counts.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  sink.Discard();

  // Listed once more while the port exists: it is ours, not a system output.
  SystemBackendOptions other;
  other.includeBuiltInSynth = false;
  other.includeVirtualPort = false;
  other.clientName = "sonavela_lister_" + pid;
  const std::vector<std::string> again = DeviceNames(MidiPort(MakeSystemBackend(other)));
  EXPECT_THAT(again, ::testing::Contains(sink.PortName()));
  for (const std::string& name : again) {
    EXPECT_FALSE(name.starts_with(options.clientName + ":")) << name;
  }

  StartAndTick(*port);
  EXPECT_THAT(sink.WaitForBytes(expected.size(), kDelivery), ElementsAreArray(expected));

  EXPECT_TRUE(sink.PortExists(virtualPort));
  port.reset();  // silences and removes the port
  expected.insert(expected.end(), {0xB0, 0x7B, 0x00});
  EXPECT_THAT(sink.WaitForBytes(expected.size(), kDelivery), ElementsAreArray(expected));
  EXPECT_FALSE(sink.PortExists(virtualPort));
}

TEST(JackVirtualPort, LeftOutOnRequest) {
  const std::string pid = std::to_string(getpid());
  const std::string serverName = "sonavela_vtest_" + pid;
  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
  testing::JackTestServer server;
  ASSERT_TRUE(server.Start(serverName, kServerStart)) << server.Error();

  SystemBackendOptions options;
  options.includeBuiltInSynth = false;
  options.clientName = "sonavela_virtual_" + pid;
  const std::vector<std::string> with = DeviceNames(MidiPort(MakeSystemBackend(options)));
  options.includeVirtualPort = false;
  const std::vector<std::string> without = DeviceNames(MidiPort(MakeSystemBackend(options)));
  ASSERT_FALSE(with.empty());
  EXPECT_EQ(with.back(), kVirtualPortDeviceName);
  EXPECT_EQ(without, std::vector<std::string>(with.begin(), with.end() - 1));
}

}  // namespace
}  // namespace sonavela::midi
