// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

namespace sonavela::ui {

// Moves `window` (shown or about to be) beside `owner` within the owner's
// screen: to its right, else to its left, else below it, else where it
// covers the least of it; never off the screen.
void PlaceBeside(QWidget& window, const QWidget& owner);

}  // namespace sonavela::ui
