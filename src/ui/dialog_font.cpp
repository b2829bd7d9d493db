// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_font.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

namespace sonavela::ui {

QStringList FontFamiliesFor(std::string_view face) {
  const QString requested = QString::fromUtf8(face.data(), static_cast<qsizetype>(face.size()));
  QStringList families{requested};
  if (requested == QStringLiteral("ＭＳ 明朝")) {
    families << QStringLiteral("MS Mincho") << QStringLiteral("IPAMincho")
             << QStringLiteral("IPA明朝");
  } else if (requested == QStringLiteral("ＭＳ Ｐゴシック")) {
    families << QStringLiteral("MS PGothic") << QStringLiteral("IPAPGothic")
             << QStringLiteral("IPA Pゴシック");
  }
  return families;
}

QFont DialogFont(std::string_view face, int points, double logicalDpi) {
  QFont font;
  font.setFamilies(FontFamiliesFor(face));
  font.setPixelSize(MulDiv(points, static_cast<int>(logicalDpi + 0.5), 72));
  font.setStyleStrategy(QFont::PreferMatch);
  return font;
}

QFont DialogFont(const DialogTemplate& dialog) {
  double dpi = 96.0;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    dpi = screen->logicalDotsPerInchY();
  }
  return DialogFont(dialog.fontFace, dialog.fontPoints, dpi);
}

BaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QString::fromLatin1(kLatinLetters.data(), static_cast<qsizetype>(kLatinLetters.size())));
  return {AverageCharWidth(letters), metrics.height()};
}

}  // namespace sonavela::ui
