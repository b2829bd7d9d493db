#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/composite_backend.h"
#include "midi/midi_port.h"
#include "midi/recording_backend.h"
#include "midi/synth_backend.h"
#include "midi/synth_config.h"
#include "midi/system_backend.h"
#include "midi/virtual_port_backend.h"
#include "midi/wav_writer.h"

namespace sonavela::midi {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

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

  ASSERT_TRUE(port.OpenDevice(3));
  port.NoteOn(60, 64);
  ASSERT_TRUE(port.OpenDevice(0));
  EXPECT_THAT(second->events, ElementsAre(RecordedEvent{RecordedKind::kOpen, 1},
                                          RecordedEvent{RecordedKind::kSend, 1, kAllNotesOff},
                                          RecordedEvent{RecordedKind::kSend, 1, 0x403C90},
                                          RecordedEvent{RecordedKind::kSend, 1, kAllNotesOff},
                                          RecordedEvent{RecordedKind::kClose, 1}));
  EXPECT_THAT(first->events, ElementsAre(RecordedEvent{RecordedKind::kOpen, 0},
                                         RecordedEvent{RecordedKind::kSend, 0, kAllNotesOff}));

  EXPECT_FALSE(port.OpenDevice(4));
  EXPECT_FALSE(port.LastError().empty());
  EXPECT_FALSE(port.OpenDevice(5));
  EXPECT_THAT(port.LastError(), HasSubstr("5"));
  EXPECT_FALSE(port.IsOpen());
}

TEST(SoundFontLookup, ExplicitChoiceWinsAndIsNeverSilentlyReplaced) {
  const std::string font = TempPath("sonavela_font.sf2");
  std::ofstream(font) << "x";
  const std::string missing = TempPath("sonavela_missing.sf2");

  {
    ScopedEnv env("SONAVELA_SOUNDFONT", missing);
    EXPECT_EQ(FindSoundFont(font).path, font);  // the option beats the variable
    const SoundFontLookup fromEnv = FindSoundFont("");
    EXPECT_TRUE(fromEnv.path.empty());
    EXPECT_THAT(fromEnv.error, HasSubstr(missing));
    EXPECT_THAT(fromEnv.error, HasSubstr("SONAVELA_SOUNDFONT"));
  }
  {
    ScopedEnv env("SONAVELA_SOUNDFONT", font);
    EXPECT_EQ(FindSoundFont("").path, font);
  }
  const SoundFontLookup explicitMissing = FindSoundFont(missing);
  EXPECT_TRUE(explicitMissing.path.empty());
  EXPECT_THAT(explicitMissing.error, HasSubstr(missing));
  std::filesystem::remove(font);
}

TEST(SoundFontLookup, FallsBackToTheSystemGeneralMidiFont) {
  // The build machine has timgm6mb-soundfont (scripts/install-deps.sh).
  ScopedEnv env("SONAVELA_SOUNDFONT", std::nullopt);
  const SoundFontLookup found = FindSoundFont("");
  ASSERT_FALSE(found.path.empty()) << found.error;
  EXPECT_THAT(DefaultSoundFontCandidates(), Contains(found.path));
  EXPECT_EQ(DefaultSoundFontCandidates().front(), "/usr/share/sounds/sf2/default-GM.sf2");
}

TEST(AudioDrivers, ExplicitThenEnvironmentThenTheDefaultOrder) {
  {
    ScopedEnv env("SONAVELA_AUDIO_DRIVER", "alsa");
    EXPECT_THAT(AudioDriverCandidates("jack"), ElementsAre("jack"));
    EXPECT_THAT(AudioDriverCandidates(""), ElementsAre("alsa"));
  }
  ScopedEnv env("SONAVELA_AUDIO_DRIVER", std::nullopt);
  const std::vector<std::string> defaults = AudioDriverCandidates("");
  EXPECT_FALSE(defaults.empty());
  EXPECT_THAT(defaults, Not(Contains("file")));
#if defined(__linux__)
  EXPECT_THAT(defaults, ElementsAre("pulseaudio", "alsa", "jack", "sdl2"));
#endif
}

