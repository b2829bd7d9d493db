// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog tests need a QApplication; they run without a display unless
// QT_QPA_PLATFORM asks for one.
#include <gtest/gtest.h>

#include <QApplication>

#include <QTemporaryDir>
#include <memory>

#include "dialog_harness.h"
#include "ui/language.h"

namespace sonavela::ui::testing {
namespace {
std::unique_ptr<Translations> translations;
}  // namespace

Translations& TestTranslations() {
  return *translations;
}

}  // namespace sonavela::ui::testing

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  // The language the window menu chooses is remembered in the settings,
  // which the tests keep away from the user's.
  const QTemporaryDir settings;
  qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
  QApplication app(argc, argv);
  // As the program does; a test checks that it took.
  sonavela::ui::testing::translations = std::make_unique<sonavela::ui::Translations>();
  (void)sonavela::ui::testing::translations->Use(sonavela::ui::Language::kJapanese);
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  sonavela::ui::testing::translations.reset();
  return status;
}
