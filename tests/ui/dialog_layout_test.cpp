// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QRawFont>

#include "dialog_harness.h"
#include "ui/about_dialog.h"
#include "ui/dialog_builder.h"
#include "ui/dialog_font.h"

namespace sonavela::ui::testing {
namespace {

TEST(DialogUnits, RoundLikeTheDialogManager) {
  struct Case {
    int a, b, c, expected;
  };
  for (const Case& c : {Case{291, 7, 4, 509}, Case{1, 7, 4, 2}, Case{3, 6, 4, 5}, Case{5, 13, 8, 8},
                        Case{231, 13, 8, 375}, Case{0, 13, 8, 0}, Case{-5, 13, 8, -8}}) {
    EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
  }
  // 52 letters 338 px wide: 338 / 26 = 13, (13 + 1) / 2 = 7.
  EXPECT_EQ(AverageCharWidth(338), 7);
  EXPECT_EQ(AverageCharWidth(337), 6);
  EXPECT_EQ(ToPixels({5, 10, 190, 35}, {7, 13}), (PixelRect{9, 16, 333, 57}));
}

TEST(DialogTemplateTable, HoldsTheControlsInTabOrder) {
  const DialogTemplate& main = MainDialogTemplate();
  EXPECT_EQ(main.id, 102);
  EXPECT_EQ(main.width, 291);
  EXPECT_EQ(main.height, 231);
  ASSERT_EQ(main.controls.size(), 29U);
  std::vector<int> tabStops;
  for (const ControlTemplate& control : main.controls) {
    if ((control.styles & kTabStop) != 0) {
      tabStops.push_back(control.id);
    }
  }
  EXPECT_EQ(tabStops, (std::vector<int>{1006, 1007, 1008, 1009, 1011, 1004, 1026, 1027, 1028, 1012,
                                        1010, 1005, 1002, 1003, 1013, 1029}));
  ASSERT_NE(FindControl(main, kIdStart), nullptr);
  EXPECT_NE(FindControl(main, kIdStart)->styles & kDefaultButton, 0U);
  EXPECT_EQ(FindControl(main, kIdResultList)->rect, (DluRect{210, 70, 75, 110}));
  EXPECT_EQ(FindControl(main, 4711), nullptr);
  EXPECT_EQ(AboutDialogTemplate().controls.size(), 3U);
}

class LayoutTest : public DialogTest {};

TEST_F(LayoutTest, PlacesEveryControlInPixelsFromDialogUnits) {
  Open();
  const DialogTemplate& main = MainDialogTemplate();
  const BaseUnits units = BaseUnitsOf(dialog->font());
  // A 10-point face at a desktop resolution: plausible base units, or the
  // conversion is reading the wrong metric.
  EXPECT_GE(units.x, 5);
  EXPECT_LE(units.x, 9);
  EXPECT_GE(units.y, 12);
  EXPECT_LE(units.y, 17);
  // The template's size, and below it only the status line.
  const QSize client(MulDiv(291, units.x, 4), MulDiv(231, units.y, 8));
  const QRect status = dialog->StatusLine().geometry();
  EXPECT_EQ(status.top(), client.height());
  EXPECT_LE(status.height(), 2 * dialog->fontMetrics().height());
  EXPECT_EQ(dialog->size(), QSize(client.width(), client.height() + status.height()));
  EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << "the dialog has no sizing border";

  const auto& controls = dialog->Controls();
  ASSERT_EQ(controls.size(), main.controls.size());
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ControlTemplate& control = main.controls[i];
    const PixelRect rect = ToPixels(control.rect, units);
    EXPECT_EQ(controls[i]->geometry(), QRect(rect.x, rect.y, rect.width, rect.height))
        << "control " << i;
    EXPECT_EQ(controls[i]->objectName(), ControlName(main, i));
    EXPECT_TRUE(controls[i]->isVisible());
  }
}

TEST_F(LayoutTest, ShowsTheExactTexts) {
  Open();
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("コード進行自動生成"));
  const DialogTemplate& main = MainDialogTemplate();
  QStringList shown;
  QStringList expected;
  for (std::size_t i = 0; i < main.controls.size(); ++i) {
    const ControlTemplate& control = main.controls[i];
    const QWidget* widget = dialog->Controls()[i];
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
      shown << label->text();
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
      shown << button->text();
    } else {
      continue;
    }
    expected << QString::fromUtf8(control.text.data(), static_cast<qsizetype>(control.text.size()));
  }
  EXPECT_EQ(shown, expected);
  EXPECT_TRUE(expected.contains(
      QStringLiteral("補正指定法） ﾒｼﾞｬｰｺｰﾄﾞ化:｢M｣, ﾏｲﾅｰｺｰﾄﾞ化:｢m｣, ﾅﾎﾟﾘのⅡ化:｢n｣, 補正なし:｢｣")));
  EXPECT_TRUE(expected.contains(QStringLiteral("旋法指定法） 長調:｢ ｣, 短調:｢m｣, 両方:｢?｣")));
  EXPECT_EQ(Ctl<QCheckBox>(kIdMinorCheck)->text(), QStringLiteral("短調"));
  EXPECT_TRUE(Ctl<QPushButton>(kIdStart)->isDefault());
  EXPECT_FALSE(Ctl<QPushButton>(kIdStop)->isDefault());
}

