// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <set>
#include <string>

#include "harmony/chord.h"
#include "midi/files/byte_sink.h"
#include "midi/files/synth_renderer.h"
#include "midi/port/midi_port.h"
#include "support/byte_sinks.h"
#include "support/why.h"
#include "wav_reader.h"

namespace sonavela::midi {
namespace {

const Timestamp kT{};

using namespace std::chrono_literals;

std::string TempPath(const std::string& stem) {
  return (std::filesystem::temp_directory_path() / (stem + "_" + std::to_string(getpid()) + ".wav"))
      .string();
}

// What the renderer wrote, put into a file for the reader, which is removed
// when the test ends, passed or not.
struct TempFile {
  std::string path;
  MemorySink sink;
  explicit TempFile(const std::string& stem) : path(TempPath(stem)) {}
  ~TempFile() { std::remove(path.c_str()); }
  std::optional<testing::WavData> Read(std::string& error) const {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(sink.Bytes().data()),
               static_cast<std::streamsize>(sink.Bytes().size()));
    return testing::ReadWav(path, error);
  }
};

// Refuses every byte, as a disk that is full from the start.
class FullSink final : public ByteSink {
 public:
  Status Append(std::span<const std::uint8_t>) override { return FillingSink::Full(); }
  Status Overwrite(std::uint64_t, std::span<const std::uint8_t>) override {
    return FillingSink::Full();
  }
};

std::set<int> StrongestPitchClasses(const std::vector<double>& power, std::size_t count) {
  std::vector<int> order(12);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    return power[static_cast<std::size_t>(a)] > power[static_cast<std::size_t>(b)];
  });
  return {order.begin(), order.begin() + static_cast<long>(count)};
}

struct RenderCase {
  const char* name;
  harmony::Chord chord;
  std::int32_t instrument;
  std::set<int> pitchClasses;
  VoicingMode mode = VoicingMode::kFull;

  friend void PrintTo(const RenderCase& c, std::ostream* os) { *os << c.name; }
};

class SynthRenderTest : public ::testing::TestWithParam<RenderCase> {};

// The whole path a --wav run takes: MidiPort -> RendererBackend -> WAV file.
TEST_P(SynthRenderTest, ChordIsAudibleAndItsPitchClassesDominate) {
  TempFile file(std::string("sonavela_render_") + GetParam().name);
  auto renderer = std::make_shared<SynthRenderer>();
  {
    MidiPort port(std::make_unique<RendererBackend>(renderer, file.sink));
    ASSERT_OK(port.OpenDevice(0, kT));
    VoicingSettings voicing;
    voicing.mode = GetParam().mode;
    port.SetVoicing(voicing);
    port.ProgramChange(GetParam().instrument, kT);
    port.PlayChord(GetParam().chord, kT);
    ASSERT_OK(renderer->RenderUntil(2000ms));
  }
  EXPECT_FALSE(renderer->IsRendering());

  std::string error;
  const std::optional<testing::WavData> wav = file.Read(error);
  ASSERT_TRUE(wav.has_value()) << error;
  EXPECT_EQ(wav->channels, 2);
  EXPECT_EQ(wav->sampleRate, 44100);
  EXPECT_EQ(wav->bitsPerSample, 16);
  // The chord's two seconds, then its release and reverb, not cut with a
  // click but rendered until they have died away, within five seconds.
  ASSERT_GE(wav->samples.size(), 2U * 88200U);
  ASSERT_LE(wav->samples.size(), 2U * 88200U + 2U * 44100U * 5U);
  const auto peakOf = [&](std::size_t from, std::size_t to) {
    int peak = 0;
    for (std::size_t i = from; i < to; ++i) {
      peak = std::max(peak, std::abs(static_cast<int>(wav->samples[i])));
    }
    return peak;
  };
  const std::size_t end = wav->samples.size();
  EXPECT_GT(peakOf(2U * 88200U, 2U * 88200U + 2U * 2205U), 33) << "the release is cut";
  EXPECT_LT(peakOf(end - 2U * 1024U, end), 33) << "the tail ends above -60 dBFS";

  double energy = 0.0;
  int peak = 0;
  for (std::size_t i = 0; i < 2U * 88200U; ++i) {
    const std::int16_t s = wav->samples[i];
    energy += static_cast<double>(s) * s;
    peak = std::max(peak, std::abs(static_cast<int>(s)));
  }
  const double rms = std::sqrt(energy / static_cast<double>(2U * 88200U));
  EXPECT_GT(rms, 50.0) << "the rendered chord is (nearly) silent";
  EXPECT_GT(peak, 500);

  const std::vector<double> power = testing::PitchClassPower(*wav, 0.25, 1.75);
  EXPECT_EQ(StrongestPitchClasses(power, 3), GetParam().pitchClasses);
}

