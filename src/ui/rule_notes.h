// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include "generator/rule_check.h"

class QWidget;

namespace sonavela::ui {

class RuleList;

// The findings of the rule checker in the dialog: the warnings in a note
// beside it that the progression does not wait for, and every finding as a
// tooltip on the rule line concerned.
class RuleNotes {
 public:
  explicit RuleNotes(QWidget& owner) : owner_(owner) {}

  // Shows what `check` found, or takes the note away when it found nothing.
  void Show(const generator::RuleCheck& check, RuleList& connection, RuleList& substitution);
  // The note while it is shown, for inspection.
  [[nodiscard]] QMessageBox* Note() const { return note_.data(); }

 private:
  QWidget& owner_;
  QPointer<QMessageBox> note_;
};

// A finding in the dialog's words.
[[nodiscard]] QString FindingText(const generator::RuleFinding& finding);

}  // namespace sonavela::ui
