// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>
#include <string_view>
#include <vector>

#include "ui/dialog_template.h"

class QDialog;
class QWidget;

namespace sonavela::ui {

// A template's text in the language of the installed translation (the
// templates are written in Japanese).
[[nodiscard]] QString Translated(std::string_view text);

// Sets the texts of a built dialog again, after the language changed.
void RetranslateDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                       const std::vector<QWidget*>& controls);

// Creates the controls of a dialog template as children of `dialog`, in
// template order (which is also their tab order), places them in pixels
// converted from dialog units with the dialog font's base units, and gives
// the dialog its title, font and fixed client size. Each control is named
// "control<id>", or "static<n>" (n = its index in the template) when it has
// no id. Returns the controls in template order.
std::vector<QWidget*> BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                                  const QIcon& icon);

[[nodiscard]] QString ControlName(const DialogTemplate& dialogTemplate, std::size_t index);

}  // namespace sonavela::ui
