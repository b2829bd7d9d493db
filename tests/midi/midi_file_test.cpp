// SPDX-License-Identifier: GPL-3.0-or-later
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "harmony/chord.h"
#include "midi/files/byte_sink.h"
#include "midi/files/midi_file.h"
#include "midi/port/midi_message.h"
#include "midi/port/midi_port.h"
#include "support/byte_sinks.h"
#include "support/recording_backend.h"

namespace sonavela::midi {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

constexpr MidiMessage kAllNotesOff = MidiMessage::AllNotesOff(1);

MidiFileOptions TwoSecondChords() {
  MidiFileOptions options;
  options.beat = milliseconds{500};
  return options;
}

MidiMessage On(int channel, int key, int velocity = 64) {
  return MidiMessage::NoteOn(channel, key, velocity);
}

constexpr std::size_t kHeaderSize = 14;
constexpr std::size_t kTrackHeaderSize = 8;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

// The channel events of a file: the track after the three leading meta
// events, without the end-of-track event.
Bytes EventBytes(const Bytes& file, const MidiFileRecording& recording) {
  const Bytes empty = MidiFileRecording(recording.Options()).Encode(milliseconds{0});
  const std::size_t prefix = empty.size() - 4;  // 00 FF 2F 00
  EXPECT_GE(file.size(), prefix + 4);
  return Bytes(file.begin() + static_cast<std::ptrdiff_t>(prefix), file.end() - 4);
}

std::uint32_t TrackLength(const Bytes& file) {
  return (std::uint32_t{file[18]} << 24) | (std::uint32_t{file[19]} << 16) |
         (std::uint32_t{file[20]} << 8) | std::uint32_t{file[21]};
}

TEST(MidiFileRecording, EmptyRecordingIsAHeaderAndTheTempoMap) {
  const MidiFileRecording recording(TwoSecondChords());
  const Bytes file = recording.Encode(milliseconds{0});
  const Bytes expected = Concat({
      {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0},       // format 0, 1 track, 480
      {'M', 'T', 'r', 'k', 0, 0, 0, 31},                              // track length
      {0x00, 0xFF, 0x03, 8, 'S', 'o', 'n', 'a', 'v', 'e', 'l', 'a'},  // track name
      {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},                     // 500000 us per quarter
      {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08},               // 4/4
      {0x00, 0xFF, 0x2F, 0x00},                                       // end of track
  });
  EXPECT_THAT(file, ElementsAreArray(expected));
}

TEST(MidiFileRecording, TheTempoIsTheBeatClampedToItsField) {
  struct Case {
    std::chrono::microseconds beat;
    std::uint32_t tempo;
  };
  const Case cases[] = {
      {milliseconds{500}, 500000},
      {milliseconds{250}, 250000},
      {std::chrono::microseconds{500250}, 500250},
      {milliseconds{0}, 1},
      {milliseconds{-5}, 1},
      {milliseconds{25000}, 0xFFFFFF},
  };
  for (const Case& c : cases) {
    MidiFileOptions options;
    options.beat = c.beat;
    EXPECT_EQ(MidiFileRecording(options).TempoMicroseconds(), c.tempo) << c.beat.count();
  }
}

TEST(MidiFileRecording, DeltaTimesAreVariableLengthQuantities) {
  // 500 ticks a quarter at 500000 us a quarter: one tick per millisecond.
  MidiFileOptions options = TwoSecondChords();
  options.ticksPerQuarter = 500;
  struct Case {
    int ticks;
    Bytes delta;
  };
  const Case cases[] = {
      {0, {0x00}},
      {127, {0x7F}},
      {128, {0x81, 0x00}},
      {16383, {0xFF, 0x7F}},
      {16384, {0x81, 0x80, 0x00}},
      {2097151, {0xFF, 0xFF, 0x7F}},
      {2097152, {0x81, 0x80, 0x80, 0x00}},
      {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
      // Beyond four bytes: bridged by an empty text event.
      {0x10000000, {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0x00, 0x01}},
  };
  for (const Case& c : cases) {
    MidiFileRecording recording(options);
    recording.SetTime(milliseconds{c.ticks});
    recording.AddMessage(MidiMessage::ProgramChange(1, 5));
    const Bytes file = recording.Encode(milliseconds{0});
    EXPECT_THAT(EventBytes(file, recording), ElementsAreArray(Concat({c.delta, {0xC0, 0x05}})))
        << c.ticks;
    EXPECT_EQ(TrackLength(file), file.size() - kHeaderSize - kTrackHeaderSize) << c.ticks;
  }
}

TEST(MidiFileRecording, AllNotesOffBecomesNoteOffsAndTheEndClosesTheRest) {
  MidiFileRecording recording(TwoSecondChords());
  recording.AddMessage(kAllNotesOff);  // nothing sounds: nothing written
  recording.AddMessage(On(1, 64));
  recording.AddMessage(On(1, 60));
  recording.AddMessage(On(2, 50, 30));
  recording.SetTime(milliseconds{2000});
  recording.AddMessage(kAllNotesOff);  // channel 1 only
  recording.AddMessage(kAllNotesOff);  // again: nothing left on channel 1
  recording.AddMessage(On(1, 67));
  recording.AddMarker("C   : G");
  recording.SetTime(milliseconds{1000});                        // time never runs backwards
  recording.AddMessage(MidiMessage::ControlChange(1, 7, 100));  // other controllers stay
  const Bytes file = recording.Encode(milliseconds{4000});
  EXPECT_THAT(EventBytes(file, recording),
              ElementsAreArray(Bytes{
                  0x00, 0x90, 64,   64,      //
                  0x00, 0x90, 60,   64,      //
                  0x00, 0x91, 50,   30,      //
                  0x8F, 0x00, 0x80, 60, 64,  // 1920 ticks later, lowest first
                  0x00, 0x80, 64,   64,      //
                  0x00, 0x90, 67,   64,      //
                  0x00, 0xFF, 0x06, 7,  'C', ' ', ' ', ' ', ':', ' ', 'G', 0x00, 0xB0, 7, 100,  //
                  0x8F, 0x00, 0x80, 67, 64,  // the end, 3840 ticks
                  0x00, 0x81, 50,   64,      // channel 2 ends too
              }));
}

TEST(MidiFileRecording, RepeatedNoteOnEndsTheFirstAndZeroVelocityEnds) {
  MidiFileRecording recording(TwoSecondChords());
  recording.AddMessage(On(1, 60));
  recording.AddMessage(On(1, 60));
  recording.AddMessage(On(1, 62));
  recording.AddMessage(On(1, 62, 0));
  recording.AddMessage(MidiMessage::Clock());            // no part of a file
  const Bytes file = recording.Encode(milliseconds{0});  // end at the last event
  EXPECT_THAT(EventBytes(file, recording), ElementsAreArray(Bytes{
                                               0x00, 0x90, 60, 64,  //
                                               0x00, 0x80, 60, 64,  //
                                               0x00, 0x90, 60, 64,  //
                                               0x00, 0x90, 62, 64,  //
                                               0x00, 0x90, 62, 0,   //
                                               0x00, 0x80, 60, 64,  //
                                           }));
  recording.Clear();
  EXPECT_TRUE(recording.Empty());
  EXPECT_EQ(recording.Time(), milliseconds{0});
  EXPECT_EQ(recording.Encode(milliseconds{0}),
            MidiFileRecording(TwoSecondChords()).Encode(milliseconds{0}));
}

TEST(MidiFileRecording, StreamingWritesTheSameFileAsEncoding) {
  const auto record = [](MidiFileRecording& recording) {
    recording.AddMessage(MidiMessage::ProgramChange(1, 48));
    for (int bar = 0; bar < 3; ++bar) {
      recording.SetTime(bar * milliseconds{2000});
      recording.AddMessage(kAllNotesOff);
      recording.AddMessage(On(1, 60 + bar));
      recording.AddMarker("chord " + std::to_string(bar));
    }
  };
  MidiFileRecording inMemory(TwoSecondChords());
  record(inMemory);

  MemorySink sink;
  MidiFileRecording streamed(TwoSecondChords());
  ASSERT_TRUE(streamed.StreamTo(sink));
  record(streamed);
  ASSERT_TRUE(streamed.Flush());
  EXPECT_FALSE(streamed.Empty());
  ASSERT_TRUE(streamed.Finish(milliseconds{6000}));
  EXPECT_EQ(sink.Bytes(), inMemory.Encode(milliseconds{6000}));
}

TEST(MidiFileRecording, AFullSinkFailsAtTheFlushThatDidNotFit) {
  FillingSink disk(100);
  MidiFileRecording recording(TwoSecondChords());
  ASSERT_TRUE(recording.StreamTo(disk));  // the header fits
  recording.AddMessage(On(1, 60));
  ASSERT_TRUE(recording.Flush());
  for (int i = 0; i < 40; ++i) {
    recording.AddMessage(On(1, 61));
  }
  EXPECT_FALSE(recording.Flush());
}

// The file read back by mido, a reader that shares no code with the writer.
struct ReaderOutput {
  int status = -1;
  std::vector<std::string> lines;
};

ReaderOutput ReadBack(const std::filesystem::path& file) {
  const std::string command = std::string("'") + SONAVELA_PYTHON3 + "' '" + SONAVELA_MIDI_READER +
                              "' '" + file.string() + "' 2>&1";
  ReaderOutput output;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return output;
  }
  std::array<char, 512> buffer{};
  std::string text;
  while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
    text += buffer.data();
  }
  const int status = pclose(pipe);
  output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    output.lines.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return output;
}

