// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the dialog as a user first sees it after a few chords, to a PNG for
// the documentation and for review of the layout.
#include <QFontInfo>
#include <QImage>
#include <QPixmap>

#include <QCheckBox>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "dialog_harness.h"
#include "generator/candidate_keys.h"
#include "harmony/names.h"
#include "ui/about_dialog.h"
#include "ui/explanation_window.h"
#include "ui/key_map.h"
#include "ui/language.h"

namespace sonavela::ui::testing {
namespace {

class ScreenshotTest : public DialogTest {};

// The same test runs on the offscreen platform and under a real X server;
// each run writes its own files.
QString ShotPath(const char* path) {
  QString shot = QString::fromUtf8(path);
  const QString suffix = qEnvironmentVariable("SONAVELA_SCREENSHOT_SUFFIX");
  if (!suffix.isEmpty()) {
    shot.insert(shot.size() - 4, suffix);  // before ".png"
  }
  return shot;
}

TEST_F(ScreenshotTest, RendersTheDialog) {
  Open({{"Built-in synthesizer (FluidSynth)"}, {"Midi Through:Midi Through Port-0 14:0"}});
  Click(kIdStart);
  for (int tick = 0; tick < 14; ++tick) {
    dialog->Tick(0);
  }
  Click(kIdStop);
  ClickLine(kIdConnList, 7);
  const QPixmap shot = dialog->grab();
  EXPECT_EQ(shot.size() / shot.devicePixelRatio(), dialog->size());
  const QString path = ShotPath(SONAVELA_SCREENSHOT_PATH);
  ASSERT_TRUE(shot.save(path)) << path.toStdString();
  RecordProperty("size",
                 QStringLiteral("%1x%2").arg(dialog->width()).arg(dialog->height()).toStdString());
  RecordProperty("font", QFontInfo(dialog->font()).family().toStdString());
  std::printf("screenshot %s: %dx%d px, font %s %d px\n", qPrintable(path), dialog->width(),
              dialog->height(), qPrintable(QFontInfo(dialog->font()).family()),
              QFontInfo(dialog->font()).pixelSize());
}

// The same in English, for a look at how the longer words fit.
TEST_F(ScreenshotTest, RendersTheDialogInEnglish) {
  ASSERT_TRUE(TestTranslations().Use(Language::kEnglish));
  Open();
  Click(kIdStart);
  for (int tick = 0; tick < 14; ++tick) {
    dialog->Tick(0);
  }
  Click(kIdStop);
  QString path = ShotPath(SONAVELA_SCREENSHOT_PATH);
  path.insert(path.size() - 4, QStringLiteral("-en"));
  const bool saved = dialog->grab().save(path);
  (void)TestTranslations().Use(Language::kJapanese);
  ASSERT_TRUE(saved) << path.toStdString();
  std::printf("screenshot %s\n", qPrintable(path));
}

TEST_F(ScreenshotTest, RendersTheAboutBox) {
  Open();
  AboutDialog about(dialog->Icon(), dialog.get());
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  const QString path = ShotPath(SONAVELA_ABOUT_SCREENSHOT_PATH);
  ASSERT_TRUE(about.grab().save(path)) << path.toStdString();
  std::printf("about box %s: %dx%d px, font %s %d px\n", qPrintable(path), about.width(),
              about.height(), qPrintable(QFontInfo(about.font()).family()),
              QFontInfo(about.font()).pixelSize());
}

bool Near(QColor seen, QColor meant) {
  return std::abs(seen.red() - meant.red()) <= 12 && std::abs(seen.green() - meant.green()) <= 12 &&
         std::abs(seen.blue() - meant.blue()) <= 12;
}

// The window in the middle of an excursion of two keys or more, with the
// colours of the map where each disc is drawn: below its name, and on the
// rim for the ring of the home key.
TEST_F(ScreenshotTest, RendersTheKeyMapInCMajorAndAMinor) {
  for (const bool minor : {false, true}) {
    Open();
    Ctl<QCheckBox>(kIdMinorCheck)->setChecked(minor);
    Click(kIdStart);
    for (int tick = 0; tick < 200 && dialog->CurrentExcursion().Keys().size() < 3; ++tick) {
      dialog->Tick(0);
    }
    const std::vector<harmony::Key> keys = dialog->CurrentExcursion().Keys();
    ASSERT_GE(keys.size(), 3U);
    dialog->OnSysCommand(kExplainCommand);
    ExplanationWindow* window = dialog->Explanation();
    ASSERT_NE(window, nullptr);
    window->resize(460, 620);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QString path = ShotPath(SONAVELA_KEYMAP_SCREENSHOT_PATH);
    path.insert(path.size() - 4, minor ? QStringLiteral("-Am") : QStringLiteral("-C"));
    ASSERT_TRUE(window->grab().save(path)) << path.toStdString();
    std::printf("key map %s: %dx%d px, %s\n", qPrintable(path), window->width(), window->height(),
                qPrintable(window->Texts().join(QStringLiteral(" / "))));

    KeyMap& map = window->Map();
    const QImage image = map.grab().toImage();
    const double scale = image.devicePixelRatio();
    const auto colourAt = [&](harmony::Key key, double below) {
      const QPointF centre = *map.KeyCentre(key) + QPointF(0, below * map.DiscRadius());
      return image.pixelColor(QPoint(static_cast<int>(std::lround(centre.x() * scale)),
                                     static_cast<int>(std::lround(centre.y() * scale))));
    };
    const harmony::Key home = keys.front();
    const harmony::Key current = keys.back();
    EXPECT_EQ(window->Texts()[0], QString::fromStdString(harmony::KeyName(current)));
    EXPECT_TRUE(Near(colourAt(current, 0.75), KeyMap::kCurrentFill));
    EXPECT_TRUE(Near(colourAt(home, 1.0), KeyMap::kHomeRing));
    for (const harmony::Key key : generator::CandidateKeys()) {
      const bool onPath = std::find(keys.begin(), keys.end(), key) != keys.end();
      if (key != current && key != home) {
        EXPECT_TRUE(Near(colourAt(key, 0.75), onPath ? KeyMap::kPathFill : KeyMap::kPlainFill))
            << harmony::KeyName(key);
      }
    }
  }
}

}  // namespace
}  // namespace sonavela::ui::testing
