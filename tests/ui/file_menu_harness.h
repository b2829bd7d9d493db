// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the tests of the window menu's file commands share: the dialog with
// files and file questions of the test's own, and an independent reader of
// the MIDI files it saves.
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

// One event of a MIDI file as the independent reader prints it.
struct FileEvent {
  long tick = 0;
  std::string what;  // "note_on 0 60 64", "marker", ...
  std::string text;  // of meta events with text

  friend bool operator==(const FileEvent&, const FileEvent&) = default;
};

inline void PrintTo(const FileEvent& event, std::ostream* out) {
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
inline ReadBack ReadMidiFile(const QString& path) {
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

inline std::string NoteOn(const midi::MidiMessage& message) {
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

}  // namespace sonavela::ui::testing
