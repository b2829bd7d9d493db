// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QIcon>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "generator/explanation.h"
#include "midi/port/midi_backend.h"
#include "playback/session.h"
#include "timing/chord_clock.h"
#include "timing/sync_settings.h"
#include "ui/language.h"
#include "ui/rule_notes.h"
#include "ui/sound_dialog.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;

namespace sonavela::ui {

class DialogInputs;
class ExplanationWindow;
class ChordTimer;
class ListWidgetResults;
class Notifier;
class RuleList;

// Command ids of the window menu, in the system menu's numbering: the
// program's own below 0xF000, the low four bits left to the system.
enum SysCommand : unsigned {
  kAboutCommand = 16,
  kSaveMidiFileCommand = 32,
  kOpenRuleFileCommand = 48,
  kSaveRuleFileCommand = 64,
  kSyncCommand = 80,
  kSoundCommand = 96,
  kExplainCommand = 112,
  kLanguageCommand = 128,
  kMinimizeCommand = 0xF020,
  kCloseCommand = 0xF060,
};

struct MainDialogOptions {
  // The MIDI devices to list and play on. Required.
  std::unique_ptr<midi::MidiBackend> backend;
  // Empty: the step period of a progression (two seconds).
  std::optional<std::chrono::milliseconds> tickPeriod;
  // Initial state of the random source.
  std::uint32_t seed = generator::RandomSource::kInitialState;
  // Null: modal message boxes and file dialogs. Must outlive the dialog.
  Notifier* notifier = nullptr;
  // Makes the clock of the tempo and sync settings, at the Start after they
  // changed; empty: the program's own grid only.
  std::function<timing::ClockChoice(const timing::SyncSettings&)> makeClock;
  // The MIDI inputs a MIDI clock can come from.
  std::function<std::vector<std::string>()> listInputs;
  // What the built-in synthesizer of `backend` (device 0) opens with, shared
  // with it; null: the synthesizer's settings are not offered.
  std::shared_ptr<midi::SynthChoice> synth;
  // The dialogs' language, which the window menu then switches; null: the
  // menu offers no other language. Must outlive the dialog.
  Translations* translations = nullptr;
  // The sound and tempo settings start as they were last left, and are kept
  // whenever they change.
  bool rememberSettings = false;
};

// "コード進行自動生成", the program's only window: the MIDI device list, the
// instrument number, the minor-key box, the two rule-editing groups, the
// result list, and Start and Stop. Constructing it also initialises it, so a
// device that fails to open is reported before the dialog is shown.
class MainDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit MainDialog(MainDialogOptions options);
  ~MainDialog() override;
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // What the rule checker found in the tables at the last 開始.
  [[nodiscard]] const RuleNotes& RuleFindings() const { return ruleNotes_; }
  void Start();
  void Stop();
  void Tick(unsigned timerId);
  void OnDeviceSelected();
  void OnSysCommand(unsigned commandId);
  // The window menu's file commands.
  void OnSaveMidiFile();
  void OnOpenRuleFile();
  void OnSaveRuleFile();
  void OnSyncSettings();
  [[nodiscard]] const timing::SyncSettings& SyncSettings() const { return syncSettings_; }
  void SetSyncSettings(const timing::SyncSettings& settings);
  void OnSoundSettings();
  // Opens the explanation window, or brings it forward; it follows every
  // chord from then on.
  void OnExplain();
  [[nodiscard]] ExplanationWindow* Explanation() const { return explanation_; }
  [[nodiscard]] const generator::Excursion& CurrentExcursion() const { return excursion_; }
  // The other language, chosen for this and later runs; the texts change at
  // once.
  void OnSwitchLanguage();
  // The window menu's text of `command` in the dialog's language.
  [[nodiscard]] QString MenuText(unsigned command) const;
  [[nodiscard]] const ui::SoundSettings& SoundSettings() const { return soundSettings_; }
  // Taken at the next 開始; A minor checks the box 短調, any other key
  // clears it.
  void SetSoundSettings(const ui::SoundSettings& settings);

  // The controls in template order, and the window menu (the system menu of
  // other desktops), for inspection.
  [[nodiscard]] const std::vector<QWidget*>& Controls() const { return controls_; }
  [[nodiscard]] QMenu& SystemMenu() const { return *systemMenu_; }
  [[nodiscard]] const ChordTimer& StepTimerState() const { return *stepTimer_; }
  [[nodiscard]] const QIcon& Icon() const { return appIcon; }
  // The line below the controls that says how the progression stands.
  [[nodiscard]] const QLabel& StatusLine() const { return *statusLine_; }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  // Closing the window drops a rule check still running.
  void done(int result) override;

 private:
  void DoDataExchange();
  // Each edit field and list named for screen readers by the labels a
  // sighted user reads it by, in the language of the moment.
  void NameControls();
  void ConnectMessages();
  void KeepDeviceSelected();
  void OnInitDialog();
  void InitControls();
  void FillDefaultRules();
  void CreateSystemMenu();
  void AddAboutItem();
  void AddFileItems();
  void AimTimer();
  void OnClockDue();
  [[nodiscard]] bool TakeNewClock();
  void AddStatusLine();
  void ShowState();
  void OnSessionEvent(const playback::SessionEvent& event);
  void ShowFailures();
  void ShowSystemMenu(QPoint globalPos);
  void ShowSystemMenuAtFocus();
  void OnStepPlayed();

  std::vector<QWidget*> controls_;

  QLineEdit* instrumentEdit = nullptr;
  QCheckBox* minorCheck = nullptr;
  QLineEdit* substWeightEdit = nullptr;
  QLineEdit* substTextEdit = nullptr;
  QLineEdit* connWeightEdit = nullptr;
  QLineEdit* connTextEdit = nullptr;
  QListWidget* substList = nullptr;
  QListWidget* connList = nullptr;
  QListWidget* deviceList = nullptr;
  QListWidget* resultList = nullptr;
  QLabel* statusLine_ = nullptr;
  QIcon appIcon;

  std::unique_ptr<Notifier> ownNotifier_;
  Notifier& notifier_;
  QMenu* systemMenu_ = nullptr;
  std::unique_ptr<RuleList> connRules_;
  std::unique_ptr<RuleList> substRules_;
  RuleNotes ruleNotes_{*this};
  std::unique_ptr<ListWidgetResults> results_;
  std::unique_ptr<ChordTimer> stepTimer_;
  std::unique_ptr<DialogInputs> inputs_;
  // The generator, the MIDI port and the recording of what was played.
  std::unique_ptr<playback::PlaybackSession> session_;
  std::function<timing::ClockChoice(const timing::SyncSettings&)> makeClock_;
  std::function<std::vector<std::string>()> listInputs_;
  std::shared_ptr<midi::SynthChoice> synth_;
  timing::SyncSettings syncSettings_;
  ui::SoundSettings soundSettings_;
  bool rememberSettings_ = false;
  // Where the progression has gone, kept whether or not it is shown.
  generator::Excursion excursion_{harmony::Key{{'C', 0}, harmony::kMajor}};
  ExplanationWindow* explanation_ = nullptr;  // owned by the dialog, once opened
  Translations* translations_ = nullptr;
  // The settings changed since the clock was made: a new one at Start.
  bool syncChanged_ = false;
  // What the status line adds to the state, until the state changes.
  QString lastNotice_;
  std::vector<playback::Failure> pendingFailures_;
};

}  // namespace sonavela::ui
