// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <optional>
#include <thread>

#include "generator/rule_check.h"
#include "generator/rule_file.h"
#include "harmony/note.h"

class QWidget;

namespace sonavela::ui {

class RuleList;

// The findings of the rule checker in the dialog: the warnings in a note
// beside it that the progression does not wait for, and every finding as a
// tooltip on the rule line concerned. The check runs off the dialog's thread;
// its findings are shown when they are ready, once for each change of the
// tables or the home key.
class RuleNotes {
 public:
  explicit RuleNotes(QWidget& owner) : owner_(owner) {}
  ~RuleNotes();  // cancels a check still running
  RuleNotes(const RuleNotes&) = delete;
  RuleNotes& operator=(const RuleNotes&) = delete;

  // Checks the lists' tables from `home`, cancelling a check still running.
  // Tables whose findings were shown already are not shown again.
  void Check(RuleList& connection, RuleList& substitution, harmony::Key home);
  // Drops a check still running; nothing of it is shown.
  void Cancel();
  [[nodiscard]] bool Checking() const { return checking_; }

  // Shows what `check` found, or takes the note away when it found nothing.
  void Show(const generator::RuleCheck& check, RuleList& connection, RuleList& substitution);
  // The note while it is shown, for inspection.
  [[nodiscard]] QMessageBox* Note() const { return note_.data(); }

 private:
  struct Checked {
    generator::RuleTables tables;
    harmony::Key home;
    friend bool operator==(const Checked&, const Checked&) = default;
  };
  void Arrive(std::uint64_t generation, const generator::RuleCheck& check);

  QWidget& owner_;
  QPointer<QMessageBox> note_;
  RuleList* connection_ = nullptr;
  RuleList* substitution_ = nullptr;
  std::optional<Checked> shown_;
  Checked pending_{};
  bool checking_ = false;
  std::uint64_t generation_ = 0;
  std::jthread worker_;
};

// A finding in the dialog's words.
[[nodiscard]] QString FindingText(const generator::RuleFinding& finding);

}  // namespace sonavela::ui
