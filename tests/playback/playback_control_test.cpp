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

using testing::DefaultInputs;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::NoteOn;
using testing::ProgramChangeTo;

const Timestamp kT{std::chrono::seconds(3)};
constexpr midi::MidiMessage kOff = midi::MidiMessage::AllNotesOff(1);

class PlaybackControlTest : public ::testing::Test {
 protected:
  PlaybackControlTest()
      : port_(midi::RecordingBackend::WithDevices(1, log_)),
        chords_(generator_, [this] { return inputs_; }),
        control_(chords_, port_) {
    control_.SetStepListener([this](const generator::ProgressionStep&, const std::string& line) {
      lines_.push_back(line);
    });
  }

  // As a front end shows them: each start begins its list afresh.
  void Start() {
    lines_.clear();
    control_.Start(kT);
  }

  void OpenDevice() {
    ASSERT_TRUE(port_.OpenDevice(0, kT));
    log_->Clear();
  }

  std::vector<midi::MidiMessage> Sent() const { return log_->Messages(); }

  std::shared_ptr<midi::MidiLog> log_ = std::make_shared<midi::MidiLog>();
  generator::ProgressionGenerator generator_;
  midi::MidiPort port_;
  StartInputs inputs_ = DefaultInputs();
  GeneratedChords chords_;
  PlaybackControl control_;
  std::vector<std::string> lines_;
};

TEST_F(PlaybackControlTest, StartSendsInstrumentSilencesTwiceThenSoundsTheTonic) {
  OpenDevice();
  Start();
  EXPECT_THAT(Sent(), ElementsAre(kOff, ProgramChangeTo(48), kOff, kOff, NoteOn(96), NoteOn(91),
                                  NoteOn(88), NoteOn(84), NoteOn(79), NoteOn(76), NoteOn(72),
                                  NoteOn(67), NoteOn(64), NoteOn(60), NoteOn(48)));
  EXPECT_THAT(lines_, ElementsAre("C   : C"));
  EXPECT_THAT(log_->Times(), ::testing::Each(kT)) << "every message at the chord's time";
}

TEST_F(PlaybackControlTest, TicksPlayShowAndFollowTheDefaultProgression) {
  OpenDevice();
  Start();
  log_->Clear();
  (void)control_.Tick(kT);
  // A minor: all notes off, then the upper voices and the bass.
  EXPECT_THAT(Sent(),
              ElementsAre(kOff, NoteOn(96), NoteOn(93), NoteOn(88), NoteOn(84), NoteOn(81),
                          NoteOn(76), NoteOn(72), NoteOn(69), NoteOn(64), NoteOn(57), NoteOn(45)));
  (void)control_.Tick(kT);
  EXPECT_THAT(lines_, ElementsAre("C   : C", "C   : Am", "C   : Dm"));
}

TEST_F(PlaybackControlTest, MinorHomeKeyStartsOnATheMinorTonic) {
  inputs_.minor = true;
  Start();
  (void)control_.Tick(kT);
  EXPECT_THAT(lines_, ElementsAre("Am  : Am", "Am  : F"));
}

TEST_F(PlaybackControlTest, StartTwiceBeginsAtTheTonicAgain) {
  OpenDevice();
  Start();
  (void)control_.Tick(kT);
  (void)control_.Tick(kT);
  log_->Clear();
  Start();
  EXPECT_THAT(lines_, ElementsAre("C   : C"));
  EXPECT_EQ(Sent().at(0), kOff);
  EXPECT_EQ(Sent().at(1), ProgramChangeTo(48));
  // The random source is not reseeded, so the second run need not repeat the
  // first; it must however be a progression of the home key again.
  (void)control_.Tick(kT);
  EXPECT_EQ(lines_.size(), 2u);
  EXPECT_EQ(lines_[1].substr(0, 6), "C   : ");
}

TEST_F(PlaybackControlTest, StopWhileIdleSendsOneAllNotesOff) {
  OpenDevice();
  control_.Stop(kT);
  EXPECT_THAT(Sent(), ElementsAre(kOff));
  EXPECT_THAT(lines_, IsEmpty());
}

TEST_F(PlaybackControlTest, StopLeavesTheListAndTheQueueAsTheyAre) {
  OpenDevice();
  Start();
  (void)control_.Tick(kT);
  log_->Clear();
  control_.Stop(kT);
  EXPECT_THAT(Sent(), ElementsAre(kOff));
  EXPECT_THAT(lines_, ElementsAre("C   : C", "C   : Am"));
  // A stray tick after Stop still plays from where the queue stood.
  (void)control_.Tick(kT);
  EXPECT_THAT(lines_, ElementsAre("C   : C", "C   : Am", "C   : Dm"));
}

TEST_F(PlaybackControlTest, MinorBoxChangedWhileRunningWaitsForTheNextStart) {
  Start();
  inputs_.minor = true;
  inputs_.connection = {};
  (void)control_.Tick(kT);
  (void)control_.Tick(kT);
  EXPECT_THAT(lines_, ElementsAre("C   : C", "C   : Am", "C   : Dm"));
  inputs_.connection = DefaultInputs().connection;
  Start();
  EXPECT_THAT(lines_, ElementsAre("Am  : Am"));
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
    Start();
    (void)control_.Tick(kT);
    (void)control_.Tick(kT);
    (void)control_.Tick(kT);
    EXPECT_THAT(lines_, ElementsAre(c.first, c.repeated, c.repeated, c.repeated));
  }
}

TEST_F(PlaybackControlTest, WithoutADeviceTheProgressionRunsSilently) {
  Start();
  (void)control_.Tick(kT);
  (void)control_.Tick(kT);
  control_.Stop(kT);
  EXPECT_THAT(Sent(), IsEmpty());
  EXPECT_THAT(lines_, ElementsAre("C   : C", "C   : Am", "C   : Dm"));
}

TEST_F(PlaybackControlTest, ListenerSeesEveryPlayedStep) {
  std::vector<std::pair<generator::ProgressionStep, std::string>> seen;
  control_.SetStepListener([&](const generator::ProgressionStep& step, const std::string& line) {
    seen.emplace_back(step, line);
  });
  Start();
  (void)control_.Tick(kT);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].second, "C   : C");
  EXPECT_EQ(seen[1].second, "C   : Am");
  EXPECT_EQ(seen[1].first.chord.root, (harmony::SpelledNote{'A', 0}));
  control_.SetStepListener({});
  (void)control_.Tick(kT);
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(PlaybackControlTest, LoadReportTellsAboutLinesTooShortToRead) {
  inputs_.connection = {"  40     ?251", "  10"};
  inputs_.substitution = {"  40     ?1", "  40     ?11"};
  Start();
  EXPECT_EQ(chords_.LastLoadReport().shortConnectionLines, 1u);
  EXPECT_EQ(chords_.LastLoadReport().shortSubstitutionLines, 1u);
  inputs_ = DefaultInputs();
  Start();
  EXPECT_TRUE(chords_.LastLoadReport().Clean());
}

}  // namespace
}  // namespace sonavela::playback
