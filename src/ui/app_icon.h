// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace sonavela::ui {

// The application icon: 16 and 32 pixel images and the scalable source, from
// the program's resources.
[[nodiscard]] QIcon AppIcon();

}  // namespace sonavela::ui
