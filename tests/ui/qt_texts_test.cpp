// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's own texts, which the dialog shows beside its own, in its Japanese.
#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <memory>

namespace sonavela::ui {
namespace {

bool HasJapanese(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x3040 && u <= 0x30FF) || (u >= 0x4E00 && u <= 0x9FFF)) {
      return true;
    }
  }
  return false;
}

TEST(QtTexts, EditMenusButtonsAndFileDialogsSpeakJapanese) {
  QLineEdit edit;
  const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  int items = 0;
  for (const QAction* action : menu->actions()) {
    if (!action->isSeparator()) {
      ++items;
      EXPECT_TRUE(HasJapanese(action->text())) << action->text().toStdString();
    }
  }
  EXPECT_GE(items, 5);

  QMessageBox box(QMessageBox::Warning, QStringLiteral("Sonavela"), QStringLiteral("…"),
                  QMessageBox::Save | QMessageBox::Cancel);
  for (const auto button : {QMessageBox::Save, QMessageBox::Cancel}) {
    EXPECT_TRUE(HasJapanese(box.button(button)->text()))
        << box.button(button)->text().toStdString();
  }

  QFileDialog files;
  files.setOption(QFileDialog::DontUseNativeDialog);
  for (const auto label : {QFileDialog::LookIn, QFileDialog::FileName, QFileDialog::FileType}) {
    EXPECT_TRUE(HasJapanese(files.labelText(label))) << files.labelText(label).toStdString();
  }
}

}  // namespace
}  // namespace sonavela::ui
