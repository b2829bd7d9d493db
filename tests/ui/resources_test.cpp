// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QMap>
#include <QStringList>
#include <QTextStream>

#include "ui/app_icon.h"

namespace sonavela::ui {
namespace {

TEST(AppIcon, HasEveryImageSizeDrawnWithContent) {
  const QIcon icon = AppIcon();
  EXPECT_EQ(icon.availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(48, 48),
                                                 QSize(64, 64), QSize(128, 128), QSize(256, 256)}));
  for (const int size : kIconSizes) {
    const QImage image(QStringLiteral(":/sonavela/icons/sonavela-%1.png").arg(size));
    ASSERT_EQ(image.size(), QSize(size, size));
    // Opaque in the middle, transparent at the rounded corners.
    EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
  }
  QFile svg(QStringLiteral(":/sonavela/icons/sonavela.svg"));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
  EXPECT_TRUE(svg.readAll().startsWith("<svg "));
}

QMap<QString, QString> ReadDesktopEntry() {
  QFile file(QStringLiteral(SONAVELA_UI_RESOURCE_DIR "/sonavela.desktop"));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  QTextStream in(&file);
  QMap<QString, QString> entry;
  QString group;
  while (!in.atEnd()) {
    const QString line = in.readLine();
    if (line.startsWith('[')) {
      group = line;
    } else if (!line.isEmpty() && !line.startsWith('#')) {
      EXPECT_EQ(group, QStringLiteral("[Desktop Entry]"));
      const auto equals = line.indexOf('=');
      EXPECT_GT(equals, 0) << line.toStdString();
      EXPECT_FALSE(entry.contains(line.left(equals))) << "duplicate " << line.toStdString();
      entry.insert(line.left(equals), line.mid(equals + 1));
    }
  }
  return entry;
}

TEST(DesktopEntry, NamesTheProgramInEnglishAndJapanese) {
  const auto entry = ReadDesktopEntry();
  EXPECT_EQ(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
  EXPECT_EQ(entry.value(QStringLiteral("Exec")), QStringLiteral("sonavela"));
  EXPECT_EQ(entry.value(QStringLiteral("Icon")), QStringLiteral("sonavela"));
  for (const char* key : {"Name", "Name[ja]", "Comment", "Comment[ja]"}) {
    EXPECT_FALSE(entry.value(QString::fromLatin1(key)).isEmpty()) << key;
  }
  const QStringList categories =
      entry.value(QStringLiteral("Categories")).split(';', Qt::SkipEmptyParts);
  for (const char* category : {"Audio", "Midi", "AudioVideo"}) {
    EXPECT_TRUE(categories.contains(QString::fromLatin1(category))) << category;
  }
  EXPECT_TRUE(entry.value(QStringLiteral("Categories")).endsWith(';'));
}

}  // namespace
}  // namespace sonavela::ui
