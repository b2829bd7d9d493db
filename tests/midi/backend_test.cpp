// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/devices/alsa-rtmidi/virtual_port_backend.h"
#include "midi/devices/system_backend.h"
#include "midi/files/byte_sink.h"
#include "midi/files/wav_writer.h"
#include "midi/port/composite_backend.h"
#include "midi/port/midi_port.h"
#include "support/recording_backend.h"
#include "support/why.h"

namespace sonavela::midi {
namespace {

const Timestamp kT{};
constexpr MidiMessage kAllNotesOff = MidiMessage::AllNotesOff(1);

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string TempPath(const std::string& stem) {
  return (std::filesystem::temp_directory_path() / (stem + "_" + std::to_string(getpid())))
      .string();
}

TEST(CompositeBackend, JoinsTheDeviceListsAndRoutesToThePartOfTheIndex) {
  auto first = std::make_shared<MidiLog>();
  auto second = std::make_shared<MidiLog>();
  std::vector<std::unique_ptr<MidiBackend>> parts;
  parts.push_back(std::make_unique<RecordingBackend>(
      std::vector<RecordedDevice>{{"Synth"}, {std::nullopt}}, first));
  parts.push_back(nullptr);  // a family that could not be made at all
  parts.push_back(std::make_unique<RecordingBackend>(
      std::vector<RecordedDevice>{{"Port A"}, {"Port B"}, {"Port C", false}}, second));
  MidiPort port(std::make_unique<CompositeBackend>(std::move(parts)));

  ASSERT_EQ(port.DeviceCount(), 5U);
  std::vector<std::string> names;
  for (unsigned i = 0; i < port.DeviceCount(); ++i) {
    std::string name = "<Error>";
    (void)port.DeviceName(i, name);
    names.push_back(name);
  }
  EXPECT_THAT(names, ElementsAre("Synth", "<Error>", "Port A", "Port B", "Port C"));

  ASSERT_TRUE(port.OpenDevice(3, kT));
  port.NoteOn(60, 64, kT);
  ASSERT_TRUE(port.OpenDevice(0, kT));
  EXPECT_THAT(second->events,
              ElementsAre(RecordedEvent{RecordedKind::kOpen, 1},
                          RecordedEvent{RecordedKind::kSend, 1, kAllNotesOff},
                          RecordedEvent{RecordedKind::kSend, 1, MidiMessage::NoteOn(1, 60, 64)},
                          RecordedEvent{RecordedKind::kSend, 1, kAllNotesOff},
                          RecordedEvent{RecordedKind::kClose, 1}));
  EXPECT_THAT(first->events, ElementsAre(RecordedEvent{RecordedKind::kOpen, 0},
                                         RecordedEvent{RecordedKind::kSend, 0, kAllNotesOff}));

  EXPECT_FALSE(Why(port.OpenDevice(4, kT)).empty());
  EXPECT_THAT(Why(port.OpenDevice(5, kT)), HasSubstr("5"));
  EXPECT_FALSE(port.IsOpen());
}

TEST(SystemBackend, BuiltInSynthIsDeviceZeroUnlessLeftOut) {
  ScopedEnv noServer("JACK_DEFAULT_SERVER", "sonavela_no_server_" + std::to_string(getpid()));
  MidiPort withSynth(MakeSystemBackend());
  ASSERT_GE(withSynth.DeviceCount(), 1U);
  std::string name;
  ASSERT_TRUE(withSynth.DeviceName(0, name));
  EXPECT_EQ(name, "Built-in synthesizer (FluidSynth)");

  SystemBackendOptions options;
  options.includeBuiltInSynth = false;
  MidiPort without(MakeSystemBackend(options));
  EXPECT_EQ(without.DeviceCount() + 1, withSynth.DeviceCount());
  EXPECT_FALSE(Why(without.OpenDevice(without.DeviceCount(), kT)).empty());
}

TEST(VirtualPort, JackWhenAServerRunsElseTheAlsaSequencerElseNone) {
  struct Case {
    MidiHost host;
    std::optional<VirtualPortApi> api;
  };
  const Case cases[] = {
      {{true, true}, VirtualPortApi::kJack},
      {{true, false}, VirtualPortApi::kJack},
      {{false, true}, VirtualPortApi::kAlsa},
      {{false, false}, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChooseVirtualPortApi(c.host), c.api)
        << "jack " << c.host.jackServer << " alsa " << c.host.alsaSequencer;
  }
}

TEST(VirtualPort, AbsentWithoutJackServerAndAlsaSequencer) {
  ScopedEnv noServer("JACK_DEFAULT_SERVER", "sonavela_no_server_" + std::to_string(getpid()));
  SystemBackendOptions options;
  options.includeBuiltInSynth = false;
  options.alsaSequencer = TempPath("sonavela_no_sequencer");
  MidiPort port(MakeSystemBackend(options));
  EXPECT_EQ(port.DeviceCount(), 0U);
  std::vector<std::string> reasons;
  for (const Error& reason : port.UnavailableDevices()) {
    reasons.push_back(EnglishText(reason));
  }
  EXPECT_THAT(reasons, ::testing::Contains("JACK: no JACK server is running"));
}

TEST(WavWriter, WritesACanonicalHeaderWithTheFinalSizes) {
  MemorySink sink;
  WavWriter writer;
  ASSERT_TRUE(writer.Open(sink, 22050, 2));
  const std::vector<std::int16_t> samples{1, -1, 0x1234, -32768};
  ASSERT_TRUE(writer.Append(samples));
  EXPECT_EQ(writer.FramesWritten(), 2U);
  ASSERT_TRUE(writer.Finish());
  EXPECT_FALSE(writer.IsOpen());
  const std::vector<std::uint8_t> expected{
      'R', 'I', 'F', 'F', 44, 0, 0,    0,    'W', 'A', 'V',  'E',  'f',  'm',  't',  ' ', 16, 0,
      0,   0,   1,   0,   2,  0, 0x22, 0x56, 0,   0,   0x88, 0x58, 0x01, 0,    4,    0,   16, 0,
      'd', 'a', 't', 'a', 8,  0, 0,    0,    1,   0,   0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80};
  EXPECT_EQ(sink.Bytes(), expected);
  EXPECT_FALSE(writer.Append(std::vector<std::int16_t>{1, 2})) << "finished";
}

}  // namespace
}  // namespace sonavela::midi
