// SPDX-License-Identifier: GPL-3.0-or-later
#include <fluidsynth.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "midi/devices/synth/synth_backend.h"
#include "midi/devices/synth/synth_config.h"
#include "midi/devices/synth/synth_engine.h"
#include "midi/devices/synth/synth_log.h"
#include "midi/devices/synth/synth_schedule.h"
#include "midi/port/midi_port.h"
#include "stderr_capture.h"
#include "support/why.h"

namespace sonavela::midi {
namespace {

const Timestamp kT{};

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
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      setenv(name_, value->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

  const char* name_;
  std::optional<std::string> old_;
};

std::string TempPath(const std::string& stem) {
  return (std::filesystem::temp_directory_path() / (stem + "_" + std::to_string(getpid())))
      .string();
}

TEST(SoundFontLookup, ExplicitChoiceWinsAndIsNeverSilentlyReplaced) {
  const std::string font = TempPath("sonavela_font.sf2");
  std::ofstream(font) << "x";
  const std::string missing = TempPath("sonavela_missing.sf2");

  {
    ScopedEnv env("SONAVELA_SOUNDFONT", missing);
    EXPECT_EQ(FindSoundFont(font).value(), font);  // the option beats the variable
    const std::string fromEnv = Why(FindSoundFont(""));
    EXPECT_THAT(fromEnv, HasSubstr(missing));
    EXPECT_THAT(fromEnv, HasSubstr("SONAVELA_SOUNDFONT"));
  }
  {
    ScopedEnv env("SONAVELA_SOUNDFONT", font);
    EXPECT_EQ(FindSoundFont("").value(), font);
  }
  EXPECT_THAT(Why(FindSoundFont(missing)), HasSubstr(missing));
  std::filesystem::remove(font);
}

TEST(SoundFontLookup, FallsBackToTheSystemGeneralMidiFont) {
  // The build machine has timgm6mb-soundfont (scripts/install-deps.sh).
  ScopedEnv env("SONAVELA_SOUNDFONT", std::nullopt);
  const Result<std::string> found = FindSoundFont("");
  ASSERT_OK(found);
  EXPECT_THAT(DefaultSoundFontCandidates(), Contains(*found));
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
  EXPECT_THAT(defaults, ElementsAre("pulseaudio", "alsa", "jack"));
#endif
}

// FluidSynth's "file" driver renders on a timer thread of its own while this
// thread sends notes: only a synthesizer made with its lock may be given to
// it. Run under ThreadSanitizer, this is where a missing lock shows.
TEST(SynthEngine, DriversThatRenderOnTheirOwnThreadGetALockedSynthesizerOrNone) {
  const Result<std::string> soundFont = FindSoundFont("");
  ASSERT_OK(soundFont);
  const std::filesystem::path folder = TempPath("sonavela_synth_thread");
  std::filesystem::create_directories(folder);
  const std::filesystem::path previousFolder = std::filesystem::current_path();
  std::filesystem::current_path(folder);  // where the driver writes
  for (const bool shared : {false, true}) {
    SCOPED_TRACE(shared);
    Result<std::unique_ptr<SynthEngine>> made =
        SynthEngine::Create(*soundFont, 44100.0, {}, shared);
    ASSERT_OK(made);
    std::unique_ptr<SynthEngine> engine = std::move(made).value();
    const Status started = engine->StartAudio({"file"}, "sonavela_test", std::nullopt);
    EXPECT_EQ(started.ok(), shared) << Why(started);
    if (!started) {
      EXPECT_THAT(Why(started), HasSubstr("thread of its own"));
      continue;
    }
    for (int i = 0; i < 200; ++i) {
      const auto note = static_cast<std::uint8_t>(48 + i % 24);
      EXPECT_TRUE(engine->Schedule(MidiMessage::NoteOn(0, note, 90), MidiClock::now()));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      EXPECT_TRUE(engine->Schedule(MidiMessage::NoteOff(0, note), MidiClock::now()));
    }
  }
  std::filesystem::current_path(previousFolder);
  EXPECT_GT(std::filesystem::file_size(folder / "fluidsynth.wav"), 44U);
  std::filesystem::remove_all(folder);
}

// Whatever is wrong, the user gets the real reason in one line, and none of
// the libraries below prints anything of its own.
TEST(SynthBackend, OpenFailuresAreQuickQuietAndSayWhy) {
  using Clock = std::chrono::steady_clock;
  const std::filesystem::path folder = TempPath("sonavela_synth_open");
  std::filesystem::create_directories(folder);
  const std::string empty = (folder / "empty.sf2").string();
  const std::string garbage = (folder / "garbage.sf2").string();
  const std::string brokenSf2 = (folder / "broken.sf2").string();
  std::ofstream{empty};
  std::ofstream(garbage) << std::string(600, '\x5A');
  // An SF2 header with nothing sensible behind it gets past the type check
  // into the loaders.
  std::ofstream(brokenSf2) << "RIFF" << std::string("\xE8\x03\0\0", 4) << "sfbk"
                           << std::string(600, '\x01');
  // The "file" driver would write into the current folder.
  const std::filesystem::path previousFolder = std::filesystem::current_path();
  std::filesystem::current_path(folder);

  struct Case {
    std::string soundFont;
    std::string audioDriver;
    std::vector<std::string> reasons;
    std::vector<std::string> absent;
  };
  const std::string missing = (folder / "missing.sf2").string();
  const std::vector<Case> cases{
      {missing, "", {missing, "does not exist"}, {}},
      {folder.string(), "", {folder.string(), "is a folder"}, {}},
      {"/dev/zero", "", {"/dev/zero", "is not a regular file"}, {}},
      {empty, "", {empty, "is empty"}, {}},
      {garbage, "", {garbage, "is not a SoundFont"}, {}},
      {brokenSf2, "", {brokenSf2, "could not be loaded", "SoundFont"}, {"CRITICAL"}},
      {"", "no-such-driver", {"no-such-driver", "SONAVELA_AUDIO_DRIVER", "jack"}, {"file"}},
      {"", "file", {"fluidsynth.wav", "--wav"}, {}},
  };
  MidiPort names(std::make_unique<SynthBackend>());
  std::string name;
  ASSERT_TRUE(names.DeviceName(0, name));
  EXPECT_EQ(name, "Built-in synthesizer (FluidSynth)");
  EXPECT_FALSE(names.DeviceName(1, name));

  for (const Case& c : cases) {
    SCOPED_TRACE(c.soundFont + c.audioDriver);
    SynthBackendOptions options;
    options.soundFont = c.soundFont;
    options.audioDriver = c.audioDriver;
    const auto start = Clock::now();
    testing::StderrCapture stderrText;
    MidiPort port(std::make_unique<SynthBackend>(options));
    const std::string why = Why(port.OpenDevice(0, kT));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(port.IsOpen());
    port.PlayChord({}, kT);  // harmless while closed
    EXPECT_EQ(stderrText.Take(), "");
    for (const std::string& reason : c.reasons) {
      EXPECT_THAT(why, HasSubstr(reason));
    }
    for (const std::string& text : c.absent) {
      EXPECT_THAT(why, Not(HasSubstr(text)));
    }
    EXPECT_EQ(why.find('\n'), std::string::npos);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "fluidsynth.wav"));
  std::filesystem::current_path(previousFolder);
  std::filesystem::remove_all(folder);
}

TEST(SynthLog, KeepsTheFirstWarningsAndCountsTheRestFromAnyThread) {
  constexpr int kThreads = 4;
  constexpr int kEach = 2000;
  testing::StderrCapture stderrText;
  {
    // Two synthesizers alive at once both hear FluidSynth's one log.
    SynthLog first;
    SynthLog second;
    fluid_log(FLUID_INFO, "%s", "chatter, not worth telling");
    fluid_log(FLUID_ERR, "%s", "the first");
    fluid_log(FLUID_WARN, "%s", "the second");
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([] {
        for (int i = 0; i < kEach; ++i) {
          fluid_log(FLUID_WARN, "flood %d", i);
        }
      });
    }
    for (std::thread& thread : threads) {
      thread.join();
    }
    const std::string expected =
        "the first; the second; " + std::to_string(kThreads * kEach) + " more messages";
    EXPECT_EQ(first.Reasons(), expected);
    EXPECT_EQ(second.Reasons(), expected);
    first.Clear();
    EXPECT_EQ(first.Reasons(), "");
  }
  EXPECT_EQ(stderrText.Take(), "");

