// SPDX-License-Identifier: GPL-3.0-or-later
// The window menu's MIDI file export of what was played, driven through the
// dialog and read back by an independent reader.
#include "file_menu_harness.h"

namespace sonavela::ui::testing {
namespace {

using ::testing::ElementsAreArray;
using ::testing::StartsWith;

// The file holds the program change and every chord since Start, each with
// its result line as a marker, one bar apart, and exactly the notes the
// device was sent.
TEST_F(FileMenuTest, TheMidiFileHoldsWhatWasPlayedWithTheResultLinesAsMarkers) {
  ASSERT_STRNE(SONAVELA_PYTHON3, "")
      << "/usr/bin/python3 was not found; install python3 and "
         "python3-mido (scripts/install-deps.sh) and configure again";
  Open();
  log->Clear();
  Click(kIdStart);
  for (int tick = 0; tick < 3; ++tick) {
    dialog->Tick(0);
  }
  const ReadBack read = SaveAndRead();
  ASSERT_NE(read.status, 3) << read.output;
  ASSERT_EQ(read.status, 0) << read.output;
  ASSERT_EQ(notifier.prompts.size(), 1U);
  EXPECT_EQ(notifier.prompts[0].filter, QStringLiteral("MIDI (*.mid *.midi)"));
  EXPECT_EQ(notifier.prompts[0].defaultSuffix, QStringLiteral("mid"));

  EXPECT_THAT(read.header, StartsWith("file 0 480 1 "));
  std::vector<FileEvent> markers;
  const auto lines = StdLines(kIdResultList);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    markers.push_back({static_cast<long>(k) * kBar, "marker", lines[k]});
  }
  EXPECT_THAT(read.Only("marker"), ElementsAreArray(markers));
  EXPECT_EQ(read.Only("program_change"), (std::vector<FileEvent>{{0, "program_change 0 48", ""}}));

