#include "ui/notifier.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace sonavela::ui {

void MessageBoxNotifier::Show(QWidget* parent, const Notice& notice) {
  QMessageBox box(notice.icon, notice.caption, notice.text, QMessageBox::Ok, parent);
  if (!notice.detail.isEmpty()) {
    box.setInformativeText(notice.detail);
  }
  box.exec();
}

QString ProgramName() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace sonavela::ui
