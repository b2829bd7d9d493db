// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QCoreApplication;

namespace sonavela::ui {

// Qt's own texts (the file dialogs, the edit fields' context menu, the
// message boxes' buttons) in the dialog's Japanese, from Qt's translation
// qtbase_ja.qm. False when that file is not installed: those texts then stay
// in English.
[[nodiscard]] bool InstallQtTranslation(QCoreApplication& app);

// Where Qt's translations are looked for.
[[nodiscard]] QString QtTranslationFolder();

}  // namespace sonavela::ui
