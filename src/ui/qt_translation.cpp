// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace sonavela::ui {

QString QtTranslationFolder() {
  return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool InstallQtTranslation(QCoreApplication& app) {
  // The application owns it, so it lives as long as the texts it translates.
  auto* translator = new QTranslator(&app);
  if (!translator->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QtTranslationFolder())) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace sonavela::ui