  // With no synthesizer left, FluidSynth speaks for itself again.
  testing::StderrCapture after;
  fluid_log(FLUID_WARN, "%s", "heard again");
  EXPECT_THAT(after.Take(), HasSubstr("heard again"));
}

TEST(SynthLog, OnceWatchedAnErrorOrAFullEventQueueMeansTheAudioIsLost) {
  struct Case {
    int level;
    const char* message;
    bool lost;
  };
  const Case cases[] = {
      {FLUID_WARN, "Instrument not found on channel 0 [bank=0 prog=48]", false},
      {FLUID_INFO, "Jack sample rate mismatch, adjusting.", false},
      {FLUID_WARN, "Ringbuffer full, try increasing synth.polyphony!", true},
      {FLUID_ERR, "Help! Lost the connection to the JACK server", true},
      {FLUID_PANIC, "Out of memory", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    SynthLog log;
    fluid_log(FLUID_ERR, "%s", "while a driver was tried");
    log.WatchAudio();
    fluid_log(c.level, "%s", c.message);
    fluid_log(FLUID_ERR, "%s", "what followed");
    const std::optional<std::string> loss = log.AudioLoss();
    EXPECT_EQ(loss, c.lost ? std::optional<std::string>(c.message)
                           : std::optional<std::string>("what followed"));
  }
}

// A sound card's clock runs some ppm off the system's, and its callbacks
// begin with a jitter; over an hour the estimate must neither drift nor
// wander, also after the output stalled once.
TEST(FrameClock, FollowsAnOutputClockThatRunsOffWithoutDriftingOverAnHour) {
  struct Case {
    double ppm;
    std::chrono::milliseconds stall;  // half an hour in, the output stops this long
    int restarts;
  };
  const Case cases[] = {{0, {}, 0}, {+200, {}, 0}, {-200, std::chrono::milliseconds(300), 1}};
  constexpr double kRate = 48000;
  constexpr std::int64_t kCycle = 256;
  constexpr double kJitterNs = 500e3;
  constexpr std::int64_t kHour = static_cast<std::int64_t>(3600 * kRate);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ppm);
    const double nsPerFrame = 1e9 / kRate * (1 + c.ppm * 1e-6);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(0, kJitterNs);
    FrameClock clock(kRate);
    const Timestamp start = MidiClock::now();
    double stalled = 0;
    double worst = 0;
    double best = kJitterNs;
    for (std::int64_t frame = 0; frame < kHour; frame += kCycle) {
      if (frame == kHour / 2 / kCycle * kCycle) {
        stalled = std::chrono::duration<double, std::nano>(c.stall).count();
      }
      const double due = static_cast<double>(frame) * nsPerFrame + stalled;
      const auto at = [&](double ns) {
        return start + std::chrono::nanoseconds(static_cast<std::int64_t>(ns));
      };
      clock.Tick(frame, at(due + jitter(random)));
      // How much later than the callbacks' earliest the estimate puts a frame.
      const double late = (static_cast<double>(frame) - clock.FrameAt(at(due))) * nsPerFrame;
      const double sinceStall = static_cast<double>(frame - kHour / 2) / kRate;
      if (frame > 5 * kRate && (sinceStall < 0 || sinceStall > 5)) {
        worst = std::max(worst, late);
        best = std::min(best, late);
      }
    }
    // The loop settles on the callbacks' mean, half the jitter.
    EXPECT_GT(best, 0.3 * kJitterNs);
    EXPECT_LT(worst, 0.7 * kJitterNs);
    EXPECT_EQ(clock.Restarts(), c.restarts);
  }
}

}  // namespace
}  // namespace sonavela::midi
