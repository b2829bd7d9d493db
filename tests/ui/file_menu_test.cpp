// SPDX-License-Identifier: GPL-3.0-or-later
// The window menu's file commands, driven through the dialog: MIDI file
// export of what was played, and rule tables saved to and opened from files.
#include <sys/wait.h>

#include <gmock/gmock.h>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dialog_harness.h"
#include "generator/rules.h"
#include "midi/port/midi_port.h"
#include "playback/rule_file_io.h"
#include "reference_progression.h"

namespace sonavela::ui::testing {
namespace {

using ::testing::ElementsAreArray;
using ::testing::StartsWith;

// One event of a MIDI file as the independent reader prints it.
struct FileEvent {
  long tick = 0;
  std::string what;  // "note_on 0 60 64", "marker", ...
  std::string text;  // of meta events with text

  friend bool operator==(const FileEvent&, const FileEvent&) = default;
};

void PrintTo(const FileEvent& event, std::ostream* out) {
  *out << event.tick << " " << event.what << (event.text.empty() ? "" : " |" + event.text);
}

struct ReadBack {
  int status = -1;
  std::string header;  // "file <format> <ticks per beat> <tracks> <seconds>"
  std::vector<FileEvent> events;
  std::string output;

  [[nodiscard]] std::vector<FileEvent> Only(std::string_view prefix) const {
    std::vector<FileEvent> found;
    for (const FileEvent& event : events) {
      if (event.what.starts_with(prefix)) {
        found.push_back(event);
      }
    }
    return found;
  }
};

// Reads the file with mido (tests/midi/read_midi_file.py), which shares no
// code with the writer.
ReadBack ReadMidiFile(const QString& path) {
  const std::string command = std::string("'") + SONAVELA_PYTHON3 + "' '" + SONAVELA_MIDI_READER +
                              "' '" + path.toStdString() + "' 2>&1";
  ReadBack read;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return read;
  }
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
    read.output += buffer.data();
  }
  const int status = pclose(pipe);
  read.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

  std::istringstream lines(read.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.starts_with("file ")) {
      read.header = line;
      continue;
    }
    FileEvent event;
    const std::size_t bar = line.find('|');
    if (bar != std::string::npos) {
      event.text = line.substr(bar + 1);
      line.resize(bar - 1);
    }
    std::istringstream fields(line);
    long delta = 0;
    fields >> event.tick >> delta;
    std::getline(fields >> std::ws, event.what);
    read.events.push_back(event);
  }
  return read;
}

std::string NoteOn(const midi::MidiMessage& message) {
  return "note_on 0 " + std::to_string(message.Data1()) + " " + std::to_string(message.Data2());
}

constexpr long kBar = 1920;  // 480 ticks a quarter, one 4/4 bar a chord

class FileMenuTest : public DialogTest {
 protected:
  void SetUp() override { ASSERT_TRUE(directory.isValid()); }

  void Command(SysCommand command) {
    for (QAction* item : dialog->SystemMenu().actions()) {
      if (!item->isSeparator() && item->data().toUInt() == command) {
        item->trigger();
        return;
      }
    }
    ADD_FAILURE() << "no menu item " << command;
  }

  // The next file question is answered with this file of the test's folder.
  QString Answer(const QString& name) {
    const QString path = directory.filePath(name);
    notifier.fileAnswers.push_back(path);
    return path;
  }

  ReadBack SaveAndRead() {
    const QString path = Answer(QStringLiteral("progression.mid"));
    Command(kSaveMidiFileCommand);
    EXPECT_TRUE(notifier.notices.empty()) << notifier.notices.front().detail.toStdString();
    return ReadMidiFile(path);
  }

  // Everything the user sees of the two rule groups.
  struct RuleGroups {
    QStringList conn, subst;
    int connRow = -1, substRow = -1;
    QStringList fields;
    friend bool operator==(const RuleGroups&, const RuleGroups&) = default;
  };
  RuleGroups Groups() const {
    return {Lines(kIdConnList),
            Lines(kIdSubstList),
            List(kIdConnList)->currentRow(),
            List(kIdSubstList)->currentRow(),
            {Edit(kIdConnWeight)->text(), Edit(kIdConnText)->text(), Edit(kIdSubstWeight)->text(),
             Edit(kIdSubstText)->text()}};
  }

  void WriteText(const QString& name, const std::string& text) const {
    std::ofstream(directory.filePath(name).toStdString(), std::ios::binary) << text;
  }

  QTemporaryDir directory;
};