INSTANTIATE_TEST_SUITE_P(
    Chords, SynthRenderTest,
    ::testing::Values(RenderCase{"CMajorPiano", {{'C', 0}, harmony::kMajorTriad}, 1, {0, 4, 7}},
                      RenderCase{"AMinorPiano", {{'A', 0}, harmony::kMinorTriad}, 1, {9, 0, 4}},
                      RenderCase{"CMajorStrings", {{'C', 0}, harmony::kMajorTriad}, 49, {0, 4, 7}},
                      RenderCase{"AMinorStrings", {{'A', 0}, harmony::kMinorTriad}, 49, {9, 0, 4}},
                      RenderCase{"EbMajorPianoClose",
                                 {{'E', -1}, harmony::kMajorTriad},
                                 1,
                                 {3, 7, 10},
                                 VoicingMode::kClose},
                      RenderCase{"FSharpMinorStringsOpen",
                                 {{'F', 1}, harmony::kMinorTriad},
                                 49,
                                 {6, 9, 1},
                                 VoicingMode::kOpen},
                      RenderCase{"BDiminishedPianoBassTriad",
                                 {{'B', 0}, harmony::kDiminishedTriad},
                                 1,
                                 {11, 2, 5},
                                 VoicingMode::kBassTriad}),
    [](const ::testing::TestParamInfo<RenderCase>& info) { return std::string(info.param.name); });

TEST(SynthRenderer, ShortAdvancesAddUpWithoutDrift) {
  TempFile a("sonavela_drift_a");
  TempFile b("sonavela_drift_b");
  SynthRenderer renderer;
  ASSERT_OK(renderer.Begin(a.sink));
  ASSERT_TRUE(renderer.Advance(999ms));
  const std::uint64_t once = renderer.FramesRendered();
  ASSERT_OK(renderer.Begin(b.sink));  // finishes the first file
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(renderer.Advance(333ms));
  }
  EXPECT_EQ(renderer.FramesRendered(), once);
  EXPECT_EQ(once, 44055U);  // 0.999 s at 44.1 kHz, rounded down
  EXPECT_EQ(renderer.Position(), 999ms);
  ASSERT_TRUE(renderer.Finish());
  ASSERT_TRUE(renderer.Finish());  // nothing left to finish
}

TEST(SynthRenderer, SilenceBeforeAnyNoteAndNothingCarriesIntoTheNextFile) {
  TempFile a("sonavela_carry_a");
  TempFile b("sonavela_carry_b");
  SynthRenderer renderer;
  ASSERT_OK(renderer.Begin(a.sink));
  // Loud and never released; sent at 100 ms, so the first 100 ms are silent.
  ASSERT_TRUE(renderer.Send(MidiMessage::NoteOn(1, 60, 127), 100ms));
  ASSERT_TRUE(renderer.Advance(400ms));
  ASSERT_OK(renderer.Begin(b.sink));
  ASSERT_TRUE(renderer.Advance(500ms));
  ASSERT_TRUE(renderer.Finish());

  std::string error;
  const auto first = a.Read(error);
  const auto second = b.Read(error);
  ASSERT_TRUE(first && second) << error;
  const auto loud = [](const testing::WavData& wav) {
    return std::any_of(wav.samples.begin(), wav.samples.end(),
                       [](std::int16_t s) { return std::abs(static_cast<int>(s)) > 100; });
  };
  EXPECT_TRUE(loud(*first));
  EXPECT_FALSE(loud(*second));
  testing::WavData before = *first;
  before.samples.resize(2 * 4410);  // the first 100 ms
  EXPECT_FALSE(loud(before)) << "the note came before its time";
}

TEST(SynthRenderer, FailuresAreReportedNotHidden) {
  SynthRendererOptions missing;
  missing.soundFont = "/nonexistent/sonavela.sf2";
  SynthRenderer noFont(missing);
  MemorySink unused;
  EXPECT_THAT(Why(noFont.Begin(unused)), ::testing::HasSubstr("/nonexistent/sonavela.sf2"));
  EXPECT_FALSE(noFont.Advance(10ms));

  FullSink full;
  SynthRenderer fullDisk;
  EXPECT_THAT(Why(fullDisk.Begin(full)), ::testing::HasSubstr("No space left"));

  // Through a port: the open fails and the reason reaches the front end.
  MidiPort port(
      std::make_unique<RendererBackend>(std::make_shared<SynthRenderer>(missing), unused));
  EXPECT_THAT(Why(port.OpenDevice(0, kT)), ::testing::HasSubstr("does not exist"));
}

}  // namespace
}  // namespace sonavela::midi