TEST(MidiFileReadBack, MidoReadsAStartAndATickAsTwoBars) {
  ASSERT_STRNE(SONAVELA_PYTHON3, "")
      << "/usr/bin/python3 was not found; install python3 and python3-mido "
         "(scripts/install-deps.sh) and configure again";
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("sonavela_readback_" + std::to_string(getpid()) + ".mid");
  // What the port sends for a Start and a tick, two seconds apart.
  auto log = std::make_shared<MidiLog>();
  std::vector<MidiMessage> firstBar;
  std::vector<MidiMessage> secondBar;
  {
    MidiPort port(RecordingBackend::WithDevices(1, log));
    const Timestamp at{};
    ASSERT_TRUE(port.OpenDevice(0, at));
    log->Clear();
    port.ProgramChange(49, at);
    port.AllNotesOff(at);
    port.PlayChord({{'C', 0}, harmony::kMajorTriad}, at);
    firstBar = log->Messages();
    log->Clear();
    port.PlayChord({{'A', 0}, harmony::kMinorTriad}, at);
    secondBar = log->Messages();
  }
  auto recording = std::make_shared<MidiFileRecording>(TwoSecondChords());
  for (const MidiMessage& message : firstBar) {
    recording->AddMessage(message);
  }
  recording->AddMarker("C   : C");
  recording->SetTime(milliseconds{2000});
  for (const MidiMessage& message : secondBar) {
    recording->AddMessage(message);
  }
  recording->AddMarker("C   : Am");
  {
    const Bytes bytes = recording->Encode(milliseconds{4000});
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
  }
  const ReaderOutput read = ReadBack(path);
  std::filesystem::remove(path);
  ASSERT_NE(read.status, 3) << "python3-mido is missing for " << SONAVELA_PYTHON3
                            << " (scripts/install-deps.sh installs it): "
                            << ::testing::PrintToString(read.lines);
  ASSERT_EQ(read.status, 0) << ::testing::PrintToString(read.lines);

  const std::vector<int> cMajor{96, 91, 88, 84, 79, 76, 72, 67, 64, 60, 48};
  const std::vector<int> aMinor{96, 93, 88, 84, 81, 76, 72, 69, 64, 57, 45};
  std::vector<std::string> expected{
      "file 0 480 1 4.000000",       "0 0 track_name |Sonavela", "0 0 set_tempo 500000",
      "0 0 time_signature 4/4 24 8", "0 0 program_change 0 48",
  };
  auto notes = [&expected](const std::string& what, int tick, int delta, std::vector<int> keys) {
    for (const int key : keys) {
      expected.push_back(std::to_string(tick) + " " + std::to_string(delta) + " " + what + " 0 " +
                         std::to_string(key) + " 64");
      delta = 0;
    }
  };
  auto ascending = [](std::vector<int> keys) {
    std::sort(keys.begin(), keys.end());
    return keys;
  };
  notes("note_on", 0, 0, cMajor);
  expected.push_back("0 0 marker |C   : C");
  notes("note_off", 1920, 1920, ascending(cMajor));
  notes("note_on", 1920, 0, aMinor);
  expected.push_back("1920 0 marker |C   : Am");
  notes("note_off", 3840, 1920, ascending(aMinor));
  expected.push_back("3840 0 end_of_track");
  EXPECT_THAT(read.lines, ElementsAreArray(expected));
}

}  // namespace
}  // namespace sonavela::midi
