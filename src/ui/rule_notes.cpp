// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/rule_notes.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QStringList>
#include <vector>

#include "harmony/names.h"
#include "ui/notifier.h"
#include "ui/placement.h"
#include "ui/rule_list.h"

namespace sonavela::ui {

namespace {

using generator::FindingKind;

QString Subject(const generator::RuleFinding& finding) {
  return QString::fromStdString(finding.subject);
}

// "調 C の B? (B D# F)".
QString Where(const generator::RuleFinding& finding) {
  if (!finding.at) {
    return Subject(finding);
  }
  return QCoreApplication::translate("Sonavela", "調 %1 の %2 (%3)")
      .arg(QString::fromStdString(harmony::KeyName(finding.at->key)),
           QString::fromStdString(harmony::ChordName(finding.at->chord)),
           QString::fromStdString(harmony::ChordToneNames(finding.at->chord)));
}

}  // namespace

QString FindingText(const generator::RuleFinding& finding) {
  switch (finding.kind) {
    case FindingKind::kTooShort:
      return QCoreApplication::translate("Sonavela",
                                         "短すぎて規則になりません。この行は読み飛ばされます。");
    case FindingKind::kBeyondCapacity:
      return QCoreApplication::translate("Sonavela",
                                         "規則表の最初の 1000 規則を超えています。無視されます。");
    case FindingKind::kBadMode:
      return QCoreApplication::translate(
                 "Sonavela",
                 "モード %1 はどの調にも当てはまりません (長調は空白、短調は m、両方は ?)。")
          .arg(Subject(finding));
    case FindingKind::kZeroWeight:
      return QCoreApplication::translate("Sonavela", "重みが 0 なので選ばれません。");
    case FindingKind::kBadCorrection:
      return QCoreApplication::translate(
                 "Sonavela", "%1 は変更の文字ではありません (M 長三和音、m 短三和音、n ナポリ)。")
          .arg(Subject(finding));
    case FindingKind::kBadDegree:
      return QCoreApplication::translate("Sonavela", "%1 は度数ではありません (1〜7)。")
          .arg(Subject(finding));
    case FindingKind::kShortChain:
      return QCoreApplication::translate("Sonavela", "連結には度数が二つ以上要ります。");
    case FindingKind::kTrap:
      return QCoreApplication::translate(
                 "Sonavela",
                 "%1 で終わります。そこから続く読替え規則がないので、停止まで同じ和音を"
                 "繰り返します。")
          .arg(Where(finding));
    case FindingKind::kStuckTonic:
      return QCoreApplication::translate(
                 "Sonavela",
                 "%1 の主和音から先へ進む規則がありません。停止まで同じ和音を繰り返します。")
          .arg(Subject(finding));
    case FindingKind::kOverflow:
      return QCoreApplication::translate(
                 "Sonavela", "%1 で、一度の選択の重みの合計が %2 になり、2147483647 を超えます。")
          .arg(Where(finding), Subject(finding));
    case FindingKind::kUnreached:
      return QCoreApplication::translate("Sonavela", "主調 %1 からは使われません。")
          .arg(Subject(finding));
  }
  return QString::fromStdString(finding.message);
}

RuleNotes::~RuleNotes() {
  Cancel();
}

void RuleNotes::Cancel() {
  ++generation_;  // whatever is on its way is dropped when it arrives
  checking_ = false;
  worker_ = {};  // asks it to stop and waits, which takes no time
}

void RuleNotes::Check(RuleList& connection, RuleList& substitution, harmony::Key home) {
  Cancel();
  Checked wanted{{connection.RuleLines(), substitution.RuleLines()}, home};
  if (shown_ && *shown_ == wanted) {
    return;
  }
  connection_ = &connection;
  substitution_ = &substitution;
  pending_ = std::move(wanted);
  checking_ = true;
  const std::uint64_t generation = generation_;
  // The owner outlives the thread: Cancel, at the latest on destruction, waits for it.
  QWidget* owner = &owner_;
  worker_ = std::jthread([this, owner, generation, checked = pending_](std::stop_token stop) {
    generator::RuleCheck check = generator::CheckRules(checked.tables, checked.home,
                                                       [&stop] { return stop.stop_requested(); });
    if (check.stopped) {
      return;
    }
    // Handed to the dialog's thread; dropped there if a newer check began.
    QMetaObject::invokeMethod(
        owner, [this, generation, check = std::move(check)] { Arrive(generation, check); },
        Qt::QueuedConnection);
  });
}

void RuleNotes::Arrive(std::uint64_t generation, const generator::RuleCheck& check) {
  if (generation != generation_ || connection_ == nullptr || substitution_ == nullptr) {
    return;
  }
  checking_ = false;
  // Edited while it was checked: the findings would land on the wrong lines.
  if (connection_->RuleLines() != pending_.tables.connection ||
      substitution_->RuleLines() != pending_.tables.substitution) {
    return;
  }
  shown_ = pending_;
  Show(check, *connection_, *substitution_);
}

void RuleNotes::Show(const generator::RuleCheck& check, RuleList& connection,
                     RuleList& substitution) {
  std::vector<QString> connectionNotes(static_cast<std::size_t>(connection.Count()));
  std::vector<QString> substitutionNotes(static_cast<std::size_t>(substitution.Count()));
  QStringList lines;
  for (const generator::RuleFinding& finding : check.findings) {
    const bool onConnection = finding.table == generator::RuleTable::kConnection;
    const QString level = finding.level == generator::FindingLevel::kWarning
                              ? QCoreApplication::translate("Sonavela", "警告")
                              : QCoreApplication::translate("Sonavela", "注");
    const QString text = level + QStringLiteral(": ") + FindingText(finding);
    const bool warning = finding.level == generator::FindingLevel::kWarning;
    if (finding.line) {
      auto& notes = onConnection ? connectionNotes : substitutionNotes;
      if (*finding.line < notes.size()) {
        QString& note = notes[*finding.line];
        note += (note.isEmpty() ? QString() : QStringLiteral("\n")) + text;
      }
    }
    // Only what can never work is worth a note at every start; a rule that
    // this home key does not reach is told on its line.
    if (!warning) {
      continue;
    }
    if (finding.line) {
      lines << (onConnection ? QCoreApplication::translate("Sonavela", "コード連結規則表")
                             : QCoreApplication::translate("Sonavela", "コード読替え規則表")) +
                   QCoreApplication::translate("Sonavela", " %1 行目 %2")
                       .arg(*finding.line + 1)
                       .arg(text);
    } else {
      lines << text;
    }
  }
  connection.SetLineNotes(connectionNotes);
  substitution.SetLineNotes(substitutionNotes);
  if (lines.isEmpty()) {
    if (note_) {
      note_->close();
    }
    return;
  }
  if (!note_) {
    note_ = new QMessageBox(QMessageBox::Information, ProgramName(), QString(), QMessageBox::Ok,
                            &owner_);
    note_->setAttribute(Qt::WA_DeleteOnClose);
    note_->setWindowModality(Qt::NonModal);
  }
  note_->setText(QCoreApplication::translate(
                     "Sonavela", "規則表に %1 件の警告があります。演奏はそのまま続きます。")
                     .arg(lines.size()));
  // A few lines in view, every one on request.
  constexpr qsizetype kInView = 5;
  QStringList inView = lines.mid(0, kInView);
  if (lines.size() > kInView) {
    inView << QCoreApplication::translate("Sonavela", "ほか %1 件は詳細にあります。")
                  .arg(lines.size() - kInView);
    note_->setDetailedText(lines.join(QStringLiteral("\n")));
  } else {
    note_->setDetailedText(QString());
  }
  note_->setInformativeText(inView.join(QStringLiteral("\n")));
  note_->adjustSize();
  PlaceBeside(*note_, owner_);
  note_->show();
}

}  // namespace sonavela::ui
