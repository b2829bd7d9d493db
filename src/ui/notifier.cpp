// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/notifier.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace sonavela::ui {

void MessageBoxNotifier::Show(QWidget* parent, const Notice& notice) {
  QMessageBox box(notice.icon, notice.caption, notice.text, QMessageBox::Ok, parent);
  if (!notice.detail.isEmpty()) {
    box.setInformativeText(notice.detail);
  }
  box.exec();
}

bool MessageBoxNotifier::Confirm(QWidget* parent, const Notice& question) {
  QMessageBox box(question.icon, question.caption, question.text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  if (!question.detail.isEmpty()) {
    box.setInformativeText(question.detail);
  }
  return box.exec() == QMessageBox::Yes;
}

std::optional<QString> MessageBoxNotifier::AskFileName(QWidget* parent, const FilePrompt& prompt) {
  // An object rather than the static helpers: only it adds the default suffix.
  QFileDialog dialog(parent, prompt.caption, directory_, prompt.filter);
  const bool saving = prompt.action == FileAction::kSave;
  dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(prompt.defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  const QString chosen = dialog.selectedFiles().constFirst();
  directory_ = QFileInfo(chosen).absolutePath();
  return chosen;
}

QString ProgramName() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace sonavela::ui
