// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "base/error.h"
#include "base/notice.h"
#include "generator/rule_file.h"

namespace sonavela::ui {

// A failure in the dialog's language: its sentence, what caused it on the
// lines below, and the system's or a library's own words, as they are, last.
[[nodiscard]] QString ErrorText(const Error& error);
// A notice in the dialog's language, for its status line.
[[nodiscard]] QString NoticeText(const sonavela::Notice& notice);
// A finding of a rule file after where it was found ("rules.txt:7: ..."),
// the file named as `file` says.
[[nodiscard]] QString RuleFileText(const generator::RuleFileFinding& finding, const QString& file);

}  // namespace sonavela::ui
