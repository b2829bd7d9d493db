// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/playback_control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fakes.h"
#include "generator/generator.h"
#include "support/recording_backend.h"

namespace sonavela::playback {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::FakeInputs;
using testing::FakeResultList;
using testing::FakeTimer;
using ::testing::IsEmpty;
using testing::NoteOn;
using testing::ProgramChangeTo;

const Timestamp kT{std::chrono::seconds(3)};
constexpr midi::MidiMessage kOff = midi::MidiMessage::AllNotesOff(1);

class PlaybackControlTest : public ::testing::Test {
 protected:
  PlaybackControlTest()
      : port_(midi::RecordingBackend::WithDevices(1, log_)),
        control_(generator_, port_, results_, timer_, inputs_) {}

  void OpenDevice() {
    ASSERT_TRUE(port_.OpenDevice(0, kT));
    log_->Clear();
  }

  std::vector<midi::MidiMessage> Sent() const { return log_->Messages(); }

  std::shared_ptr<midi::MidiLog> log_ = std::make_shared<midi::MidiLog>();
  generator::ProgressionGenerator generator_;
  midi::MidiPort port_;
  FakeResultList results_;
  FakeTimer timer_;
  FakeInputs inputs_;
  PlaybackControl control_;
};

TEST_F(PlaybackControlTest, StartSendsInstrumentSilencesTwiceThenSoundsTheTonic) {
  OpenDevice();
  control_.Start(kT);
  EXPECT_THAT(Sent(), ElementsAre(kOff, ProgramChangeTo(48), kOff, kOff, NoteOn(96), NoteOn(91),
                                  NoteOn(88), NoteOn(84), NoteOn(79), NoteOn(76), NoteOn(72),
                                  NoteOn(67), NoteOn(64), NoteOn(60), NoteOn(48)));
  EXPECT_THAT(results_.lines, ElementsAre("C   : C"));
  EXPECT_EQ(results_.selected, 0);
  EXPECT_THAT(timer_.calls, ElementsAre(FakeTimer::Call{true, 0}));
  EXPECT_THAT(log_->Times(), ::testing::Each(kT)) << "every message at the chord's time";
}

TEST_F(PlaybackControlTest, InstrumentTextIsReadLikeTheCRuntimeReadsANumber) {
  OpenDevice();
  const struct {
    const char* text;
    int program;
  } cases[] = {{"  49", 48}, {"1", 0}, {"128", 127}, {" 7 pianos", 6}, {"+12", 11}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    log_->Clear();
    inputs_.instrument = c.text;
    control_.SendInstrument(kT);
    EXPECT_THAT(Sent(), ElementsAre(kOff, ProgramChangeTo(c.program)));
  }
}

TEST_F(PlaybackControlTest, TicksPlayShowAndFollowTheDefaultProgression) {
  OpenDevice();
  control_.Start(kT);
  log_->Clear();
  control_.Tick(0, kT);
  // A minor: all notes off, then the upper voices and the bass.
  EXPECT_THAT(Sent(),
              ElementsAre(kOff, NoteOn(96), NoteOn(93), NoteOn(88), NoteOn(84), NoteOn(81),
                          NoteOn(76), NoteOn(72), NoteOn(69), NoteOn(64), NoteOn(57), NoteOn(45)));
  control_.Tick(0, kT);
  EXPECT_THAT(results_.lines, ElementsAre("C   : C", "C   : Am", "C   : Dm"));
  EXPECT_EQ(results_.selected, 2);
}

TEST_F(PlaybackControlTest, MinorHomeKeyStartsOnATheMinorTonic) {
  inputs_.minor = true;
  control_.Start(kT);
  control_.Tick(0, kT);
  EXPECT_THAT(results_.lines, ElementsAre("Am  : Am", "Am  : F"));
}

TEST_F(PlaybackControlTest, TimerIdsOtherThanZeroChangeNothing) {
  OpenDevice();
  control_.Start(kT);
  log_->Clear();
  for (unsigned id : {1u, 2u, 0xFFFFFFFFu}) {
    control_.Tick(id, kT);
  }
  EXPECT_THAT(Sent(), IsEmpty());
  EXPECT_THAT(results_.lines, ElementsAre("C   : C"));
  // The generator did not move either: the next real tick is the second step.
  control_.Tick(0, kT);
  EXPECT_THAT(results_.lines, ElementsAre("C   : C", "C   : Am"));
}

TEST_F(PlaybackControlTest, StartTwiceEmptiesTheListBeginsAtTheTonicAndReArms) {
  OpenDevice();
  control_.Start(kT);
  control_.Tick(0, kT);
  control_.Tick(0, kT);
  log_->Clear();
  control_.Start(kT);
  EXPECT_THAT(results_.lines, ElementsAre("C   : C"));
  EXPECT_EQ(results_.selected, 0);
  EXPECT_EQ(results_.clears, 2);
  EXPECT_EQ(timer_.calls.size(), 2u);
  EXPECT_TRUE(timer_.calls.back().arm);
  EXPECT_EQ(Sent().at(0), kOff);
  EXPECT_EQ(Sent().at(1), ProgramChangeTo(48));
  // The random source is not reseeded, so the second run need not repeat the
  // first; it must however be a progression of the home key again.
  control_.Tick(0, kT);
  EXPECT_EQ(results_.lines.size(), 2u);
  EXPECT_EQ(results_.lines[1].substr(0, 6), "C   : ");
}

TEST_F(PlaybackControlTest, StopWhileIdleSendsOneAllNotesOffAndDisarms) {
  OpenDevice();
  control_.Stop(kT);
  EXPECT_THAT(Sent(), ElementsAre(kOff));
  EXPECT_THAT(timer_.calls, ElementsAre(FakeTimer::Call{false, 0}));
  EXPECT_THAT(results_.lines, IsEmpty());
}

TEST_F(PlaybackControlTest, StopLeavesTheListAndTheQueueAsTheyAre) {
  OpenDevice();
  control_.Start(kT);
  control_.Tick(0, kT);
  log_->Clear();
  control_.Stop(kT);
  EXPECT_THAT(Sent(), ElementsAre(kOff));
  EXPECT_FALSE(timer_.armed);
  EXPECT_THAT(results_.lines, ElementsAre("C   : C", "C   : Am"));
  // A stray tick after Stop still plays from where the queue stood.
  control_.Tick(0, kT);
  EXPECT_THAT(results_.lines, ElementsAre("C   : C", "C   : Am", "C   : Dm"));
}

TEST_F(PlaybackControlTest, TheHundredAndFirstLineDropsTheOldest) {
  std::vector<std::string> played;
  control_.SetStepListener(
      [&](const generator::ProgressionStep&, const std::string& line) { played.push_back(line); });
  control_.Start(kT);
  for (int i = 0; i < 99; ++i) {
    control_.Tick(0, kT);
  }
  ASSERT_EQ(results_.lines.size(), 100u);
  EXPECT_EQ(results_.lines.front(), "C   : C");
  control_.Tick(0, kT);
  ASSERT_EQ(played.size(), 101u);
  EXPECT_EQ(results_.lines.size(), 100u);
  EXPECT_THAT(results_.lines, ElementsAreArray(played.begin() + 1, played.end()));
  EXPECT_EQ(results_.selected, 99);
}

TEST_F(PlaybackControlTest, AShownLineDeletesAtMostOneOldLine) {
  control_.Start(kT);
  results_.lines.assign(120, "old");
  control_.Tick(0, kT);
  EXPECT_EQ(results_.lines.size(), 120u);
  EXPECT_EQ(results_.lines.back(), "C   : Am");
  EXPECT_EQ(results_.selected, 119);
}

TEST_F(PlaybackControlTest, MinorBoxChangedWhileRunningWaitsForTheNextStart) {
  control_.Start(kT);
  inputs_.minor = true;
  inputs_.connection = {};
  control_.Tick(0, kT);
  control_.Tick(0, kT);
  EXPECT_THAT(results_.lines, ElementsAre("C   : C", "C   : Am", "C   : Dm"));
  inputs_.connection = FakeInputs{}.connection;
  control_.Start(kT);
  EXPECT_THAT(results_.lines, ElementsAre("Am  : Am"));
}

TEST_F(PlaybackControlTest, EmptiedListsRepeatTheTonicWithABlankKeyLetter) {
  inputs_.connection = {};
  inputs_.substitution = {};
  const struct {
    bool minor;
    const char* first;
    const char* repeated;
  } cases[] = {{false, "C   : C", "    : C"}, {true, "Am  : Am", " m  : Am"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    inputs_.minor = c.minor;
    control_.Start(kT);
    control_.Tick(0, kT);
    control_.Tick(0, kT);
    control_.Tick(0, kT);
    EXPECT_THAT(results_.lines, ElementsAre(c.first, c.repeated, c.repeated, c.repeated));
  }
}

TEST_F(PlaybackControlTest, WithoutADeviceTheProgressionRunsSilently) {
  control_.Start(kT);
  control_.Tick(0, kT);
  control_.Tick(0, kT);
  control_.Stop(kT);
  EXPECT_THAT(Sent(), IsEmpty());
  EXPECT_THAT(results_.lines, ElementsAre("C   : C", "C   : Am", "C   : Dm"));
}

TEST_F(PlaybackControlTest, ListenerSeesEveryPlayedStep) {
  std::vector<std::pair<generator::ProgressionStep, std::string>> seen;
  control_.SetStepListener([&](const generator::ProgressionStep& step, const std::string& line) {
    seen.emplace_back(step, line);
  });
  control_.Start(kT);
  control_.Tick(0, kT);
  control_.Tick(7, kT);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].second, "C   : C");
  EXPECT_EQ(seen[1].second, "C   : Am");
  EXPECT_EQ(seen[1].first.chord.root, (harmony::SpelledNote{'A', 0}));
  control_.SetStepListener({});
  control_.Tick(0, kT);
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(PlaybackControlTest, LoadReportTellsAboutLinesTooShortToRead) {
  inputs_.connection = {"  40     ?251", "  10"};
  inputs_.substitution = {"  40     ?1", "  40     ?11"};
  control_.Start(kT);
  EXPECT_EQ(control_.LastLoadReport().shortConnectionLines, 1u);
  EXPECT_EQ(control_.LastLoadReport().shortSubstitutionLines, 1u);
  inputs_ = FakeInputs{};
  control_.Start(kT);
  EXPECT_TRUE(control_.LastLoadReport().Clean());
}

}  // namespace
}  // namespace sonavela::playback
