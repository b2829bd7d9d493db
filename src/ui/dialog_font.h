// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QStringList>
#include <string_view>

#include "ui/dialog_template.h"

namespace sonavela::ui {

// The installed families to use when the face a dialog asks for is missing:
// metric-compatible IPA faces for the two Japanese system faces, so that the
// dialog keeps its proportions on systems without them.
[[nodiscard]] QStringList FontFamiliesFor(std::string_view face);

// The font of a dialog template, sized as the dialog manager sizes it: the
// point size becomes a whole pixel height at the screen's logical resolution.
[[nodiscard]] QFont DialogFont(std::string_view face, int points, double logicalDpi);
[[nodiscard]] QFont DialogFont(const DialogTemplate& dialog);

// Base units of a font, from its metrics.
[[nodiscard]] BaseUnits BaseUnitsOf(const QFont& font);

}  // namespace sonavela::ui