  // The note-ons are the device's, in order, each in the bar of its chord.
  std::vector<std::string> sent;
  for (const midi::MidiMessage& message : log->Messages()) {
    if (message.IsNoteOn()) {
      sent.push_back(NoteOn(message));
    }
  }
  std::vector<std::string> written;
  for (const FileEvent& event : read.Only("note_on")) {
    written.push_back(event.what);
    const auto chord = std::find_if(markers.rbegin(), markers.rend(),
                                    [&](const FileEvent& m) { return m.tick <= event.tick; });
    ASSERT_NE(chord, markers.rend());
    EXPECT_EQ(event.tick, chord->tick) << event.what;
  }
  EXPECT_EQ(written, sent);
  EXPECT_EQ(read.Only("note_off").size(), sent.size()) << "every note ends";
  // Still playing: the last chord lasts its whole bar.
  ASSERT_FALSE(read.events.empty());
  EXPECT_EQ(read.events.back(), (FileEvent{4 * kBar, "end_of_track", ""}));
}

TEST_F(FileMenuTest, TheFileKeepsMoreThanTheHundredVisibleLines) {
  Open();
  ReferenceProgression reference;
  const auto expected =
      reference.Start(DefaultConnectionLines(), DefaultSubstitutionLines(), false, 106);
  Click(kIdStart);
  for (int tick = 0; tick < 105; ++tick) {
    dialog->Tick(0);
  }
  ASSERT_EQ(List(kIdResultList)->count(), 100);
  const ReadBack read = SaveAndRead();
  ASSERT_EQ(read.status, 0) << read.output;
  const auto markers = read.Only("marker");
  ASSERT_EQ(markers.size(), expected.size());
  for (std::size_t k = 0; k < markers.size(); ++k) {
    EXPECT_EQ(markers[k], (FileEvent{static_cast<long>(k) * kBar, "marker", expected[k]}));
  }
}

TEST_F(FileMenuTest, StartAgainBeginsANewRecording) {
  Open();
  Click(kIdStart);
  for (int tick = 0; tick < 3; ++tick) {
    dialog->Tick(0);
  }
  Click(kIdStart);
  dialog->Tick(0);
  const ReadBack read = SaveAndRead();
  ASSERT_EQ(read.status, 0) << read.output;
  const auto lines = StdLines(kIdResultList);
  ASSERT_EQ(lines.size(), 2U);
  EXPECT_EQ(read.Only("marker"),
            (std::vector<FileEvent>{{0, "marker", lines[0]}, {kBar, "marker", lines[1]}}));
  EXPECT_EQ(read.Only("program_change").size(), 1U);
}

// Stopped, the notes end in the file where Stop silenced them, within the
// bar of the last chord.
TEST_F(FileMenuTest, AfterStopTheNotesEndWhereTheyStopped) {
  // Chords of two seconds, one bar each; the test is over long before the
  // timer's first tick.
  Open(TwoDevices(), std::chrono::seconds(2));
  Click(kIdStart);
  dialog->Tick(0);
  QTest::qWait(100);  // 100 ms of a two-second bar: 96 ticks
  Click(kIdStop);
  QTest::qWait(100);  // saving later changes nothing
  const ReadBack read = SaveAndRead();
  ASSERT_EQ(read.status, 0) << read.output;
  ASSERT_FALSE(read.events.empty());
  const long end = read.events.back().tick;
  EXPECT_EQ(read.events.back().what, "end_of_track");
  EXPECT_GE(end, kBar + 96);
  EXPECT_LT(end, 2 * kBar);
  const auto offs = read.Only("note_off");
  ASSERT_FALSE(offs.empty());
  EXPECT_EQ(offs.back().tick, end) << "the last chord ends at the stop";
}

// The program's own file dialog: titled, filtered, and a name typed without
// an extension gets ".mid".
TEST_F(FileMenuTest, TheProgramsFileDialogAddsTheMidiSuffix) {
  Open(TwoDevices(), std::chrono::hours(1), /*realBoxes=*/true);
  Click(kIdStart);
  QString title;
  QStringList filters;
  QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
  WhenItAppears([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
                [&](QFileDialog* files) {
                  title = files->windowTitle();
                  filters = files->nameFilters();
                  mode = files->acceptMode();
                  files->selectFile(directory.filePath(QStringLiteral("take")));
                  static_cast<QDialog*>(files)->accept();  // public as a QDialog
                });
  Command(kSaveMidiFileCommand);
  EXPECT_EQ(title, QStringLiteral("MIDIファイルに保存"));
  EXPECT_EQ(filters, QStringList{QStringLiteral("MIDI (*.mid *.midi)")});
  EXPECT_EQ(mode, QFileDialog::AcceptSave);
  EXPECT_TRUE(QFileInfo::exists(directory.filePath(QStringLiteral("take.mid"))));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The file tap listens in without changing a byte: the device gets what a
// port driven directly with the same chords sends.
TEST_F(FileMenuTest, TheDeviceGetsTheSameBytesAsWithoutTheFile) {
  Open();
  Click(kIdStart);
  for (int tick = 0; tick < 5; ++tick) {
    dialog->Tick(0);
  }
  Click(kIdStop);
  ClickLine(kIdDeviceList, 1);
  dialog.reset();

  ReferenceProgression reference;
  const auto steps =
      reference.StartSteps(DefaultConnectionLines(), DefaultSubstitutionLines(), false, 6);
  auto direct = std::make_shared<midi::MidiLog>();
  {
    const midi::Timestamp at{};
    midi::MidiPort port(std::make_unique<midi::RecordingBackend>(TwoDevices(), direct));
    ASSERT_TRUE(port.OpenDevice(0, at));
    port.ProgramChange(49, at);
    port.AllNotesOff(at);
    for (const auto& step : steps) {
      port.PlayChord(step.chord, at);
    }
    port.AllNotesOff(at);
    ASSERT_TRUE(port.OpenDevice(1, at));
  }
  EXPECT_EQ(log->events, direct->events);
  EXPECT_EQ(log->Bytes(), direct->Bytes());
}

}  // namespace
}  // namespace sonavela::ui::testing
