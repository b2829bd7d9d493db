// SPDX-License-Identifier: GPL-3.0-or-later
// The explanation window as a user opens it from the window menu and watches
// it follow the progression.
#include <QCheckBox>
#include <QScreen>

#include "dialog_harness.h"
#include "ui/explanation_window.h"

namespace sonavela::ui::testing {
namespace {

class ExplanationWindowTest : public DialogTest {};

// The first chords of the default tables in both home keys, as --explain
// words them in English.
TEST_F(ExplanationWindowTest, FollowsEveryChordWithKeyNumeralPivotAndDistance) {
  const struct {
    bool minor;
    std::vector<QStringList> texts;
  } cases[] = {
      {false,
       {{"C", "C (I)", "まだありません", "主調 C にいます"},
        {"C", "Am (vi)", "まだありません", "主調 C にいます"},
        {"C", "Dm (ii)", "まだありません", "主調 C にいます"},
        {"Am", "E (V)", "Dm を C の ii から Am の iv と読み替え",
         "主調 C から 1 歩 (離れられるのはあと 14 歩まで)"}}},
      {true,
       {{"Am", "Am (i)", "まだありません", "主調 Am にいます"},
        {"Am", "F (VI)", "まだありません", "主調 Am にいます"},
        {"C", "G (V)", "F を Am の VI から C の IV と読み替え",
         "主調 Am から 1 歩 (離れられるのはあと 14 歩まで)"}}},
  };
  for (const auto& c : cases) {
    Open();
    Ctl<QCheckBox>(kIdMinorCheck)->setChecked(c.minor);
    dialog->OnSysCommand(kExplainCommand);
    ExplanationWindow* window = dialog->Explanation();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("解説"));
    EXPECT_TRUE(window->screen()->availableGeometry().contains(window->frameGeometry()));
    EXPECT_EQ(window->Texts()[0], c.minor ? QStringLiteral("Am") : QStringLiteral("C"));
    Click(kIdStart);
    for (std::size_t i = 0; i < c.texts.size(); ++i) {
      if (i > 0) {
        dialog->Tick(0);
      }
      EXPECT_EQ(window->Texts(), c.texts[i]) << i;
    }
    // Closed and opened again, it shows where the progression has got to.
    window->close();
    dialog->Tick(0);
    dialog->OnSysCommand(kExplainCommand);
    EXPECT_EQ(dialog->Explanation(), window);
    EXPECT_EQ(window->Texts()[1].section(' ', 0, 0).toStdString(),
              Lines(kIdResultList).back().section(':', 1).trimmed().toStdString());
    // Escape closes it, and the menu item closes it as it opens it.
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    dialog->OnSysCommand(kExplainCommand);
    EXPECT_TRUE(window->isVisible());
    dialog->OnSysCommand(kExplainCommand);
    EXPECT_FALSE(window->isVisible());
  }
}

}  // namespace
}  // namespace sonavela::ui::testing
