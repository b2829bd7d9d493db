// The dialog's tempo and sync settings, and the clock they make.
#include <QMessageBox>

#include "ui/about_dialog.h"
#include "ui/main_dialog.h"
#include "ui/notifier.h"
#include "ui/playback_adapters.h"
#include "ui/sync_dialog.h"

namespace sonavela::ui {

bool MainDialog::TakeNewClock() {
  playback::ClockChoice choice;
  if (makeClock_) {
    choice = makeClock_(syncSettings_);
  } else if (syncSettings_.source == playback::SyncSource::kInternal) {
    choice.clock = std::make_unique<playback::GridClock>(syncSettings_.GridMeter());
  } else {
    choice.error = "this program follows no master";
  }
  if (!choice.clock) {
    notifier_.Show(this, Notice{ProgramName(), QStringLiteral("同期の設定を使えません。"),
                                QString::fromStdString(choice.error), QMessageBox::Warning});
    return false;
  }
  session_->SetClock(std::move(choice.clock), syncSettings_.clockOut);
  stepTimer_->SetPeriod(session_->Clock().CurrentMeter().Chord());
  syncChanged_ = false;
  return true;
}

void MainDialog::SetSyncSettings(const playback::SyncSettings& settings) {
  if (settings != syncSettings_) {
    syncSettings_ = settings;
    syncChanged_ = true;
  }
}

void MainDialog::OnSyncSettings() {
  SyncDialog dialog(syncSettings_, listInputs_ ? listInputs_() : std::vector<std::string>{}, this);
  if (dialog.exec() == QDialog::Accepted) {
    SetSyncSettings(dialog.Settings());
  }
}

}  // namespace sonavela::ui
