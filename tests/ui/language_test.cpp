// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs in Japanese and in English: every text a user can see, walked
// in both languages, as the window menu switches between them.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>

#include "dialog_harness.h"
#include "ui/about_dialog.h"
#include "ui/error_text.h"
#include "ui/explanation_window.h"
#include "ui/language.h"
#include "ui/sound_dialog.h"
#include "ui/sync_dialog.h"

namespace sonavela::ui::testing {
namespace {

bool HasJapanese(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF) ||
        (u >= 0xFF00 && u <= 0xFFEF)) {
      return true;
    }
  }
  return false;
}

// An English word left in a Japanese text: letters that are none of the
// names both languages write alike (MIDI, JACK, SoundFont, keys, chords and
// numerals, file patterns, mnemonics).
bool HasEnglish(QString text) {
  static const QRegularExpression names(
      QStringLiteral("Sonavela|General MIDI|SoundFont|MIDI|JACK|Ableton Link|BPM|OK|Alt\\+F4|"
                     "\\*\\.[a-z0-9]+|\\(&[A-Z]\\)|<[^>]*>|\\b[A-G](#|b)?(m|dim|\\?)?\\b|"
                     "\\b[b#]?(i{1,3}|iv|vi{0,2}|I{1,3}|IV|VI{0,2})°?\\b|\\b(ms|dB|st|[mMn])\\b"));
  text.remove(names);
  static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
  return text.contains(word);
}

// Everything a user reads in a window: its title, labels, buttons, choice
// lists, spin boxes' words and tooltips. The device, rule and result lists
// hold the user's data, not the program's words, and are left out.
QStringList VisibleTexts(const QWidget& window) {
  QStringList texts{window.windowTitle()};
  // Only the window's own widgets, not those of windows it owns.
  const auto own = [&window](const QWidget* widget) { return widget->window() == &window; };
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    if (own(label)) {
      texts << label->text();
    }
  }
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    if (own(button)) {
      texts << button->text() << button->toolTip();
    }
  }
  for (const QComboBox* box : window.findChildren<QComboBox*>()) {
    for (int i = 0; own(box) && i < box->count(); ++i) {
      texts << box->itemText(i);
    }
  }
  for (const QSpinBox* box : window.findChildren<QSpinBox*>()) {
    if (own(box)) {
      texts << box->specialValueText() << box->suffix();
    }
  }
  for (const QGroupBox* group : window.findChildren<QGroupBox*>()) {
    if (own(group)) {
      texts << group->title();
    }
  }
  texts.removeAll(QString());
  return texts;
}

std::vector<std::string> Std(const QStringList& texts) {
  std::vector<std::string> out;
  for (const QString& text : texts) {
    out.push_back(text.toStdString());
  }
  return out;
}

class LanguageTest : public DialogTest {
 protected:
  void TearDown() override { (void)TestTranslations().Use(Language::kJapanese); }

  // The dialog, its menu, the explanation window after a modulation, the
  // sound and sync settings, the About box and a notice.
  QStringList EveryText() {
    QStringList texts = VisibleTexts(*dialog);
    for (const QAction* item : dialog->SystemMenu().actions()) {
      texts << item->text();
    }
    if (dialog->Explanation() == nullptr || !dialog->Explanation()->isVisible()) {
      dialog->OnSysCommand(kExplainCommand);
    }
    texts << VisibleTexts(*dialog->Explanation());
    texts << VisibleTexts(SoundDialog(dialog->SoundSettings(), true, dialog.get()));
    texts << VisibleTexts(SyncDialog(dialog->SyncSettings(), {}, dialog.get()));
    texts << VisibleTexts(AboutDialog(dialog->Icon(), dialog.get()));
    // A file that cannot be written: the notice's own words (its detail is
    // the system's reason).
    notifier.notices.clear();
    notifier.fileAnswers.push_back(QStringLiteral("/nonexistent/folder/take.mid"));
    dialog->OnSaveMidiFile();
    EXPECT_EQ(notifier.notices.size(), 1U);
    for (const Notice& notice : notifier.notices) {
      texts << notice.text;
    }
    texts.removeAll(QString());
    return texts;
  }
};

