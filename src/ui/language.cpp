// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>

#include "ui/saved_settings.h"

namespace sonavela::ui {

namespace {

constexpr auto kLanguageKey = "language";

}  // namespace

bool Translations::Use(Language language) {
  current_ = language;
  if (language == Language::kJapanese) {
    QCoreApplication::removeTranslator(&own_);
    if (qt_.isEmpty() && !qt_.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"),
                                   QStringLiteral("_"), QtTranslationFolder())) {
      return false;
    }
    return QCoreApplication::installTranslator(&qt_);
  }
  QCoreApplication::removeTranslator(&qt_);
  if (own_.isEmpty() && !own_.load(QStringLiteral(":/i18n/sonavela_en.qm"))) {
    return false;
  }
  return QCoreApplication::installTranslator(&own_);
}

std::optional<Language> LanguageNamed(std::string_view name) {
  if (name == "ja") {
    return Language::kJapanese;
  }
  if (name == "en") {
    return Language::kEnglish;
  }
  return std::nullopt;
}

Language SavedLanguage() {
  return ProgramSettings().value(kLanguageKey).toString() == QStringLiteral("en")
             ? Language::kEnglish
             : Language::kJapanese;
}

void SaveLanguage(Language language) {
  ProgramSettings().setValue(
      kLanguageKey, language == Language::kEnglish ? QStringLiteral("en") : QStringLiteral("ja"));
}

QString QtTranslationFolder() {
  return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

}  // namespace sonavela::ui
