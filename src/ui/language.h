// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTranslator>
#include <optional>
#include <string_view>

namespace sonavela::ui {

enum class Language { kJapanese, kEnglish };

// The dialogs' language. Their own texts are written in Japanese and come in
// English from the translation in the program's resources; Qt's own texts
// (file dialogs, the edit fields' context menu, message-box buttons) come in
// Japanese from Qt's translation qtbase_ja.qm. Japanese until Use says
// otherwise.
class Translations {
 public:
  Translations() = default;
  Translations(const Translations&) = delete;
  Translations& operator=(const Translations&) = delete;

  // Installs the translations of `language` and takes away the others. False
  // when a file it needs is missing; the language is switched all the same,
  // with those texts left as they are written.
  [[nodiscard]] bool Use(Language language);
  [[nodiscard]] Language Current() const { return current_; }

 private:
  QTranslator qt_;
  QTranslator own_;
  Language current_ = Language::kJapanese;
};

// "ja" and "en", as --lang takes them.
[[nodiscard]] std::optional<Language> LanguageNamed(std::string_view name);

// The language the user chose last in the window menu; Japanese at first.
[[nodiscard]] Language SavedLanguage();
void SaveLanguage(Language language);

// Where Qt's translations are looked for.
[[nodiscard]] QString QtTranslationFolder();

}  // namespace sonavela::ui
