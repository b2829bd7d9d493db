// SPDX-License-Identifier: GPL-3.0-or-later
// The window menu's file commands: the recording as a MIDI file, and the
// rule tables as a rule file.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <string>

#include "playback/rule_file_io.h"
#include "ui/error_text.h"
#include "ui/main_dialog.h"
#include "ui/notifier.h"
#include "ui/rule_list.h"

namespace sonavela::ui {
namespace {

// A long list of problems (a file that is no rule file at all) would make a
// box taller than the screen; the first ones tell what is wrong.
constexpr std::size_t kProblemsShown = 20;

// Made afresh each time: the language may have changed since the last.
FilePrompt RuleFilePrompt(FileAction action) {
  return {action,
          action == FileAction::kOpen ? QCoreApplication::translate("Sonavela", "規則表を開く")
                                      : QCoreApplication::translate("Sonavela", "規則表を保存"),
          QCoreApplication::translate("Sonavela", "規則表 (*.txt *.rules);;すべてのファイル (*)"),
          QStringLiteral("txt")};
}

}  // namespace

void MainDialog::OnSaveMidiFile() {
  if (!session_->HasRecording()) {
    notifier_.Show(
        this,
        Notice{ProgramName(), QCoreApplication::translate("Sonavela", "保存する演奏がありません。"),
               QCoreApplication::translate("Sonavela",
                                           "「開始」で演奏を始めると、それから演奏したコード"
                                           "進行をMIDIファイルに保存できます。"),
               QMessageBox::Information});
    return;
  }
  const std::optional<QString> path = notifier_.AskFileName(
      this,
      FilePrompt{FileAction::kSave, QCoreApplication::translate("Sonavela", "MIDIファイルに保存"),
                 QStringLiteral("MIDI (*.mid *.midi)"), QStringLiteral("mid")});
  if (!path) {
    return;
  }
  // Ticks go on while the file dialog is open: what they played is saved too.
  const Status saved = session_->SaveMidiFile(std::filesystem::path(path->toStdU16String()));
  if (!saved) {
    notifier_.Show(this, Notice{ProgramName(),
                                QCoreApplication::translate("Sonavela",
                                                            "MIDIファイルを保存できませんでした。"),
                                ErrorText(saved.error()), QMessageBox::Warning});
  }
}

void MainDialog::OnOpenRuleFile() {
  const std::optional<QString> path =
      notifier_.AskFileName(this, RuleFilePrompt(FileAction::kOpen));
  if (!path) {
    return;
  }
  const generator::RuleFileReading reading =
      playback::ReadRuleFile(QFile::encodeName(*path).toStdString());
  if (!reading.Ok()) {
    QStringList lines;
    for (std::size_t i = 0; i < std::min(reading.problems.size(), kProblemsShown); ++i) {
      lines << RuleFileText(reading.problems[i], QFileInfo(*path).fileName());
    }
    if (reading.problems.size() > kProblemsShown) {
      lines << QCoreApplication::translate("Sonavela", "ほかに%1件の問題があります。")
                   .arg(reading.problems.size() - kProblemsShown);
    }
    notifier_.Show(this,
                   Notice{ProgramName(),
                          QCoreApplication::translate("Sonavela",
                                                      "規則表を読み込めませんでした。規則の一覧は"
                                                      "変わっていません。"),
                          lines.join(QLatin1Char('\n')), QMessageBox::Warning});
    return;
  }
  // An empty file, or one without a table, would leave nothing to play:
  // asked first, as the user may have picked the wrong file.
  if (!reading.warnings.empty()) {
    QStringList lines;
    for (const generator::RuleFileFinding& warning : reading.warnings) {
      lines << RuleFileText(warning, QFileInfo(*path).fileName());
    }
    const bool replace = notifier_.Confirm(
        this,
        Notice{ProgramName(),
               QCoreApplication::translate("Sonavela",
                                           "この規則ファイルでは和音が先へ進みません。今の規則表を"
                                           "置き換えますか?"),
               lines.join(QLatin1Char('\n')), QMessageBox::Question});
    if (!replace) {
      return;
    }
  }
  connRules_->Replace(reading.tables.connection);
  substRules_->Replace(reading.tables.substitution);
}

void MainDialog::OnSaveRuleFile() {
  const std::optional<QString> path =
      notifier_.AskFileName(this, RuleFilePrompt(FileAction::kSave));
  if (!path) {
    return;
  }
  const playback::RuleLists lists{connRules_->RuleLines(), substRules_->RuleLines()};
  const Status saved = playback::WriteRuleFile(QFile::encodeName(*path).toStdString(), lists);
  if (!saved) {
    Error why = saved.error();
    why.subject = QFileInfo(*path).fileName().toStdString();
    notifier_.Show(this,
                   Notice{ProgramName(),
                          QCoreApplication::translate("Sonavela", "規則表を保存できませんでした。"),
                          ErrorText(why), QMessageBox::Warning});
  }
}

}  // namespace sonavela::ui
