// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "fakes.h"
#include "support/byte_sinks.h"
#include "support/recording_backend.h"
#include "support/why.h"

namespace sonavela::playback {
namespace {

using namespace std::chrono_literals;
using midi::MidiMessage;
using ::testing::ElementsAre;

const Timestamp kT0 = Timestamp{} + 1000s;

// A session on recording devices and a grid clock whose time the test sets.
class SessionTest : public ::testing::Test {
 protected:
  void Make(std::chrono::nanoseconds period, bool keepRecording = true,
            std::size_t spillAfter = std::size_t{4} << 20, bool reopen = false) {
    auto devices = midi::RecordingBackend::WithDevices(1, log_);
    backend_ = devices.get();
    SessionOptions options;
    options.devices = std::move(devices);
    options.clock = std::make_unique<timing::GridClock>(period, [this] { return now_; });
    options.keepRecording = keepRecording;
    options.spillAfterBytes = spillAfter;
    options.reopenFailedDevice = reopen;
    session_ = std::make_unique<PlaybackSession>(std::move(options));
    session_->SetStepListener([this](const generator::ProgressionStep&, const std::string& line) {
      lines_.push_back(line);
    });
    ASSERT_TRUE(session_->OpenDevice(0));
  }

  // When each chord's first message (its all-notes-off) was meant to sound.
  std::vector<Timestamp> ChordTimes() const {
    std::vector<Timestamp> times;
    const std::vector<MidiMessage> messages = log_->Messages();
    const std::vector<Timestamp> at = log_->Times();
    for (std::size_t i = 1; i < messages.size(); ++i) {
      if (messages[i].IsNoteOn() && !messages[i - 1].IsNoteOn()) {
        times.push_back(at[i - 1]);
      }
    }
    return times;
  }