TEST_F(LanguageTest, EveryTextIsJapaneseOrEnglishAsTheMenuChooses) {
  translations = &TestTranslations();
  Open();
  Click(kIdStart);
  for (int tick = 0; tick < 4; ++tick) {
    dialog->Tick(0);  // into A minor: the explanation names a pivot
  }
  Click(kIdStop);
  const QStringList japanese = EveryText();
  EXPECT_TRUE(japanese.contains(QStringLiteral("開始")));
  for (const QString& text : japanese) {
    // The About box's version line is the same in both languages.
    if (text != QStringLiteral("Sonavela Version 1.0") && text != QStringLiteral("English")) {
      EXPECT_FALSE(HasEnglish(text)) << "English in Japanese: " << text.toStdString();
    }
  }

  const auto items = dialog->SystemMenu().actions();
  const auto language = std::find_if(items.begin(), items.end(), [](const QAction* item) {
    return item->data().toUInt() == kLanguageCommand;
  });
  ASSERT_NE(language, items.end());
  EXPECT_EQ((*language)->text(), QStringLiteral("English"));
  (*language)->trigger();
  EXPECT_EQ(TestTranslations().Current(), Language::kEnglish);
  EXPECT_EQ(SavedLanguage(), Language::kEnglish);
  const QStringList english = EveryText();
  EXPECT_TRUE(english.contains(QStringLiteral("Start")));
  EXPECT_TRUE(english.filter(QStringLiteral("steps away from C")).size() == 1);
  for (const int steps : {1, 2}) {
    EXPECT_TRUE(QCoreApplication::translate(
                    "Sonavela", "主調 %1 から %n 歩 (離れられるのはあと %2 歩まで)", nullptr, steps)
                    .startsWith(steps == 1 ? QStringLiteral("1 step away")
                                           : QStringLiteral("2 steps away")));
  }
  EXPECT_EQ(Std(english).size(), Std(japanese).size())
      << ::testing::PrintToString(Std(english)) << ::testing::PrintToString(Std(japanese));
  for (const QString& text : english) {
    if (text != QStringLiteral("日本語")) {
      EXPECT_FALSE(HasJapanese(text)) << "Japanese in English: " << text.toStdString();
    }
  }

  (*language)->trigger();
  EXPECT_EQ(SavedLanguage(), Language::kJapanese);
  EXPECT_EQ(Std(EveryText()), Std(japanese));
}

// Every failure and notice the lower layers can report reads as a sentence
// of the dialog's language, with what caused it on the line below.
TEST_F(LanguageTest, EveryErrorAndNoticeIsWordedInTheDialogsLanguage) {
  const auto kinds = static_cast<int>(ErrorKind::kSystem);
  for (const Language language : {Language::kJapanese, Language::kEnglish}) {
    ASSERT_TRUE(TestTranslations().Use(language));
    for (int kind = 0; kind < kinds; ++kind) {
      const QString text = ErrorText(Error::Of(static_cast<ErrorKind>(kind), "Q-1"));
      SCOPED_TRACE(text.toStdString());
      EXPECT_FALSE(text.isEmpty());
      EXPECT_EQ(HasJapanese(text), language == Language::kJapanese);
    }
    for (int kind = 0; kind <= static_cast<int>(NoticeKind::kOutputBack); ++kind) {
      const QString text = NoticeText(sonavela::Notice::Of(static_cast<NoticeKind>(kind), "Q-1"));
      SCOPED_TRACE(text.toStdString());
      EXPECT_EQ(HasJapanese(text), language == Language::kJapanese);
    }
    for (int kind = 0; kind <= static_cast<int>(generator::RuleFileProblem::kNoRuleCanBeChosen);
         ++kind) {
      generator::RuleFileFinding finding;
      finding.problem = static_cast<generator::RuleFileProblem>(kind);
      finding.line = 3;
      const QString text = RuleFileText(finding, QStringLiteral("r.txt"));
      SCOPED_TRACE(text.toStdString());
      EXPECT_TRUE(text.startsWith(QStringLiteral("r.txt:3: ")));
      EXPECT_EQ(HasJapanese(text), language == Language::kJapanese);
    }
  }
  ASSERT_TRUE(TestTranslations().Use(Language::kJapanese));
  const Error lost = Error::Of(ErrorKind::kOutputNotOpened, "system:midi_playback_1")
                         .Because(Error::Of(ErrorKind::kJackPortRefused, "out", "port busy"));
  EXPECT_EQ(ErrorText(lost).toStdString(),
            "ＭＩＤＩデータ出力先「system:midi_playback_1」を開けません。\n"
            "JACK がポート「out」を断りました。\nport busy");
}

}  // namespace
}  // namespace sonavela::ui::testing
