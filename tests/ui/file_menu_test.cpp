// SPDX-License-Identifier: GPL-3.0-or-later
// The window menu's file commands, driven through the dialog: the items, and
// rule tables saved to and opened from files.
#include "file_menu_harness.h"

namespace sonavela::ui::testing {
namespace {

using ::testing::StartsWith;

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
  ASSERT_TRUE(saved.Ok()) << generator::EnglishTexts(saved.problems).front();
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

  // A file without substitution rules, taken when asked: the next Start
  // plays the tonic only.
  WriteText(
      QStringLiteral("tonic.rules"),
      "[connection]\n" + std::string(generator::DefaultConnectionRules[0]) + "\n[substitution]\n");
  notifier.confirmAnswers = {true};
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
       {"bad.txt:7: 置換規則の行が短すぎます。", "bad.txt:9: 見出し「[chords]」は知りません。"}},
      {"missing.txt", std::nullopt, {"missing.txt: 読み込めません（No such file or directory）。"}},
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

// A file that would leave nothing to play (empty, or without a table) is
// asked about first: no keeps the tables, yes takes the file.
TEST_F(FileMenuTest, AFileThatLeavesNothingToPlayIsAskedAboutFirst) {
  Open();
  for (const char* text : {"", "[connection]\n  10     ?15\n"}) {
    SCOPED_TRACE(text);
    const RuleGroups before = Groups();
    WriteText(QStringLiteral("empty.txt"), text);
    for (const bool yes : {false, true}) {
      notifier.questions.clear();
      notifier.confirmAnswers = {yes};
      Answer(QStringLiteral("empty.txt"));
      Command(kOpenRuleFileCommand);
      ASSERT_EQ(notifier.questions.size(), 1U);
      EXPECT_TRUE(notifier.questions[0].detail.contains(QStringLiteral("empty.txt")));
      if (!yes) {
        EXPECT_EQ(Groups(), before);
      } else {
        EXPECT_EQ(Lines(kIdSubstList), QStringList{QString()}) << "only the empty last line";
      }
    }
    Command(kOpenRuleFileCommand);  // cancelled: nothing asked
  }
  EXPECT_TRUE(notifier.notices.empty());
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
       "規則ファイル「rules.txt」を保存できません。\nNo such file or directory"},
      {kSaveMidiFileCommand, "MIDIファイルを保存できませんでした。", "MIDI ファイル「"},
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

}  // namespace
}  // namespace sonavela::ui::testing