TEST(SynthBackend, OpenFailuresAreQuickAndSayWhy) {
  using Clock = std::chrono::steady_clock;
  struct Case {
    SynthBackendOptions options;
    std::vector<std::string> reasons;
  };
  SynthBackendOptions noFont;
  noFont.soundFont = TempPath("sonavela_no_such_font.sf2");
  SynthBackendOptions noDriver;
  noDriver.audioDriver = "no-such-driver";
  const std::vector<Case> cases{
      {noFont, {noFont.soundFont, "does not exist"}},
      {noDriver, {"no-such-driver", "SONAVELA_AUDIO_DRIVER"}},
  };
  for (const Case& c : cases) {
    const auto start = Clock::now();
    MidiPort port(std::make_unique<SynthBackend>(c.options));
    std::string name;
    ASSERT_TRUE(port.DeviceName(0, name));
    EXPECT_EQ(name, "Built-in synthesizer (FluidSynth)");
    EXPECT_FALSE(port.DeviceName(1, name));
    EXPECT_FALSE(port.OpenDevice(0));
    EXPECT_FALSE(port.IsOpen());
    for (const std::string& reason : c.reasons) {
      EXPECT_THAT(port.LastError(), HasSubstr(reason));
    }
    port.PlayChord({});  // harmless while closed
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  }
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
  EXPECT_FALSE(without.OpenDevice(without.DeviceCount()));
  EXPECT_FALSE(without.LastError().empty());
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
  for (unsigned i = 0; i < port.DeviceCount(); ++i) {
    std::string name;
    EXPECT_TRUE(!port.DeviceName(i, name) || name != kVirtualPortDeviceName) << i;
  }

  VirtualPortBackend none(std::nullopt, "Sonavela");
  EXPECT_EQ(none.DeviceCount(), 0U);
  EXPECT_EQ(none.DeviceName(0), std::nullopt);
  EXPECT_FALSE(none.Open(0));
  EXPECT_FALSE(none.LastError().empty());
}

TEST(VirtualPort, OpeningFailsCleanlyWhenTheTransportIsGone) {
  // The list said JACK, but no server answers by the time the port opens.
  ScopedEnv noServer("JACK_DEFAULT_SERVER", "sonavela_no_server_" + std::to_string(getpid()));
  VirtualPortBackend jack(VirtualPortApi::kJack, "sonavela_gone_" + std::to_string(getpid()));
  ASSERT_EQ(jack.DeviceCount(), 1U);
  EXPECT_EQ(jack.DeviceName(0), kVirtualPortDeviceName);
  EXPECT_FALSE(jack.Open(0));
  EXPECT_THAT(jack.LastError(), HasSubstr("no JACK server"));
  jack.Send(kAllNotesOff);  // nothing open: ignored
  EXPECT_FALSE(jack.Open(1));
}

TEST(WavWriter, WritesACanonicalHeaderWithTheFinalSizes) {
  const std::string path = TempPath("sonavela_writer.wav");
  {
    WavWriter writer;
    ASSERT_TRUE(writer.Open(path, 22050, 2));
    const std::vector<std::int16_t> samples{1, -1, 0x1234, -32768};
    ASSERT_TRUE(writer.Append(samples));
    EXPECT_EQ(writer.FramesWritten(), 2U);
  }  // the destructor finishes the file
  std::ifstream file(path, std::ios::binary);
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file),
                                         std::istreambuf_iterator<char>()};
  const std::vector<unsigned char> expected{
      'R', 'I', 'F', 'F', 44, 0, 0,    0,    'W', 'A', 'V',  'E',  'f',  'm',  't',  ' ', 16, 0,
      0,   0,   1,   0,   2,  0, 0x22, 0x56, 0,   0,   0x88, 0x58, 0x01, 0,    4,    0,   16, 0,
      'd', 'a', 't', 'a', 8,  0, 0,    0,    1,   0,   0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80};
  EXPECT_EQ(bytes, expected);
  std::filesystem::remove(path);

  WavWriter nowhere;
  EXPECT_FALSE(nowhere.Open("/nonexistent-dir/x.wav", 44100, 2));
  EXPECT_THAT(nowhere.LastError(), HasSubstr("/nonexistent-dir/x.wav"));
  EXPECT_FALSE(nowhere.Append(std::vector<std::int16_t>{1, 2}));
}

}  // namespace
}  // namespace sonavela::midi
