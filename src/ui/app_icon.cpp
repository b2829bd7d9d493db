// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app_icon.h"

namespace sonavela::ui {

QIcon AppIcon() {
  QIcon icon;
  // Docks, task switchers and HiDPI screens pick the size they draw.
  for (const int size : kIconSizes) {
    icon.addFile(QStringLiteral(":/sonavela/icons/sonavela-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace sonavela::ui
