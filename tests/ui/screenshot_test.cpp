// Renders the dialog as a user first sees it after a few chords, to a PNG for
// the documentation and for review of the layout.
#include <QFontInfo>
#include <QImage>
#include <QPixmap>

#include "dialog_harness.h"
#include "ui/about_dialog.h"

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

}  // namespace
}  // namespace sonavela::ui::testing
