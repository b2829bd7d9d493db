// SPDX-License-Identifier: GPL-3.0-or-later
// What the session tells the dialog: each failure once in a message box, the
// state of the progression on a line of its own below the dialog's controls.
#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <variant>

#include "ui/error_text.h"
#include "ui/main_dialog.h"
#include "ui/notifier.h"
#include "ui/playback_adapters.h"

namespace sonavela::ui {

namespace {

QString StateText(playback::SessionState state) {
  switch (state) {
    case playback::SessionState::kStopped:
      return QCoreApplication::translate("Sonavela", "停止しています。");
    case playback::SessionState::kWaitingForMaster:
      return QCoreApplication::translate("Sonavela", "マスターが始めるのを待っています。");
    case playback::SessionState::kPlaying:
      return QCoreApplication::translate("Sonavela", "演奏しています。");
    case playback::SessionState::kSilent:
      return QCoreApplication::translate("Sonavela",
                                         "演奏は続いていますが、出力先が使えず音が出ません。");
    case playback::SessionState::kMasterGone:
      return QCoreApplication::translate("Sonavela",
                                         "マスターがいなくなりました。戻るのを待っています。");
  }
  return {};
}

}  // namespace

void MainDialog::AddStatusLine() {
  // One line more than the dialog is made of, and nothing else moves.
  statusLine_ = new QLabel(this);
  statusLine_->setObjectName(QStringLiteral("statusLine"));
  const int lineHeight = statusLine_->fontMetrics().height() + 4;
  const int top = height();
  statusLine_->setGeometry(4, top, width() - 8, lineHeight);
  setFixedSize(width(), top + lineHeight);
  ShowState();
}

void MainDialog::ShowState() {
  QString text = StateText(session_->State());
  if (!lastNotice_.isEmpty()) {
    text += QStringLiteral("  ") + lastNotice_;
  }
  statusLine_->setText(text);
}

void MainDialog::OnSessionEvent(const playback::SessionEvent& event) {
  if (const auto* chord = std::get_if<playback::PlayedChord>(&event)) {
    results_->Show(*chord);
  } else if (const auto* notice = std::get_if<playback::Notice>(&event)) {
    lastNotice_ = NoticeText(*notice);
    ShowState();
  } else if (std::holds_alternative<playback::StateChanged>(event)) {
    lastNotice_.clear();
    ShowState();
  } else if (const auto* failure = std::get_if<playback::Failure>(&event)) {
    pendingFailures_.push_back(*failure);
    // Shown after the handler that played has returned: a message box runs
    // a loop of its own, and the progression goes on meanwhile.
    QMetaObject::invokeMethod(this, &MainDialog::ShowFailures, Qt::QueuedConnection);
  }
}

void MainDialog::ShowFailures() {
  std::vector<playback::Failure> failures;
  failures.swap(pendingFailures_);
  for (const playback::Failure& failure : failures) {
    const QString detail = ErrorText(failure.error);
    if (failure.what == playback::Failure::What::kDevice) {
      notifier_.Show(
          this,
          Notice{
              ProgramName(),
              QCoreApplication::translate("Sonavela", "ＭＩＤＩデータ出力先が使えなくなりました。"),
              detail + QCoreApplication::translate("Sonavela",
                                                   "\n演奏は音を出さずに続きます。ほかの出力先を"
                                                   "選ぶと、そこで鳴り続けます。"),
              QMessageBox::Warning});
    } else {
      notifier_.Show(
          this, Notice{ProgramName(),
                       QCoreApplication::translate("Sonavela", "録音を書き込めなくなりました。"),
                       detail + QCoreApplication::translate(
                                    "Sonavela", "\n演奏は続きますが、ここからは保存できません。"),
                       QMessageBox::Warning});
    }
  }
}

}  // namespace sonavela::ui