TEST_F(LayoutTest, TabOrderFollowsTheTemplate) {
  Open();
  std::vector<QWidget*> expected;
  for (std::size_t i = 0; i < dialog->Controls().size(); ++i) {
    if ((MainDialogTemplate().controls[i].styles & kTabStop) != 0) {
      expected.push_back(dialog->Controls()[i]);
    }
  }
  std::vector<QWidget*> chain;
  QWidget* widget = expected.front();
  do {
    if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isVisible() &&
        widget->window() == dialog.get()) {
      chain.push_back(widget);
    }
    widget = widget->nextInFocusChain();
  } while (widget != expected.front() && chain.size() <= expected.size());
  EXPECT_EQ(chain, expected);
}

// Every text the dialogs show must be drawn by the font they chose, not by
// boxes or by whatever face happens to fill the gaps.
TEST(DialogFonts, TheChosenFacesHoldEveryGlyph) {
  struct Dialog {
    const DialogTemplate& dialogTemplate;
    QStringList acceptableFamilies;
  };
  const Dialog dialogs[] = {
      {MainDialogTemplate(),
       {QStringLiteral("ＭＳ 明朝"), QStringLiteral("MS Mincho"), QStringLiteral("IPAMincho"),
        QStringLiteral("IPA明朝")}},
      {AboutDialogTemplate(),
       {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
        QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック")}},
  };
  for (const Dialog& d : dialogs) {
    const QFont font = DialogFont(d.dialogTemplate);
    const QFontInfo info(font);
    EXPECT_TRUE(d.acceptableFamilies.contains(info.family())) << info.family().toStdString();
    const QRawFont raw = QRawFont::fromFont(font);
    ASSERT_TRUE(raw.isValid());
    QStringList texts{QString::fromUtf8(d.dialogTemplate.title.data(),
                                        static_cast<qsizetype>(d.dialogTemplate.title.size()))};
    for (const ControlTemplate& control : d.dialogTemplate.controls) {
      texts << QString::fromUtf8(control.text.data(), static_cast<qsizetype>(control.text.size()));
    }
    // The rule and result lines are shown in the dialog font as well.
    texts << QStringLiteral("  20     m11M") << QStringLiteral("F#m : C#")
          << QStringLiteral("<Error>");
    for (const QString& text : texts) {
      for (const quint32 glyph : raw.glyphIndexesForString(text)) {
        EXPECT_NE(glyph, 0U) << "missing glyph in " << text.toStdString() << " ("
                             << raw.familyName().toStdString() << ")";
      }
    }
  }
}

TEST(DialogFonts, FallBackToMetricCompatibleFaces) {
  EXPECT_EQ(FontFamiliesFor("ＭＳ 明朝").front(), QStringLiteral("ＭＳ 明朝"));
  EXPECT_TRUE(FontFamiliesFor("ＭＳ 明朝").contains(QStringLiteral("IPAMincho")));
  EXPECT_TRUE(FontFamiliesFor("ＭＳ Ｐゴシック").contains(QStringLiteral("IPAPGothic")));
  // 10 points at 96 and at 120 pixels per inch, as the dialog manager rounds.
  EXPECT_EQ(DialogFont("ＭＳ 明朝", 10, 96.0).pixelSize(), 13);
  EXPECT_EQ(DialogFont("ＭＳ 明朝", 10, 120.0).pixelSize(), 17);
  EXPECT_EQ(DialogFont("ＭＳ Ｐゴシック", 9, 96.0).pixelSize(), 12);
}

TEST(AboutBox, FollowsItsTemplate) {
  AboutDialog about(QIcon(QStringLiteral(":/sonavela/icons/sonavela-32.png")));
  EXPECT_EQ(about.windowTitle(), QStringLiteral("Sonavelaのﾊﾞｰｼﾞｮﾝ情報"));
  const BaseUnits units = BaseUnitsOf(about.font());
  EXPECT_EQ(about.size(), QSize(MulDiv(235, units.x, 4), MulDiv(55, units.y, 8)));
  ASSERT_EQ(about.Controls().size(), 3U);
  const auto* icon = qobject_cast<QLabel*>(about.Controls()[0]);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
  EXPECT_EQ(qobject_cast<QLabel*>(about.Controls()[1])->text(),
            QStringLiteral("Sonavela Version 1.0"));
  const auto* ok = qobject_cast<QPushButton*>(about.Controls()[2]);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), QStringLiteral("OK"));
  EXPECT_TRUE(ok->isDefault());
}

}  // namespace
}  // namespace sonavela::ui::testing
