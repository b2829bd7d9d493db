// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/about_dialog.h"

#include <QPushButton>

#include "ui/dialog_builder.h"
#include "ui/dialog_template.h"

namespace sonavela::ui {

AboutDialog::AboutDialog(const QIcon& icon, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  controls_ = BuildDialog(*this, AboutDialogTemplate(), icon);
  setWindowIcon(icon);
  auto* ok = findChild<QPushButton*>(QStringLiteral("control%1").arg(kIdOk));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  ok->setFocus();
}

}  // namespace sonavela::ui
