// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "base/error.h"
#include "base/notice.h"

namespace sonavela::ui {

// A failure in the dialog's language: its sentence, what caused it on the
// lines below, and the system's or a library's own words, as they are, last.
[[nodiscard]] QString ErrorText(const Error& error);
// A notice in the dialog's language, for its status line.
[[nodiscard]] QString NoticeText(const sonavela::Notice& notice);

}  // namespace sonavela::ui
