// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog's side windows: tempo and sync, and the clock they make; how
// the chords sound and the home key; the explanation of what plays.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QSignalBlocker>

#include "ui/about_dialog.h"
#include "ui/dialog_builder.h"
#include "ui/error_text.h"
#include "ui/explanation_window.h"
#include "ui/main_dialog.h"
#include "ui/notifier.h"
#include "ui/placement.h"
#include "ui/playback_adapters.h"
#include "ui/saved_settings.h"
#include "ui/sound_dialog.h"
#include "ui/sync_dialog.h"

namespace sonavela::ui {

bool MainDialog::TakeNewClock() {
  timing::ClockChoice choice = Error::Of(ErrorKind::kNoMaster);
  if (makeClock_) {
    choice = makeClock_(syncSettings_);
  } else if (syncSettings_.source == timing::SyncSource::kInternal) {
    choice = std::unique_ptr<timing::ChordClock>(
        std::make_unique<timing::GridClock>(syncSettings_.GridMeter()));
  }
  if (!choice) {
    notifier_.Show(this, Notice{ProgramName(),
                                QCoreApplication::translate("Sonavela", "同期の設定を使えません。"),
                                ErrorText(choice.error()), QMessageBox::Warning});
    return false;
  }
  session_->SetClock(std::move(choice).value(), syncSettings_.clockOut);
  stepTimer_->SetPeriod(session_->Clock().CurrentMeter().Chord());
  syncChanged_ = false;
  return true;
}

void MainDialog::SetSyncSettings(const timing::SyncSettings& settings) {
  if (settings != syncSettings_) {
    syncSettings_ = settings;
    syncChanged_ = true;
    if (rememberSettings_) {
      SaveSyncSettings(settings);
    }
  }
}

void MainDialog::OnSyncSettings() {
  SyncDialog dialog(syncSettings_, listInputs_ ? listInputs_() : std::vector<std::string>{}, this);
  if (dialog.exec() == QDialog::Accepted) {
    SetSyncSettings(dialog.Settings());
  }
}

void MainDialog::SetSoundSettings(const ui::SoundSettings& settings) {
  soundSettings_ = settings;
  if (rememberSettings_) {
    SaveSoundSettings(settings);
  }
  {
    const QSignalBlocker quiet(minorCheck);
    minorCheck->setChecked(settings.homeKey == harmony::Key{{'A', 0}, harmony::kMinor});
  }
  if (synth_ && *synth_ != settings.synth) {
    *synth_ = settings.synth;
    // The synthesizer takes its SoundFont and sound when it opens: at once,
    // if it is the device playing.
    if (deviceList->currentRow() == 0) {
      OnDeviceSelected();
    }
  }
}

void MainDialog::OnSoundSettings() {
  ui::SoundSettings shown = soundSettings_;
  // The box has the last word on C major and A minor.
  shown.homeKey = inputs_->HomeKey();
  SoundDialog dialog(shown, synth_ != nullptr, this);
  if (dialog.exec() == QDialog::Accepted) {
    SetSoundSettings(dialog.Settings());
  }
}

void MainDialog::OnStepPlayed() {
  excursion_.Follow(session_->ExplainLastStep());
  if (explanation_ != nullptr && explanation_->isVisible()) {
    explanation_->Show(excursion_);
  }
}

void MainDialog::OnExplain() {
  // The menu item opens the window and closes it again.
  if (explanation_ != nullptr && explanation_->isVisible()) {
    explanation_->close();
    return;
  }
  const bool first = explanation_ == nullptr;
  if (first) {
    explanation_ = new ExplanationWindow(this);
  }
  if (!excursion_.Latest()) {
    excursion_ = generator::Excursion(inputs_->HomeKey());
  }
  explanation_->Show(excursion_);
  if (first) {
    explanation_->adjustSize();
    PlaceBeside(*explanation_, *this);
  }
  explanation_->show();
  explanation_->raise();
}

QString MainDialog::MenuText(unsigned command) const {
  switch (command) {
    case kMinimizeCommand:
      return QCoreApplication::translate("Sonavela", "最小化(&N)");
    case kCloseCommand:
      return QCoreApplication::translate("Sonavela", "閉じる(&C)\tAlt+F4");
    case kSaveMidiFileCommand:
      return QCoreApplication::translate("Sonavela", "MIDIファイルに保存(&M)...");
    case kOpenRuleFileCommand:
      return QCoreApplication::translate("Sonavela", "規則表を開く(&O)...");
    case kSaveRuleFileCommand:
      return QCoreApplication::translate("Sonavela", "規則表を保存(&S)...");
    case kSoundCommand:
      return QCoreApplication::translate("Sonavela", "音色と声部(&V)...");
    case kSyncCommand:
      return QCoreApplication::translate("Sonavela", "テンポと同期(&T)...");
    case kExplainCommand:
      return QCoreApplication::translate("Sonavela", "解説を表示(&E)");
    case kAboutCommand:
      return QCoreApplication::translate("Sonavela", "Sonavela のﾊﾞｰｼﾞｮﾝ情報(&A)...");
    case kLanguageCommand:
      // Each language is offered in its own words.
      return translations_ != nullptr && translations_->Current() == Language::kEnglish
                 ? QStringLiteral("日本語")
                 : QStringLiteral("English");
    default:
      return {};
  }
}

void MainDialog::OnSwitchLanguage() {
  if (translations_ == nullptr) {
    return;
  }
  const Language other =
      translations_->Current() == Language::kJapanese ? Language::kEnglish : Language::kJapanese;
  if (!translations_->Use(other)) {
    notifier_.Show(this, Notice{ProgramName(),
                                QCoreApplication::translate("Sonavela", "翻訳が見つかりません。"),
                                QCoreApplication::translate(
                                    "Sonavela", "一部の文字は書かれたままの言葉で表示されます。"),
                                QMessageBox::Warning});
  }
  SaveLanguage(other);
  RetranslateDialog(*this, MainDialogTemplate(), controls_);
  NameControls();
  ShowState();
  for (QAction* item : systemMenu_->actions()) {
    if (!item->isSeparator()) {
      item->setText(MenuText(item->data().toUInt()));
    }
  }
  if (explanation_ != nullptr) {
    explanation_->Retranslate();
    explanation_->Show(excursion_);
  }
}

}  // namespace sonavela::ui
