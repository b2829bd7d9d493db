// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <array>

namespace sonavela::ui {

// The sizes the icon is drawn in, as the resources and the icon theme hold it.
inline constexpr std::array<int, 6> kIconSizes{16, 32, 48, 64, 128, 256};

// The application icon in every size of kIconSizes, from the program's
// resources.
[[nodiscard]] QIcon AppIcon();

}  // namespace sonavela::ui
