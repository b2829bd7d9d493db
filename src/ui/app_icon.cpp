// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app_icon.h"

namespace sonavela::ui {

QIcon AppIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/sonavela/icons/sonavela-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/sonavela/icons/sonavela-32.png"), QSize(32, 32));
  return icon;
}

}  // namespace sonavela::ui
