// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/rule_list.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>

#include "generator/rules.h"
#include "ui/notifier.h"

namespace sonavela::ui {

bool IsReadableRuleLine(RuleKind kind, std::string_view line) {
  const std::string_view trimmed = generator::RemoveTrailingWhiteSpace(line);
  return kind == RuleKind::kConnection ? generator::ParseConnectionRule(trimmed).has_value()
                                       : generator::ParseSubstitutionRule(trimmed).has_value();
}

void LimitToDigits(QLineEdit& edit) {
  edit.setMaxLength(kDigitsMaxLength);
  edit.setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral(" *[0-9]*")), &edit));
}

void LimitToRuleText(QLineEdit& edit) {
  edit.setMaxLength(kRuleTextMaxLength);
  edit.setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[\\x20-\\x7E]{0,%1}").arg(kRuleTextMaxLength)), &edit));
}

RuleList::RuleList(RuleKind kind, QListWidget& list, QLineEdit& weightEdit, QLineEdit& textEdit,
                   Notifier& notifier, QWidget& owner)
    : QObject(nullptr),
      kind_(kind),
      list_(list),
      weightEdit_(weightEdit),
      textEdit_(textEdit),
      notifier_(notifier),
      owner_(owner) {
  LimitToRuleText(textEdit_);
}

void RuleList::Fill(std::span<const std::string_view> lines) {
  for (const std::string_view line : lines) {
    list_.addItem(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
  }
  list_.addItem(QString());
}

void RuleList::Replace(std::span<const std::string> lines) {
  {
    const QSignalBlocker blocker(list_);
    list_.clear();
    for (const std::string& line : lines) {
      list_.addItem(QString::fromStdString(line));
    }
    list_.addItem(QString());
  }
  SelectLast();
  weightEdit_.clear();
  textEdit_.clear();
}

void RuleList::SelectByProgram(int index) {
  const QSignalBlocker blocker(list_);
  list_.setCurrentRow(index);
}

int RuleList::Count() const {
  return list_.count();
}

int RuleList::SelectedIndex() const {
  return list_.currentRow();
}

QString RuleList::LineAt(int index) const {
  const QListWidgetItem* item = list_.item(index);
  return item == nullptr ? QString() : item->text();
}

std::vector<std::string> RuleList::Lines() const {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(Count()));
  for (int i = 0; i < Count(); ++i) {
    lines.push_back(LineAt(i).toStdString());
  }
  return lines;
}

void RuleList::SetLineNotes(const std::vector<QString>& notes) {
  for (int i = 0; i < list_.count(); ++i) {
    const auto index = static_cast<std::size_t>(i);
    list_.item(i)->setToolTip(index < notes.size() ? notes[index] : QString());
  }
}

QString RuleList::LineNote(int index) const {
  const QListWidgetItem* item = list_.item(index);
  return item != nullptr ? item->toolTip() : QString();
}

std::vector<std::string> RuleList::RuleLines() const {
  // The last line is the list's empty line for adding rules, never a rule.
  std::vector<std::string> lines = Lines();
  if (!lines.empty()) {
    lines.pop_back();
  }
  return lines;
}

void RuleList::SelectRuleLine() {
  const int index = SelectedIndex();
  if (index < 0) {
    return;
  }
  const QString line = LineAt(index);
  if (line.isEmpty()) {
    weightEdit_.clear();
    textEdit_.clear();
    return;
  }
  weightEdit_.setText(line.left(4));
  textEdit_.setText(line.size() > 9 ? line.mid(9) : QString());
}

void RuleList::UpdateRuleLine() {
  const std::string line =
      generator::FormatRuleLine(weightEdit_.text().toStdString(), textEdit_.text().toStdString());
  const int index = SelectedIndex();
  const int count = Count();
  if (index < 0) {
    return;
  }
  if (!IsReadableRuleLine(kind_, line)) {
    Refuse(QCoreApplication::translate("Sonavela", "規則の文字列が短すぎます"),
           kind_ == RuleKind::kConnection
               ? QCoreApplication::translate("Sonavela",
                                             "旋法の後に度数を1つ以上書いてください。\n例: ?251")
               : QCoreApplication::translate(
                     "Sonavela",
                     "旋法の後に元の度数と読替え後の度数の2桁を書いてください。\n例: ?15"));
    return;
  }
  const bool adding = index >= count - 1;
  if (adding && count - 1 >= static_cast<int>(generator::RuleCapacity)) {
    Refuse(QCoreApplication::translate("Sonavela", "これ以上規則を追加できません"),
           QCoreApplication::translate("Sonavela", "1つの表に登録できる規則は%1個までです。")
               .arg(generator::RuleCapacity));
    return;
  }
  {
    const QSignalBlocker blocker(list_);
    if (!adding) {
      delete list_.takeItem(index);
    }
    list_.insertItem(index, QString::fromStdString(line));
  }
  SelectByProgram(index);
}

void RuleList::DeleteRuleLine() {
  const int index = SelectedIndex();
  if (index < 0 || index >= Count() - 1) {
    return;
  }
  {
    const QSignalBlocker blocker(list_);
    delete list_.takeItem(index);
  }
  weightEdit_.clear();
  textEdit_.clear();
  SelectByProgram(index);
}

void RuleList::KeepOneSelected() {
  if (list_.selectedItems().isEmpty() && Count() > 0) {
    const int current = SelectedIndex();
    SelectByProgram(current >= 0 ? current : Count() - 1);
  }
}

void RuleList::Refuse(const QString& text, const QString& detail) {
  notifier_.Show(&owner_, Notice{ProgramName(), text, detail, QMessageBox::Warning});
}

}  // namespace sonavela::ui
