// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog tests need a QApplication; they run without a display unless
// QT_QPA_PLATFORM asks for one.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/qt_translation.h"

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  // As the program does; a test checks that it took.
  (void)sonavela::ui::InstallQtTranslation(app);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
