// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/port/midi_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "harmony/chord.h"
#include "midi/port/midi_message.h"
#include "support/recording_backend.h"

namespace sonavela::midi {
namespace {

using harmony::Chord;
using harmony::SpelledNote;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const Timestamp kT{std::chrono::seconds(7)};
constexpr MidiMessage kAllNotesOff = MidiMessage::AllNotesOff(1);

std::vector<MidiMessage> ExpectedChord(const std::vector<int>& keys) {
  std::vector<MidiMessage> messages{kAllNotesOff};
  for (int key : keys) {
    messages.push_back(MidiMessage::NoteOn(1, key, 64));
  }
  return messages;
}

struct PortFixture {
  std::shared_ptr<MidiLog> log = std::make_shared<MidiLog>();
  RecordingBackend* backend = nullptr;
  std::unique_ptr<MidiPort> port;

  explicit PortFixture(std::vector<RecordedDevice> devices = {{"Synth A"}, {"Synth B"}}) {
    auto made = std::make_unique<RecordingBackend>(std::move(devices), log);
    backend = made.get();
    port = std::make_unique<MidiPort>(std::move(made));
  }
  // Opens device 0 and forgets what the opening sent.
  void OpenQuietly() {
    ASSERT_TRUE(port->OpenDevice(0, kT));
    log->Clear();
  }
};

struct ChordCase {
  const char* name;
  Chord chord;
  std::vector<int> keys;  // upper voices, then bass

  friend void PrintTo(const ChordCase& c, std::ostream* os) { *os << c.name; }
};

class PlayChordTest : public ::testing::TestWithParam<ChordCase> {};

TEST_P(PlayChordTest, SoundsTheVoicingFromTheTopDown) {
  PortFixture f;
  f.OpenQuietly();
  f.port->PlayChord(GetParam().chord, kT);
  EXPECT_THAT(f.log->Messages(), ElementsAreArray(ExpectedChord(GetParam().keys)));
}

INSTANTIATE_TEST_SUITE_P(
    Chords, PlayChordTest,
    ::testing::Values(ChordCase{"CMajor",
                                {{'C', 0}, harmony::kMajorTriad},
                                {96, 91, 88, 84, 79, 76, 72, 67, 64, 60, 48}},
                      ChordCase{"AMinor",
                                {{'A', 0}, harmony::kMinorTriad},
                                {96, 93, 88, 84, 81, 76, 72, 69, 64, 57, 45}},
                      ChordCase{"BDiminished",
                                {{'B', 0}, harmony::kDiminishedTriad},
                                {95, 89, 86, 83, 77, 74, 71, 65, 62, 59, 47}},
                      // Five tones all on the blank root, which counts as C.
                      ChordCase{"EmptyChord", {{' ', 0}, harmony::kEndRow}, {96, 84, 72, 60, 48}},
                      // Spelling does not matter to the sound: B# major is C major.
                      ChordCase{"BSharpMajor",
                                {{'B', 1}, harmony::kMajorTriad},
                                {96, 91, 88, 84, 79, 76, 72, 67, 64, 60, 48}},
                      // E# sits on pitch class 5, so the bass lands on 53 and 41.
                      ChordCase{"ESharpMajor",
                                {{'E', 1}, harmony::kMajorTriad},
                                {96, 93, 89, 84, 81, 77, 72, 69, 65, 53, 41}}),
    [](const ::testing::TestParamInfo<ChordCase>& info) { return std::string(info.param.name); });

TEST(PlayChord, FirstNoteOnIsTheBytes906040) {
  PortFixture f;
  f.OpenQuietly();
  f.port->PlayChord({{'C', 0}, harmony::kMajorTriad}, kT);
  const std::vector<std::uint8_t> bytes = f.log->Bytes();
  ASSERT_GE(bytes.size(), 6U);
  EXPECT_THAT(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 6),
              ElementsAre(0xB0, 0x7B, 0x00, 0x90, 0x60, 0x40));
}

TEST(PlayChord, TypeWithoutTonesSoundsOnlyTheBass) {
  // The first slot ends the tone list: no upper voices, but the bass still
  // reads the root moved by that slot ((-1, 0) from D is C).
  harmony::ChordType noTones = harmony::kMajorTriad;
  noTones.tones[0] = {-1, 0};
  PortFixture f;
  f.OpenQuietly();
  f.port->PlayChord({{'D', 0}, noTones}, kT);
  EXPECT_THAT(f.log->Messages(), ElementsAreArray(ExpectedChord({60, 48})));
}

TEST(PlayChord, SharedPitchClassSoundsEachKeyOnce) {
  // Root and a second slot on the same pitch class (C and B#).
  harmony::ChordType doubled{1, {{{0, 0}, {6, 0}, {-1, 0}, {0, 0}, {0, 0}}}};
  PortFixture f;
  f.OpenQuietly();
  f.port->PlayChord({{'C', 0}, doubled}, kT);
  EXPECT_THAT(f.log->Messages(), ElementsAreArray(ExpectedChord({96, 84, 72, 60, 48})));
}

struct InstrumentCase {
  std::int32_t instrument;
  std::uint8_t program;