TEST_F(FileMenuTest, TheFileItemsComeBeforeTheAboutItemWhichStaysLast) {
  Open();
  QStringList texts;
  std::vector<unsigned> commands;
  for (const QAction* item : dialog->SystemMenu().actions()) {
    texts << (item->isSeparator() ? QStringLiteral("-") : item->text());
    commands.push_back(item->isSeparator() ? 0U : item->data().toUInt());
  }
  EXPECT_EQ(
      texts,
      (QStringList{"最小化(&N)", "閉じる(&C)\tAlt+F4", "-", "MIDIファイルに保存(&M)...",
                   "規則表を開く(&O)...", "規則表を保存(&S)...", "-", "音色と声部(&V)...",
                   "テンポと同期(&T)...", "解説を表示(&E)", "-", "Sonavela のﾊﾞｰｼﾞｮﾝ情報(&A)..."}));
  EXPECT_EQ(commands,
            (std::vector<unsigned>{kMinimizeCommand, kCloseCommand, 0, kSaveMidiFileCommand,
                                   kOpenRuleFileCommand, kSaveRuleFileCommand, 0, kSoundCommand,
                                   kSyncCommand, kExplainCommand, 0, kAboutCommand}));
}

TEST_F(FileMenuTest, SavedRulesComeBackWhenOpenedAndDriveTheNextStart) {
  Open();
  const QString path = Answer(QStringLiteral("rules.txt"));
  Command(kSaveRuleFileCommand);
  ASSERT_EQ(notifier.prompts.size(), 1U);
  EXPECT_EQ(notifier.prompts[0].action, FileAction::kSave);
  EXPECT_TRUE(notifier.prompts[0].filter.contains(QStringLiteral("*.txt")));
  EXPECT_EQ(notifier.prompts[0].defaultSuffix, QStringLiteral("txt"));
  const generator::RuleFileReading saved = playback::ReadRuleFile(path.toStdString());
  ASSERT_TRUE(saved.Ok()) << saved.problems.front();
  EXPECT_EQ(saved.tables.connection,
            std::vector<std::string>(generator::DefaultConnectionRules.begin(),
                                     generator::DefaultConnectionRules.end()));
  EXPECT_EQ(saved.tables.substitution,
            std::vector<std::string>(generator::DefaultSubstitutionRules.begin(),
                                     generator::DefaultSubstitutionRules.end()));

  // Edit both lists and leave text in the fields.
  ClickLine(kIdConnList, 0);
  Type(kIdConnWeight, QStringLiteral("7"));
  Click(kIdConnUpdate);
  ClickLine(kIdSubstList, 2);
  Click(kIdSubstDelete);
  ClickLine(kIdSubstList, 3);
  ASSERT_NE(StdLines(kIdConnList), DefaultConnectionLines());
  ASSERT_NE(StdLines(kIdSubstList), DefaultSubstitutionLines());

  notifier.fileAnswers.push_back(path);
  Command(kOpenRuleFileCommand);
  EXPECT_EQ(notifier.prompts.back().action, FileAction::kOpen);
  EXPECT_TRUE(notifier.notices.empty());
  EXPECT_EQ(StdLines(kIdConnList), DefaultConnectionLines());
  EXPECT_EQ(StdLines(kIdSubstList), DefaultSubstitutionLines());
  const RuleGroups groups = Groups();
  EXPECT_EQ(groups.connRow, 16) << "the empty last line is selected";
  EXPECT_EQ(groups.substRow, 11);
  EXPECT_EQ(List(kIdConnList)->selectedItems().size(), 1);
  EXPECT_EQ(List(kIdSubstList)->selectedItems().size(), 1);
  EXPECT_EQ(groups.fields, QStringList(4, QString()));

  // A file without substitution rules: the next Start plays the tonic only.
  WriteText(
      QStringLiteral("tonic.rules"),
      "[connection]\n" + std::string(generator::DefaultConnectionRules[0]) + "\n[substitution]\n");
  Answer(QStringLiteral("tonic.rules"));
  Command(kOpenRuleFileCommand);
  ASSERT_TRUE(notifier.notices.empty());
  const std::vector<std::string> connection{std::string(generator::DefaultConnectionRules[0]), ""};
  EXPECT_EQ(StdLines(kIdConnList), connection);
  EXPECT_EQ(StdLines(kIdSubstList), std::vector<std::string>{""});
  ReferenceProgression reference;
  Click(kIdStart);
  dialog->Tick(0);
  dialog->Tick(0);
  EXPECT_EQ(StdLines(kIdResultList), reference.Start(connection, {""}, false, 3));
}

