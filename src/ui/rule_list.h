// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QLineEdit;
class QListWidget;
class QWidget;

namespace sonavela::ui {

class Notifier;

enum class RuleKind { kConnection, kSubstitution };

// Longest rule text a field takes: the mode and at most 19 further
// characters, which keeps a connection chain within its 19 degree slots.
inline constexpr int kRuleTextMaxLength = 20;
// Fields of digits (weights, the instrument) take at most five digits; blanks
// may stand in front of them, as they do when a picked line's weight columns
// are copied into a field.
inline constexpr int kDigitsMaxLength = 5;

// One rule-editing group: the list of rule lines, which always ends with its
// empty last line and always has exactly one line selected, and the weight
// and rule-text fields with which lines are picked, replaced, added and
// deleted.
class RuleList final : public QObject {
  Q_OBJECT

 public:
  RuleList(RuleKind kind, QListWidget& list, QLineEdit& weightEdit, QLineEdit& textEdit,
           Notifier& notifier, QWidget& owner);

  // Appends the lines, then the empty last line. For a list that is empty.
  void Fill(std::span<const std::string_view> lines);
  // Puts the lines of a rule file in place of all lines: the empty last line
  // follows them and is selected, and the fields are emptied, as when the
  // dialog opens.
  void Replace(std::span<const std::string> lines);
  // Selects a line without running SelectRuleLine, as a selection made by the
  // program does not notify.
  void SelectByProgram(int index);
  void SelectLast() { SelectByProgram(Count() - 1); }

  [[nodiscard]] int Count() const;
  [[nodiscard]] int SelectedIndex() const;
  [[nodiscard]] std::vector<std::string> Lines() const;
  // The lines without the empty last line: the rules the generator reads and
  // a rule file holds.
  [[nodiscard]] std::vector<std::string> RuleLines() const;
  [[nodiscard]] RuleKind Kind() const { return kind_; }

  // The user picked a line: copy its weight and rule text into the fields.
  void SelectRuleLine();
  // Replace the picked line with the fields' line, or add it before the
  // empty last line when that is picked.
  void UpdateRuleLine();
  // Remove the picked rule line; the empty last line stays.
  void DeleteRuleLine();
  // A toolkit lets the user clear the selection (Ctrl+click); put it back.
  void KeepOneSelected();
  // What is to be said of each rule line, as its tooltip; lines beyond
  // `notes` and empty notes have none.
  void SetLineNotes(const std::vector<QString>& notes);
  [[nodiscard]] QString LineNote(int index) const;

 private:
  [[nodiscard]] QString LineAt(int index) const;
  void Refuse(const QString& text, const QString& detail);

  RuleKind kind_;
  QListWidget& list_;
  QLineEdit& weightEdit_;
  QLineEdit& textEdit_;
  Notifier& notifier_;
  QWidget& owner_;
};

// Whether a formatted rule line is long enough for the parser of its kind.
[[nodiscard]] bool IsReadableRuleLine(RuleKind kind, std::string_view line);

// Input limits of the dialog's fields.
void LimitToDigits(QLineEdit& edit);
void LimitToRuleText(QLineEdit& edit);

}  // namespace sonavela::ui
