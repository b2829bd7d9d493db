// SPDX-License-Identifier: GPL-3.0-or-later
#include <QListWidget>
#include <QMessageBox>

#include "dialog_harness.h"

namespace sonavela::ui::testing {
namespace {

class RuleNotesTest : public DialogTest {};

// 開始 tells what the checker finds beside the dialog and on the rule lines,
// once it is ready, and plays all the same; tables without findings show
// nothing, and tables already told of are not told again.
TEST_F(RuleNotesTest, FindingsAreShownOnStartWithoutStoppingThePlay) {
  Open();
  Click(kIdStart);
  QTRY_VERIFY(!dialog->RuleFindings().Checking());
  EXPECT_EQ(dialog->RuleFindings().Note(), nullptr) << "the default tables warn of nothing";
  for (int i = 0; i < 17; ++i) {
    EXPECT_TRUE(List(kIdConnList)->item(i)->toolTip().isEmpty());
  }
  // Their re-reading of the third degree is never played: said on its line.
  const QList<QListWidgetItem*> third =
      List(kIdSubstList)->findItems(QStringLiteral("  40     ?33"), Qt::MatchExactly);
  ASSERT_EQ(third.size(), 1);
  EXPECT_EQ(third[0]->toolTip(), QStringLiteral("注: 主調 C からは使われません。"));

  // A chain that ends on a chord no re-reading continues from, before the
  // empty last line.
  ClickLine(kIdConnList, 16);
  Type(kIdConnWeight, QStringLiteral("9"));
  Type(kIdConnText, QStringLiteral("?17M"));
  Click(kIdConnUpdate);
  ASSERT_EQ(List(kIdConnList)->item(16)->text(), QStringLiteral("   9     ?17M"));
  Click(kIdStart);
  EXPECT_EQ(Lines(kIdResultList).size(), 1) << "the progression started";
  QTRY_VERIFY(dialog->RuleFindings().Note() != nullptr);
  QMessageBox* note = dialog->RuleFindings().Note();
  EXPECT_TRUE(note->isVisible());
  EXPECT_FALSE(note->isModal());
  EXPECT_FALSE(note->frameGeometry().intersects(dialog->frameGeometry())) << "beside, not over";
  EXPECT_TRUE(note->informativeText().contains(QStringLiteral("コード連結規則表 17 行目")))
      << note->informativeText().toStdString();
  const QString tip = List(kIdConnList)->item(16)->toolTip();
  EXPECT_TRUE(tip.contains(QStringLiteral("調 C の B? (B D# F) で終わります")))
      << tip.toStdString();
  EXPECT_TRUE(List(kIdConnList)->item(15)->toolTip().isEmpty());
  note->close();
  QTest::qWait(10);
  Click(kIdStart);
  QTRY_VERIFY(!dialog->RuleFindings().Checking());
  EXPECT_EQ(dialog->RuleFindings().Note(), nullptr) << "the same tables, told again";

  ClickLine(kIdConnList, 16);
  Click(kIdConnDelete);
  Click(kIdStart);
  QTRY_VERIFY(!dialog->RuleFindings().Checking());
  EXPECT_TRUE(List(kIdConnList)->item(16)->toolTip().isEmpty());
  QTest::qWait(10);
  EXPECT_TRUE(dialog->RuleFindings().Note() == nullptr ||
              !dialog->RuleFindings().Note()->isVisible());
}

// Many warnings: a few in view, every one under the details.
TEST_F(RuleNotesTest, ManyWarningsShowAFewAndTheRestOnRequest) {
  Open();
  for (int i = 0; i < 12; ++i) {
    ClickLine(kIdConnList, 16 + i);
    Type(kIdConnWeight, QStringLiteral("0"));
    Type(kIdConnText, QStringLiteral("?15"));
    Click(kIdConnUpdate);
  }
  Click(kIdStart);
  QTRY_VERIFY(dialog->RuleFindings().Note() != nullptr);
  const QMessageBox* note = dialog->RuleFindings().Note();
  EXPECT_EQ(note->informativeText().count(QLatin1Char('\n')), 5)
      << "five lines and the rest's count";
  EXPECT_TRUE(note->informativeText().contains(QStringLiteral("ほか 7 件")));
  EXPECT_EQ(note->detailedText().count(QStringLiteral("重みが 0")), 12);
}

// A check still running when the window closes is dropped with it.
TEST_F(RuleNotesTest, ClosingTheWindowDropsACheckStillRunning) {
  Open();
  ClickLine(kIdConnList, 16);
  Type(kIdConnWeight, QStringLiteral("0"));
  Type(kIdConnText, QStringLiteral("?15"));
  Click(kIdConnUpdate);
  Click(kIdStart);
  dialog->reject();
  EXPECT_FALSE(dialog->RuleFindings().Checking());
  QTest::qWait(50);
  EXPECT_EQ(dialog->RuleFindings().Note(), nullptr);
}

}  // namespace
}  // namespace sonavela::ui::testing