// A file that cannot be read or holds a problem is refused as a whole: the
// box lists each problem with its line, and the lists, their selection and
// the fields stay exactly as they were.
TEST_F(FileMenuTest, AFileWithProblemsChangesNothingAndTheBoxNamesEachLine) {
  std::string manyProblems = "[connection]\n";
  for (int i = 0; i < 30; ++i) {
    manyProblems += "x\n";
  }
  const struct {
    const char* name;
    std::optional<std::string> text;  // none: the file does not exist
    std::vector<std::string> detail;  // beginnings of the detail's lines
  } cases[] = {
      {"bad.txt",
       "# my rules\n[connection]\n" + std::string(generator::DefaultConnectionRules[0]) + "\n" +
           std::string(generator::DefaultConnectionRules[1]) + "\n\n[substitution]\n" +
           "  10     ?1\n" + std::string(generator::DefaultSubstitutionRules[0]) + "\n[chords]\n",
       {"bad.txt:7: substitution rule line too short", "bad.txt:9: unknown section"}},
      {"missing.txt", std::nullopt, {"missing.txt: cannot read: No such file or directory"}},
      {"garbage.txt",
       manyProblems,
       {"garbage.txt:2: ",  "garbage.txt:3: ",  "garbage.txt:4: ",
        "garbage.txt:5: ",  "garbage.txt:6: ",  "garbage.txt:7: ",
        "garbage.txt:8: ",  "garbage.txt:9: ",  "garbage.txt:10: ",
        "garbage.txt:11: ", "garbage.txt:12: ", "garbage.txt:13: ",
        "garbage.txt:14: ", "garbage.txt:15: ", "garbage.txt:16: ",
        "garbage.txt:17: ", "garbage.txt:18: ", "garbage.txt:19: ",
        "garbage.txt:20: ", "garbage.txt:21: ", "ほかに10件の問題があります。"}},
  };
  Open();
  ClickLine(kIdConnList, 0);
  Click(kIdConnDelete);
  ClickLine(kIdSubstList, 4);
  Type(kIdConnText, QStringLiteral("?25"));
  const RuleGroups before = Groups();
  ASSERT_FALSE(before.fields[2].isEmpty()) << "the picked substitution line is shown";

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.text) {
      WriteText(QString::fromUtf8(c.name), *c.text);
    }
    notifier.notices.clear();
    Answer(QString::fromUtf8(c.name));
    Command(kOpenRuleFileCommand);
    ASSERT_EQ(notifier.notices.size(), 1U);
    const Notice& notice = notifier.notices.front();
    EXPECT_EQ(notice.icon, QMessageBox::Warning);
    EXPECT_EQ(notice.text,
              QStringLiteral("規則表を読み込めませんでした。規則の一覧は変わっていません。"));
    const QStringList detail = notice.detail.split(QLatin1Char('\n'));
    ASSERT_EQ(detail.size(), static_cast<qsizetype>(c.detail.size()))
        << notice.detail.toStdString();
    for (std::size_t i = 0; i < c.detail.size(); ++i) {
      EXPECT_THAT(detail[static_cast<qsizetype>(i)].toStdString(), StartsWith(c.detail[i]));
    }
    EXPECT_EQ(Groups(), before);
  }
}

TEST_F(FileMenuTest, CancelledQuestionsChangeNothing) {
  Open();
  Click(kIdStart);
  const RuleGroups before = Groups();
  for (const SysCommand command :
       {kSaveMidiFileCommand, kOpenRuleFileCommand, kSaveRuleFileCommand}) {
    Command(command);
  }
  EXPECT_EQ(notifier.prompts.size(), 3U);
  EXPECT_TRUE(notifier.notices.empty());
  EXPECT_EQ(Groups(), before);
  EXPECT_TRUE(QDir(directory.path()).isEmpty());
}

TEST_F(FileMenuTest, AFileThatCannotBeSavedIsReported) {
  const struct {
    SysCommand command;
    const char* text;
    const char* detail;
  } cases[] = {
      {kSaveRuleFileCommand, "規則表を保存できませんでした。",
       "rules.txt: cannot save: No such file or directory"},
      {kSaveMidiFileCommand, "MIDIファイルを保存できませんでした。", "Cannot save the MIDI file"},
  };
  Open();
  Click(kIdStart);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    notifier.notices.clear();
    notifier.fileAnswers.push_back(directory.filePath(QStringLiteral("no folder/rules.txt")));
    Command(c.command);
    ASSERT_EQ(notifier.notices.size(), 1U);
    EXPECT_EQ(notifier.notices[0].icon, QMessageBox::Warning);
    EXPECT_EQ(notifier.notices[0].text, QString::fromUtf8(c.text));
    EXPECT_THAT(notifier.notices[0].detail.toStdString(), StartsWith(c.detail));
  }
}

TEST_F(FileMenuTest, BeforeTheFirstStartThereIsNothingToSave) {
  Open();
  ClickLine(kIdDeviceList, 1);
  Command(kSaveMidiFileCommand);
  ASSERT_EQ(notifier.notices.size(), 1U);
  EXPECT_EQ(notifier.notices[0].icon, QMessageBox::Information);
  EXPECT_EQ(notifier.notices[0].text, QStringLiteral("保存する演奏がありません。"));
  EXPECT_TRUE(notifier.prompts.empty()) << "no file dialog for nothing";
}

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