  std::shared_ptr<midi::MidiLog> log_ = std::make_shared<midi::MidiLog>();
  midi::RecordingBackend* backend_ = nullptr;
  Timestamp now_ = kT0;
  std::vector<std::string> lines_;
  std::unique_ptr<PlaybackSession> session_;
};

TEST_F(SessionTest, EveryChordSoundsAtItsGridTimeHoweverLateItsTickCame) {
  Make(100ms);
  session_->Start();
  EXPECT_TRUE(session_->Running());
  const std::chrono::nanoseconds lateness[] = {0ms, 7ms, 60ms, 99ms};
  for (const std::chrono::nanoseconds late : lateness) {
    now_ = session_->NextChordDue() + late;
    EXPECT_EQ(session_->Pump(), 1);
  }
  EXPECT_THAT(ChordTimes(), ElementsAre(kT0, kT0 + 100ms, kT0 + 200ms, kT0 + 300ms, kT0 + 400ms));
  EXPECT_EQ(session_->NextChordDue(), kT0 + 500ms);
  ASSERT_EQ(lines_.size(), 5U);
  EXPECT_THAT(std::vector<std::string>(lines_.begin(), lines_.begin() + 3),
              ElementsAre("C   : C", "C   : Am", "C   : Dm"));
}

TEST_F(SessionTest, StopSilencesNowButNeverAfterTheChordsEnd) {
  const struct {
    std::chrono::nanoseconds stopAfterStart;
    std::chrono::nanoseconds silencedAt;
  } cases[] = {{30ms, 30ms}, {100ms, 100ms}, {250ms, 100ms}};
  for (const auto& c : cases) {
    log_->Clear();
    now_ = kT0;
    Make(100ms);
    session_->Start();
    now_ = kT0 + c.stopAfterStart;
    session_->Stop();
    EXPECT_FALSE(session_->Running());
    EXPECT_EQ(log_->Messages().back(), MidiMessage::AllNotesOff(1));
    EXPECT_EQ(log_->Times().back(), kT0 + c.silencedAt) << c.stopAfterStart.count();
  }
}

TEST_F(SessionTest, AFailedDeviceIsReportedOnceAndTheProgressionGoesOn) {
  Make(100ms);
  session_->Start();
  backend_->FailSendsAfter(5, "the MIDI output was unplugged");
  for (int i = 0; i < 3; ++i) {
    now_ = session_->NextChordDue();
    (void)session_->Pump();
  }
  EXPECT_TRUE(session_->DeviceFailed());
  EXPECT_EQ(lines_.size(), 4U);
  EXPECT_TRUE(session_->Running());
  EXPECT_FALSE(session_->CloseDevice());
}

// The sink hears each failure once and every change of state; a device of
// the failed one's name is opened again once it opens, and plays from there.
TEST_F(SessionTest, EventsTellTheStateAndAFailedDeviceIsOpenedAgainWhenItCan) {
  Make(500ms, true, std::size_t{4} << 20, true);
  std::vector<std::string> told;
  int chords = 0;
  session_->SetEventSink([&](const SessionEvent& event) {
    if (std::holds_alternative<PlayedChord>(event)) {
      ++chords;
    } else if (const auto* failure = std::get_if<Failure>(&event)) {
      told.push_back("failure: " + EnglishText(failure->error));
    } else if (const auto* state = std::get_if<StateChanged>(&event)) {
      told.push_back("state " + std::to_string(static_cast<int>(state->state)));
    } else if (const auto* notice = std::get_if<Notice>(&event)) {
      told.push_back(EnglishText(*notice));
    }
  });
  const auto playFor = [&](std::chrono::milliseconds span) {
    for (const Timestamp end = now_ + span; now_ < end;) {
      now_ = std::min(session_->NextWake(), end);
      (void)session_->Pump();
    }
  };
  session_->Start();
  backend_->FailSendsAfter(20, "the JACK server has quit");
  backend_->SetOpenFails(0, true);
  playFor(4s);
  const std::size_t whileGone = log_->Messages().size();
  backend_->SetOpenFails(0, false);
  playFor(6s);
  session_->Stop();
  EXPECT_THAT(told, ElementsAre("state 2", "failure: the JACK server has quit", "state 3",
                                "the MIDI output device \"Device 0\" is back; playing on it again",
                                "state 2", "state 0"));
  EXPECT_EQ(chords, 21);
  EXPECT_GT(log_->Messages().size(), whileGone + 20) << "heard again";
}

TEST_F(SessionTest, NothingIsKeptUnlessASaveWasAskedFor) {
  Make(2s, false);
  session_->Start();
  now_ = session_->NextChordDue();
  (void)session_->Pump();
  EXPECT_EQ(lines_.size(), 2U);
  EXPECT_FALSE(session_->HasRecording());
}

// A long take goes on in a temporary file; what is saved, playing or
// stopped, is the file memory would have given.
TEST_F(SessionTest, ARecordingThatMovedToATemporaryFileSavesTheSameBytes) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("sonavela_spill_" + std::to_string(getpid()) + ".mid");
  const auto saved = [&](std::size_t spillAfter, bool stop) {
    now_ = kT0;
    Make(2s, true, spillAfter);
    session_->Start();
    for (int i = 0; i < 60; ++i) {
      now_ = session_->NextChordDue();
      (void)session_->Pump();
    }
    now_ += 700ms;
    if (stop) {
      session_->Stop();
    }
    EXPECT_OK(session_->SaveMidiFile(path));
    std::ifstream in(path, std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  };
  for (const bool stop : {false, true}) {
    const std::string inMemory = saved(std::size_t{4} << 20, stop);
    EXPECT_GT(inMemory.size(), 1000U);
    EXPECT_EQ(saved(256, stop), inMemory) << (stop ? "stopped" : "playing");
  }
  std::filesystem::remove(path);
}

TEST_F(SessionTest, SavedFileHoldsWhatWasPlayedSinceTheLastStart) {
  Make(2s);
  EXPECT_FALSE(session_->HasRecording());
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("sonavela_session_" + std::to_string(getpid()) + ".mid");
  session_->Start();
  now_ = session_->NextChordDue();
  (void)session_->Pump();
  session_->Start();  // the first take is gone
  ASSERT_TRUE(session_->HasRecording());
  ASSERT_OK(session_->SaveMidiFile(path));
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::filesystem::remove(path);
  // One marker: the tonic of the second Start, and its bar ends the file.
  std::size_t markers = 0;
  for (std::size_t at = bytes.find("\xFF\x06"); at != std::string::npos;
       at = bytes.find("\xFF\x06", at + 1)) {
    ++markers;
  }
  EXPECT_EQ(markers, 1U);
  EXPECT_NE(bytes.find("C   : C"), std::string::npos);
  EXPECT_EQ(Why(session_->SaveMidiFile(std::filesystem::path())),
            "Cannot save the MIDI file \"\": no file name was given.");
}

TEST_F(SessionTest, AStreamedRecordingReportsAFullDiskWhenItHappens) {
  Make(100ms);
  midi::FillingSink disk(400);
  session_->RecordInto(disk);
  session_->Start();
  int chords = 1;
  while (!session_->RecordingFailed() && chords < 50) {
    now_ = session_->NextChordDue();
    (void)session_->Pump();
    ++chords;
  }
  EXPECT_GT(chords, 2) << "the header and the first chords fit";
  EXPECT_LT(chords, 10) << "reported at the chord that did not fit, not at the end";
  session_->Stop();
  EXPECT_EQ(Why(session_->FinishRecording()), "No space left on device");
}

TEST_F(SessionTest, ChordsGoOutTheDevicesLookaheadEarlyAndATickBeforeItsTimePlaysNow) {
  log_->Clear();
  Make(100ms);
  backend_->lookahead = 5ms;
  session_->Start();
  EXPECT_EQ(session_->NextWake(), kT0 + 95ms);
  now_ = kT0 + 95ms;
  EXPECT_EQ(session_->Pump(), 1);
  EXPECT_EQ(ChordTimes().back(), kT0 + 100ms) << "stamped with its own time, sent early";
  now_ = kT0 + 120ms;
  session_->Tick();  // delivered 80 ms before the next chord is due
  EXPECT_EQ(ChordTimes().back(), kT0 + 120ms);
}

TEST_F(SessionTest, ClockOutSendsStartPulsesOnTheBeatsAndStop) {
  auto devices = midi::RecordingBackend::WithDevices(1, log_);
  SessionOptions options;
  options.devices = std::move(devices);
  options.clock = std::make_unique<timing::GridClock>(timing::Meter::FromTempo(120, 1),
                                                      [this] { return now_; });
  options.clockOut = true;
  session_ = std::make_unique<PlaybackSession>(std::move(options));
  ASSERT_TRUE(session_->OpenDevice(0));
  log_->Clear();
  session_->Start();
  while (now_ < kT0 + 1s) {
    now_ = session_->NextWake();
    (void)session_->Pump();
  }
  session_->Stop();
  std::vector<Timestamp> pulses;
  std::vector<MidiMessage> system;
  const std::vector<MidiMessage> messages = log_->Messages();
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (!messages[i].IsChannelMessage()) {
      system.push_back(messages[i]);
      if (messages[i] == MidiMessage::Clock()) {
        pulses.push_back(log_->Times()[i]);
      }
    }
  }
  ASSERT_GE(system.size(), 3U);
  EXPECT_EQ(system.front(), MidiMessage::Start());
  EXPECT_EQ(system.back(), MidiMessage::Stop());
  ASSERT_GE(pulses.size(), 48U);
  for (std::size_t i = 0; i < 48; ++i) {
    EXPECT_EQ(pulses[i], kT0 + std::chrono::nanoseconds(std::llround(i * 500e6 / 24))) << i;
  }
  EXPECT_THAT(ChordTimes(), ElementsAre(kT0, kT0 + 500ms, kT0 + 1000ms));
}

TEST(OfflineSession, ChordsFallOnTheGridOfAClockThatOnlyMovesWhenWaitedFor) {
  auto log = std::make_shared<midi::MidiLog>();
  SessionOptions options;
  options.devices = midi::RecordingBackend::WithDevices(1, log);
  options.clock = std::make_unique<timing::OfflineClock>(2s);
  PlaybackSession session(std::move(options));
  int chords = 0;
  session.SetStepListener([&](const generator::ProgressionStep&, const std::string&) { ++chords; });
  ASSERT_TRUE(session.OpenDevice(0));
  session.Start();
  const Timestamp start = log->Times().front();
  for (int i = 0; i < 3; ++i) {
    session.Clock().WaitedUntil(session.NextWake());
    (void)session.Pump();
  }
  session.StopAtNextChord();
  session.Clock().WaitedUntil(session.NextWake());
  (void)session.Pump();
  EXPECT_FALSE(session.Engaged());
  EXPECT_EQ(log->Times().back(), start + 8s);
  EXPECT_EQ(chords, 4);
}

}  // namespace
}  // namespace sonavela::playback
