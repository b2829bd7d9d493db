// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialog_harness.h"

namespace sonavela::ui::testing {
namespace {

// The controls of one rule-editing group.
struct Group {
  const char* name;
  int list, weight, text, update, remove;
  int defaultCount;  // rule lines before the empty one
};

constexpr Group kConnection{"connection",  kIdConnList, kIdConnWeight, kIdConnText, kIdConnUpdate,
                            kIdConnDelete, 16};
constexpr Group kSubstitution{
    "substitution", kIdSubstList, kIdSubstWeight, kIdSubstText, kIdSubstUpdate, kIdSubstDelete, 11};

void PrintTo(const Group& group, std::ostream* out) {
  *out << group.name;
}

class RuleEditingTest : public DialogTest, public ::testing::WithParamInterface<Group> {
 protected:
  void SetUp() override { Open(); }
  const Group& G() const { return GetParam(); }
  int Selected() const { return List(G().list)->currentRow(); }
  QString WeightText() const { return Edit(G().weight)->text(); }
  QString RuleText() const { return Edit(G().text)->text(); }
  void Fill(const QString& weight, const QString& text) const {
    Type(G().weight, weight);
    Type(G().text, text);
  }
  // A rule text that both parsers read.
  static QString SomeRule() { return QStringLiteral("?25"); }
};

TEST_P(RuleEditingTest, PickingAndUpdatingUnchangedPutsTheSameLineBack) {
  const QStringList before = Lines(G().list);
  for (int row = 0; row < G().defaultCount; ++row) {
    ClickLine(G().list, row);
    const QString line = before[row];
    EXPECT_EQ(WeightText(), line.left(4));
    EXPECT_EQ(RuleText(), line.mid(9));
    Click(G().update);
    EXPECT_EQ(Lines(G().list), before) << "row " << row;
    EXPECT_EQ(Selected(), row);
    EXPECT_EQ(List(G().list)->selectedItems().size(), 1);
  }
}

TEST_P(RuleEditingTest, UpdateReplacesThePickedLineInPlaceAndKeepsTheFields) {
  ClickLine(G().list, 2);
  Fill(QStringLiteral("7"), QStringLiteral("m12"));
  Click(G().update);
  const QStringList lines = Lines(G().list);
  EXPECT_EQ(lines.size(), G().defaultCount + 1);
  EXPECT_EQ(lines[2], QStringLiteral("   7     m12"));
  EXPECT_EQ(Selected(), 2);
  EXPECT_EQ(WeightText(), QStringLiteral("7"));
  EXPECT_EQ(RuleText(), QStringLiteral("m12"));
}

TEST_P(RuleEditingTest, UpdateWithTheEmptyLinePickedAddsBeforeIt) {
  ClickLine(G().list, G().defaultCount);
  Fill(QStringLiteral("30"), SomeRule());
  Click(G().update);
  const QStringList lines = Lines(G().list);
  ASSERT_EQ(lines.size(), G().defaultCount + 2);
  EXPECT_EQ(lines[G().defaultCount], QStringLiteral("  30     ?25"));
  EXPECT_EQ(lines.back(), QString());
  EXPECT_EQ(Selected(), G().defaultCount);
}

TEST_P(RuleEditingTest, WeightColumnsHoldAtMostFourCharacters) {
  struct Case {
    QString typed;
    QString field;
    QString line;
  };
  const Case cases[] = {
      {QStringLiteral("5"), QStringLiteral("5"), QStringLiteral("   5     ?25")},
      {QStringLiteral("12345"), QStringLiteral("12345"), QStringLiteral("1234     ?25")},
      {QStringLiteral("123456"), QStringLiteral("12345"), QStringLiteral("1234     ?25")},
      {QStringLiteral("a1b2"), QStringLiteral("12"), QStringLiteral("  12     ?25")},
      {QString(), QString(), QStringLiteral("         ?25")},
  };
  for (const Case& c : cases) {
    ClickLine(G().list, 0);
    Fill(c.typed, SomeRule());
    EXPECT_EQ(WeightText(), c.field) << c.typed.toStdString();
    Click(G().update);
    EXPECT_EQ(Lines(G().list).front(), c.line) << c.typed.toStdString();
  }
}

TEST_P(RuleEditingTest, TrailingBlanksDoNotReachTheLine) {
  ClickLine(G().list, 0);
  Fill(QStringLiteral("40"), QStringLiteral(" 24   "));
  Click(G().update);
  EXPECT_EQ(Lines(G().list).front(), QStringLiteral("  40      24"));
}

TEST_P(RuleEditingTest, RuleTextIsPrintableAsciiOfAtMostTwentyCharacters) {
  Type(G().text, QStringLiteral("?1あ2é3"));
  EXPECT_EQ(RuleText(), QStringLiteral("?123"));
  Type(G().text, QStringLiteral("?123456712345671234567"));
  EXPECT_EQ(RuleText(), QStringLiteral("?1234567123456712345"));
}

TEST_P(RuleEditingTest, DeleteRemovesThePickedLineAndEmptiesTheFields) {
  const QStringList before = Lines(G().list);
  ClickLine(G().list, 3);
  Click(G().remove);
  QStringList expected = before;
  expected.removeAt(3);
  EXPECT_EQ(Lines(G().list), expected);
  EXPECT_EQ(Selected(), 3);
  EXPECT_TRUE(WeightText().isEmpty());
  EXPECT_TRUE(RuleText().isEmpty()) << "not refilled from the line now picked";
}

TEST_P(RuleEditingTest, DeleteOnTheEmptyLineChangesNothing) {
  const QStringList before = Lines(G().list);
  ClickLine(G().list, G().defaultCount);
  Fill(QStringLiteral("9"), SomeRule());
  Click(G().remove);
  EXPECT_EQ(Lines(G().list), before);
  EXPECT_EQ(Selected(), G().defaultCount);
  EXPECT_EQ(WeightText(), QStringLiteral("9"));
  EXPECT_EQ(RuleText(), SomeRule());
}

TEST_P(RuleEditingTest, DeletingTheLastRuleLeavesTheEmptyLinePicked) {
  ClickLine(G().list, G().defaultCount - 1);
  Click(G().remove);
  EXPECT_EQ(Selected(), G().defaultCount - 1);
  EXPECT_EQ(List(G().list)->count(), G().defaultCount);
  EXPECT_TRUE(WeightText().isEmpty());
  EXPECT_TRUE(RuleText().isEmpty());
}

TEST_P(RuleEditingTest, AListOfOnlyTheEmptyLineGrowsFromTheTop) {
  ClickLine(G().list, 0);
  for (int i = 0; i < G().defaultCount; ++i) {
    Click(G().remove);
  }
  ASSERT_EQ(Lines(G().list), QStringList{QString()});
  Click(G().remove);
  EXPECT_EQ(Lines(G().list), QStringList{QString()});
  Fill(QStringLiteral("80"), QStringLiteral("?51"));
  Click(G().update);
  EXPECT_EQ(Lines(G().list), (QStringList{QStringLiteral("  80     ?51"), QString()}));
  EXPECT_EQ(Selected(), 0);
}

// Texts too short for the fixed columns are refused with a message and leave
// the list as it was; a delete followed at once by update/add is one of them.
TEST_P(RuleEditingTest, TooShortRuleTextIsRefused) {
  QStringList refused{QString(), QStringLiteral("   "), QStringLiteral("?"), QStringLiteral("m"),
                      QStringLiteral(" ")};
  if (G().list == kIdSubstList) {
    refused << QStringLiteral("?1") << QStringLiteral(" 2");
  }
  const QStringList before = Lines(G().list);
  for (const QString& text : refused) {
    for (const int row : {1, G().defaultCount}) {
      notifier.notices.clear();
      ClickLine(G().list, row);
      Fill(QStringLiteral("10"), text);
      Click(G().update);
      EXPECT_EQ(Lines(G().list), before) << '"' << text.toStdString() << "\" at " << row;
      EXPECT_EQ(Selected(), row);
      ASSERT_EQ(notifier.notices.size(), 1U) << '"' << text.toStdString() << '"';
      EXPECT_EQ(notifier.notices.front().text, QStringLiteral("規則の文字列が短すぎます"));
      EXPECT_EQ(notifier.notices.front().icon, QMessageBox::Warning);
    }
  }

  notifier.notices.clear();
  ClickLine(G().list, 0);
  Click(G().remove);
  const QStringList afterDelete = Lines(G().list);
  Click(G().update);
  EXPECT_EQ(Lines(G().list), afterDelete);
  EXPECT_EQ(notifier.notices.size(), 1U);
}

TEST_P(RuleEditingTest, TheShortestReadableTextsAreAccepted) {
  const QString shortest = G().list == kIdConnList ? QStringLiteral("?2") : QStringLiteral("?12");
  ClickLine(G().list, 0);
  Fill(QStringLiteral("10"), shortest);
  Click(G().update);
  EXPECT_TRUE(notifier.notices.empty());
  EXPECT_EQ(Lines(G().list).front(), QStringLiteral("  10     ") + shortest);
}

TEST_P(RuleEditingTest, PickingWithTheKeyboardAndPickingAgainRefillTheFields) {
  ClickLine(G().list, 0);
  QTest::keyClick(List(G().list), Qt::Key_Down);
  EXPECT_EQ(Selected(), 1);
  EXPECT_EQ(WeightText(), Lines(G().list)[1].left(4));
  Fill(QStringLiteral("1"), QStringLiteral("?77"));
  ClickLine(G().list, 1);
  EXPECT_EQ(WeightText(), Lines(G().list)[1].left(4));
  EXPECT_EQ(RuleText(), Lines(G().list)[1].mid(9));
  QTest::keyClick(List(G().list), Qt::Key_End);
  EXPECT_TRUE(WeightText().isEmpty());
  EXPECT_TRUE(RuleText().isEmpty());
}

TEST_P(RuleEditingTest, OneLineStaysPicked) {
  ClickLine(G().list, 2);
  ClickLine(G().list, 2, Qt::ControlModifier);
  EXPECT_EQ(List(G().list)->selectedItems().size(), 1);
  EXPECT_EQ(Selected(), 2);
  const QListWidget* list = List(G().list);
  QTest::mouseClick(List(G().list)->viewport(), Qt::LeftButton, {},
                    QPoint(5, list->viewport()->height() - 2));
  EXPECT_EQ(List(G().list)->selectedItems().size(), 1);
}

TEST_P(RuleEditingTest, AddingStopsAtTheTableCapacity) {
  // Each added line is picked afterwards; End picks the empty line again,
  // which empties the fields.
  auto* update = Ctl<QPushButton>(G().update);
  QListWidget* list = List(G().list);
  for (int count = G().defaultCount; count < 1000; ++count) {
    QTest::keyClick(list, Qt::Key_End);
    Edit(G().weight)->setText(QStringLiteral("1"));
    Edit(G().text)->setText(SomeRule());
    update->click();
  }
  QTest::keyClick(list, Qt::Key_End);
  Fill(QStringLiteral("1"), SomeRule());
  ASSERT_EQ(List(G().list)->count(), 1001);
  EXPECT_TRUE(notifier.notices.empty());
  Click(G().update);
  EXPECT_EQ(List(G().list)->count(), 1001);
  ASSERT_EQ(notifier.notices.size(), 1U);
  ClickLine(G().list, 0);
  Fill(QStringLiteral("2"), SomeRule());
  Click(G().update);
  EXPECT_EQ(Lines(G().list).front(), QStringLiteral("   2     ?25")) << "replacing still works";
}

INSTANTIATE_TEST_SUITE_P(BothGroups, RuleEditingTest, ::testing::Values(kConnection, kSubstitution),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, TheTwoGroupsEditOnlyTheirOwnList) {
  Open();
  const QStringList subst = Lines(kIdSubstList);
  ClickLine(kIdConnList, 0);
  Click(kIdConnDelete);
  EXPECT_EQ(Lines(kIdSubstList), subst);
  EXPECT_EQ(List(kIdConnList)->count(), 16);
  ClickLine(kIdSubstList, 7);
  EXPECT_EQ(Edit(kIdSubstWeight)->text(), QStringLiteral("  80"));
  EXPECT_EQ(Edit(kIdSubstText)->text(), QStringLiteral(" 24"));
  EXPECT_TRUE(Edit(kIdConnWeight)->text().isEmpty());
}

}  // namespace
}  // namespace sonavela::ui::testing