  friend void PrintTo(const InstrumentCase& c, std::ostream* os) { *os << c.instrument; }
};

class ProgramChangeTest : public ::testing::TestWithParam<InstrumentCase> {};

TEST_P(ProgramChangeTest, SilencesThenSelectsTheClampedProgram) {
  PortFixture f;
  f.OpenQuietly();
  f.port->ProgramChange(GetParam().instrument, kT);
  EXPECT_THAT(f.log->Messages(),
              ElementsAre(kAllNotesOff, MidiMessage::ProgramChange(1, GetParam().program)));
  // No byte after a status byte may have its top bit set.
  const std::vector<std::uint8_t> bytes = f.log->Bytes();
  EXPECT_THAT(bytes, ElementsAre(0xB0, 0x7B, 0x00, 0xC0, GetParam().program));
}

INSTANTIATE_TEST_SUITE_P(
    Instruments, ProgramChangeTest,
    ::testing::Values(InstrumentCase{49, 0x30}, InstrumentCase{1, 0x00}, InstrumentCase{128, 0x7F},
                      // Out of range: clamped, never C0 FF or C0 80.
                      InstrumentCase{0, 0x00}, InstrumentCase{129, 0x7F}, InstrumentCase{-5, 0x00},
                      InstrumentCase{INT32_MAX, 0x7F}, InstrumentCase{INT32_MIN, 0x00}));

TEST(NoteOn, PacksKeyAndVelocityAndKeepsDataBytesSevenBit) {
  PortFixture f;
  f.OpenQuietly();
  f.port->NoteOn(60, 64, kT);
  f.port->NoteOn(0, 127, kT);
  f.port->NoteOn(200, 300, kT);
  f.port->NoteOn(-1, -1, kT);
  std::vector<std::uint32_t> packed;
  for (const MidiMessage& message : f.log->Messages()) {
    packed.push_back(Packed(message));
  }
  EXPECT_THAT(packed, ElementsAre(0x403C90U, 0x7F0090U, 0x7F7F90U, 0x000090U));
}

TEST(MidiPortTime, EveryMessageCarriesTheTimeItWasGiven) {
  PortFixture f;
  const Timestamp later = kT + std::chrono::milliseconds(2000);
  ASSERT_TRUE(f.port->OpenDevice(0, kT));
  f.port->PlayChord({{'C', 0}, harmony::kMajorTriad}, later);
  const std::vector<Timestamp> times = f.log->Times();
  ASSERT_EQ(times.size(), 13U);
  EXPECT_EQ(times.front(), kT);
  EXPECT_EQ(std::count(times.begin(), times.end(), later), 12);
}

TEST(MidiPortFailure, AFailedDeviceIsToldOnceAndLeftAloneUntilTheNextOpen) {
  PortFixture f;
  ASSERT_TRUE(f.port->OpenDevice(0, kT));
  f.backend->FailSendsAfter(3, "the JACK server has quit");
  f.port->PlayChord({{'C', 0}, harmony::kMajorTriad}, kT);
  EXPECT_TRUE(f.port->DeviceFailed());
  const std::optional<Error> failure = f.port->TakeFailure();
  ASSERT_TRUE(failure);
  EXPECT_EQ(EnglishText(*failure), "the JACK server has quit");
  EXPECT_FALSE(f.port->TakeFailure()) << "told once";
  const std::size_t delivered = f.log->Messages().size();
  EXPECT_EQ(delivered, 4U);  // the open's all-notes-off and three of the chord
  f.port->PlayChord({{'A', 0}, harmony::kMinorTriad}, kT);
  EXPECT_EQ(f.log->Messages().size(), delivered) << "a failed device gets nothing more";
  EXPECT_FALSE(f.port->CloseDevice(kT)) << "the close reports the failure";

  ASSERT_TRUE(f.port->OpenDevice(1, kT));
  EXPECT_FALSE(f.port->DeviceFailed());
  f.port->PlayChord({{'A', 0}, harmony::kMinorTriad}, kT);
  EXPECT_EQ(f.log->MessagesTo(1).size(), 13U);
  EXPECT_TRUE(f.port->CloseDevice(kT));
}

TEST(MidiPortDevices, PassesOnWhyDevicesAreMissing) {
  PortFixture f;
  f.backend->unavailable = {
      Error::Of(ErrorKind::kDevicesUnlisted, "JACK").Because(Error::Of(ErrorKind::kNoJackServer))};
  ASSERT_EQ(f.port->UnavailableDevices().size(), 1U);
  EXPECT_EQ(EnglishText(f.port->UnavailableDevices()[0]), "JACK: no JACK server is running");
}

TEST(MidiPortDevices, ListsNamesAndLeavesTheTextOnFailure) {
  PortFixture f({{"Synth A"}, {std::nullopt}});
  EXPECT_EQ(f.port->DeviceCount(), 2U);
  std::string name = "untouched";
  EXPECT_TRUE(f.port->DeviceName(0, name));
  EXPECT_EQ(name, "Synth A");
  name = "untouched";
  EXPECT_FALSE(f.port->DeviceName(1, name));
  EXPECT_EQ(name, "untouched");
  EXPECT_FALSE(f.port->DeviceName(2, name));
  EXPECT_EQ(name, "untouched");
  EXPECT_THAT(f.log->events, IsEmpty());  // naming never touches a device
}

TEST(MidiPortOpen, SilencesTheNewDeviceAfterOpening) {
  PortFixture f;
  EXPECT_FALSE(f.port->IsOpen());
  ASSERT_TRUE(f.port->OpenDevice(1, kT));
  EXPECT_TRUE(f.port->IsOpen());
  EXPECT_THAT(f.log->events, ElementsAre(RecordedEvent{RecordedKind::kOpen, 1},
                                         RecordedEvent{RecordedKind::kSend, 1, kAllNotesOff}));
}

TEST(MidiPortOpen, SwitchingDevicesSilencesAndClosesTheOldOneFirst) {
  PortFixture f;
  ASSERT_TRUE(f.port->OpenDevice(0, kT));
  ASSERT_TRUE(f.port->OpenDevice(1, kT));
  EXPECT_THAT(f.log->events, ElementsAre(RecordedEvent{RecordedKind::kOpen, 0},
                                         RecordedEvent{RecordedKind::kSend, 0, kAllNotesOff},
                                         RecordedEvent{RecordedKind::kSend, 0, kAllNotesOff},
                                         RecordedEvent{RecordedKind::kClose, 0},
                                         RecordedEvent{RecordedKind::kOpen, 1},
                                         RecordedEvent{RecordedKind::kSend, 1, kAllNotesOff}));
}

TEST(MidiPortOpen, ReopeningTheOpenDeviceClosesAndReopensIt) {
  PortFixture f;
  ASSERT_TRUE(f.port->OpenDevice(0, kT));
  f.log->Clear();
  ASSERT_TRUE(f.port->OpenDevice(0, kT));
  EXPECT_TRUE(f.port->IsOpen());
  EXPECT_THAT(f.log->events, ElementsAre(RecordedEvent{RecordedKind::kSend, 0, kAllNotesOff},
                                         RecordedEvent{RecordedKind::kClose, 0},
                                         RecordedEvent{RecordedKind::kOpen, 0},
                                         RecordedEvent{RecordedKind::kSend, 0, kAllNotesOff}));
}

TEST(MidiPortOpen, FailedOpenAfterASuccessfulOneLeavesNothingOpen) {
  PortFixture f({{"Good"}, {"Broken", false}});
  ASSERT_TRUE(f.port->OpenDevice(0, kT));
  f.log->Clear();
  EXPECT_FALSE(f.port->OpenDevice(1, kT));
  EXPECT_FALSE(f.port->IsOpen());
  EXPECT_THAT(f.log->events, ElementsAre(RecordedEvent{RecordedKind::kSend, 0, kAllNotesOff},
                                         RecordedEvent{RecordedKind::kClose, 0},
                                         RecordedEvent{RecordedKind::kOpenFailed, 1}));
  // Nothing reaches any device any more, and destruction adds nothing.
  f.port->PlayChord({{'C', 0}, harmony::kMajorTriad}, kT);
  f.port.reset();
  EXPECT_EQ(f.log->events.size(), 3U);
  EXPECT_EQ(f.log->sendsWhileClosed, 12U);
}

TEST(MidiPortOpen, IndexBeyondTheListFailsCleanly) {
  PortFixture f;
  EXPECT_FALSE(f.port->OpenDevice(7, kT));
  EXPECT_FALSE(f.port->IsOpen());
  EXPECT_THAT(f.log->Messages(), IsEmpty());
}

TEST(MidiPortOpen, DeviceThatStopsOpeningFailsOnReopen) {
  PortFixture f;
  ASSERT_TRUE(f.port->OpenDevice(1, kT));
  f.backend->SetOpenFails(1, true);
  EXPECT_FALSE(f.port->OpenDevice(1, kT));
  EXPECT_FALSE(f.port->IsOpen());
}

TEST(MidiPortClosed, EveryOperationCompletesAndNothingIsHeard) {
  PortFixture f;
  f.port->AllNotesOff(kT);
  f.port->ProgramChange(49, kT);
  f.port->NoteOn(60, 64, kT);
  f.port->PlayChord({{'A', 0}, harmony::kMinorTriad}, kT);
  f.port.reset();
  EXPECT_THAT(f.log->events, IsEmpty());
  EXPECT_EQ(f.log->sendsWhileClosed, 1U + 2U + 1U + 12U);
}

TEST(MidiPortLifetime, DestructorSilencesAndClosesTheOpenDevice) {
  PortFixture f;
  ASSERT_TRUE(f.port->OpenDevice(1, kT));
  f.port->PlayChord({{'C', 0}, harmony::kMajorTriad}, kT);
  f.log->Clear();
  f.port.reset();
  EXPECT_THAT(f.log->events, ElementsAre(RecordedEvent{RecordedKind::kSend, 1, kAllNotesOff},
                                         RecordedEvent{RecordedKind::kClose, 1}));
}

TEST(MidiPortLifetime, DestructorAfterOnlyAFailedOpenSendsNothing) {
  PortFixture f({{"Broken", false}});
  EXPECT_FALSE(f.port->OpenDevice(0, kT));
  f.port.reset();
  EXPECT_THAT(f.log->events, ElementsAre(RecordedEvent{RecordedKind::kOpenFailed, 0}));
}

TEST(MidiPortLifetime, PortThatNeverOpenedSendsNothing) {
  PortFixture f;
  f.port.reset();
  EXPECT_THAT(f.log->events, IsEmpty());
  EXPECT_EQ(f.log->sendsWhileClosed, 0U);
}

TEST(MidiMessage, NamedMessagesEncodeToTheirBytesAndDecodeBack) {
  using Bytes = std::vector<std::uint8_t>;
  const struct {
    MidiMessage message;
    Bytes bytes;
  } cases[] = {
      {MidiMessage::AllNotesOff(1), {0xB0, 0x7B, 0x00}},
      {MidiMessage::ProgramChange(1, 48), {0xC0, 0x30}},
      {MidiMessage::NoteOn(1, 60, 64), {0x90, 0x3C, 0x40}},
      {MidiMessage::NoteOff(16, 60), {0x8F, 0x3C, 0x40}},
      {MidiMessage::ControlChange(3, 7, 100), {0xB2, 0x07, 0x64}},
      {MidiMessage::NoteOn(0, 200, -3), {0x90, 0x7F, 0x00}},  // clamped, never a status byte
      {MidiMessage::Clock(), {0xF8}},
      {MidiMessage::Start(), {0xFA}},
      {MidiMessage::Continue(), {0xFB}},
      {MidiMessage::Stop(), {0xFC}},
      {MidiMessage::SongPosition(300), {0xF2, 0x2C, 0x02}},
      {MidiMessage::SongPosition(99999), {0xF2, 0x7F, 0x7F}},
  };
  for (const auto& c : cases) {
    EXPECT_THAT(Bytes(c.message.Bytes().begin(), c.message.Bytes().end()),
                ElementsAreArray(c.bytes));
    EXPECT_EQ(MidiMessage::Decode(c.bytes), c.message);
  }
  EXPECT_EQ(Packed(MidiMessage::AllNotesOff(1)), 0x7BB0U);  // the value of the original API
}

TEST(MidiMessage, DecodeRefusesWhatIsNoSingleMessage) {
  using Bytes = std::vector<std::uint8_t>;
  const Bytes refused[] = {{},
                           {0x3C},
                           {0x90, 0x3C},
                           {0x90, 0x3C, 0x40, 0x00},
                           {0xC0},
                           {0x90, 0x80, 0x40},
                           {0xF0, 0x7E, 0xF7},
                           {0xF2, 0x01}};
  for (const Bytes& bytes : refused) {
    EXPECT_EQ(MidiMessage::Decode(bytes), std::nullopt) << ::testing::PrintToString(bytes);
  }
  EXPECT_TRUE(MidiMessage::Decode(Bytes{0x90, 0x3C, 0x00})->IsNoteOff());
  EXPECT_EQ(MidiMessage::Decode(Bytes{0xD3, 0x40})->Channel(), 4);
}

}  // namespace
}  // namespace sonavela::midi
