// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main_dialog.h"

#include "ui/error_text.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>
#include <string>

#include "generator/rules.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/dialog_builder.h"
#include "ui/dialog_template.h"
#include "ui/explanation_window.h"
#include "ui/notifier.h"
#include "ui/playback_adapters.h"
#include "ui/rule_list.h"
#include "ui/saved_settings.h"

namespace sonavela::ui {
namespace {

constexpr Qt::WindowFlags kMainWindowFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

template <typename Widget>
Widget* Bind(const QDialog& dialog, int id) {
  auto* widget = dialog.findChild<Widget*>(QStringLiteral("control%1").arg(id));
  Q_ASSERT_X(widget != nullptr, "MainDialog", "control missing from the template");
  return widget;
}

QPushButton* Button(const QDialog& dialog, int id) {
  return Bind<QPushButton>(dialog, id);
}

}  // namespace

MainDialog::MainDialog(MainDialogOptions options)
    : QDialog(nullptr, kMainWindowFlags),
      appIcon(AppIcon()),
      ownNotifier_(options.notifier == nullptr ? std::make_unique<MessageBoxNotifier>() : nullptr),
      notifier_(options.notifier != nullptr ? *options.notifier : *ownNotifier_) {
  translations_ = options.translations;
  controls_ = BuildDialog(*this, MainDialogTemplate(), appIcon);
  DoDataExchange();
  NameControls();
  CreateSystemMenu();

  connRules_ = std::make_unique<RuleList>(RuleKind::kConnection, *connList, *connWeightEdit,
                                          *connTextEdit, notifier_, *this);
  substRules_ = std::make_unique<RuleList>(RuleKind::kSubstitution, *substList, *substWeightEdit,
                                           *substTextEdit, notifier_, *this);
  results_ = std::make_unique<ListWidgetResults>(*resultList);
  inputs_ = std::make_unique<DialogInputs>(*instrumentEdit, *minorCheck, soundSettings_.homeKey,
                                           *connRules_, *substRules_);
  playback::SessionOptions setup;
  setup.devices = std::move(options.backend);
  setup.clock =
      std::make_unique<timing::GridClock>(options.tickPeriod.value_or(timing::kStepPeriod));
  setup.seed = options.seed;
  setup.inputs = [this] { return inputs_->Read(); };
  // For 名前を付けてMIDIファイルを保存 after a run.
  setup.keepRecording = true;
  // A JACK server restarted, a sound server back: the dialog plays on there.
  setup.reopenFailedDevice = true;
  session_ = std::make_unique<playback::PlaybackSession>(std::move(setup));
  stepTimer_ = std::make_unique<ChordTimer>(session_->Clock().CurrentMeter().Chord());
  makeClock_ = std::move(options.makeClock);
  listInputs_ = std::move(options.listInputs);
  synth_ = std::move(options.synth);
  if (synth_) {
    soundSettings_.synth = *synth_;
  }
  rememberSettings_ = options.rememberSettings;
  if (rememberSettings_) {
    const harmony::Key specified = soundSettings_.homeKey;
    LoadSavedSettings(soundSettings_, syncSettings_);
    soundSettings_.homeKey = specified;
    if (synth_) {
      *synth_ = soundSettings_.synth;
    }
    syncChanged_ = syncSettings_ != timing::SyncSettings{};
  }

  session_->SetEventSink([this](const playback::SessionEvent& event) { OnSessionEvent(event); });
  AddStatusLine();
  ConnectMessages();
  OnInitDialog();
}

MainDialog::~MainDialog() {
  // The controls outlive the members behind their handlers; nothing they
  // emit while they are taken down may reach a half-destroyed dialog.
  for (QObject* child : findChildren<QObject*>()) {
    child->disconnect(this);
  }
}

void MainDialog::DoDataExchange() {
  instrumentEdit = Bind<QLineEdit>(*this, kIdInstrument);
  minorCheck = Bind<QCheckBox>(*this, kIdMinorCheck);
  substWeightEdit = Bind<QLineEdit>(*this, kIdSubstWeight);
  substTextEdit = Bind<QLineEdit>(*this, kIdSubstText);
  connWeightEdit = Bind<QLineEdit>(*this, kIdConnWeight);
  connTextEdit = Bind<QLineEdit>(*this, kIdConnText);
  substList = Bind<QListWidget>(*this, kIdSubstList);
  connList = Bind<QListWidget>(*this, kIdConnList);
  deviceList = Bind<QListWidget>(*this, kIdDeviceList);
  resultList = Bind<QListWidget>(*this, kIdResultList);
}

void MainDialog::NameControls() {
  const auto text = [](const char* source) {
    return QCoreApplication::translate("Sonavela", source);
  };
  const QString connection = text("コード連結規則表");
  const QString substitution = text("コード読替え規則表");
  const std::pair<QWidget*, QString> names[] = {
      {deviceList, text("ＭＩＤＩデータ出力先")},
      {instrumentEdit, text("楽器番号")},
      {connList, connection},
      {connWeightEdit, connection + QLatin1Char(' ') + text("重み")},
      {connTextEdit, connection + QLatin1Char(' ') + text("旋法,度数連結,補正")},
      {substList, substitution},
      {substWeightEdit, substitution + QLatin1Char(' ') + text("重み")},
      {substTextEdit, substitution + QLatin1Char(' ') + text("旋法,度数読替え")},
      {resultList, text("生成結果")},
  };
  for (const auto& [control, name] : names) {
    control->setAccessibleName(name);
  }
}

// Every notification the dialog reacts to, in one place. Anything not listed
// gets the dialog's default handling: Escape and the close box reject the
// dialog, Enter clicks the default button, Start.
void MainDialog::ConnectMessages() {
  connect(systemMenu_, &QMenu::triggered, this,
          [this](const QAction* item) { OnSysCommand(item->data().toUInt()); });
  connect(systemMenu_, &QMenu::aboutToShow, this, [this] {
    for (QAction* item : systemMenu_->actions()) {
      if (item->data().toUInt() == kExplainCommand) {
        item->setChecked(explanation_ != nullptr && explanation_->isVisible());
      }
    }
  });
  connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this), &QShortcut::activated, this,
          &MainDialog::ShowSystemMenuAtFocus);

  connect(Button(*this, kIdStart), &QPushButton::clicked, this, &MainDialog::Start);
  connect(Button(*this, kIdStop), &QPushButton::clicked, this, &MainDialog::Stop);
  connect(stepTimer_.get(), &ChordTimer::Due, this, &MainDialog::OnClockDue);
  connect(deviceList, &QListWidget::currentRowChanged, this, &MainDialog::OnDeviceSelected);
  connect(deviceList, &QListWidget::itemSelectionChanged, this, &MainDialog::KeepDeviceSelected);
  session_->SetStepListener([this](const auto&, const auto&) { OnStepPlayed(); });

  const struct {
    QListWidget* list;
    RuleList* rules;
    int updateId;
    int deleteId;
  } groups[] = {{connList, connRules_.get(), kIdConnUpdate, kIdConnDelete},
                {substList, substRules_.get(), kIdSubstUpdate, kIdSubstDelete}};
  for (const auto& group : groups) {
    // A click on the line that is already picked picks it again, which
    // copies it back into the fields.
    connect(group.list, &QListWidget::currentRowChanged, group.rules, &RuleList::SelectRuleLine);
    connect(group.list, &QListWidget::clicked, group.rules, &RuleList::SelectRuleLine);
    connect(group.list, &QListWidget::itemSelectionChanged, group.rules,
            &RuleList::KeepOneSelected);
    connect(Button(*this, group.updateId), &QPushButton::clicked, group.rules,
            &RuleList::UpdateRuleLine);
    connect(Button(*this, group.deleteId), &QPushButton::clicked, group.rules,
            &RuleList::DeleteRuleLine);
  }
}

void MainDialog::OnInitDialog() {
  AddAboutItem();
  setWindowIcon(appIcon);
  InitControls();
  if (deviceList->count() > 0) {
    {
      const QSignalBlocker blocker(deviceList);
      deviceList->setCurrentRow(0);
    }
    OnDeviceSelected();
  }
  connRules_->SelectLast();
  substRules_->SelectLast();
  deviceList->setFocus();
}

void MainDialog::InitControls() {
  const unsigned count = session_->DeviceCount();
  for (unsigned i = 0; i < count; ++i) {
    std::string name;
    if (!session_->DeviceName(i, name)) {
      name = "<Error>";
    }
    deviceList->addItem(QString::fromStdString(name));
  }
  // Why a JACK or ALSA user finds fewer outputs than expected.
  QStringList missing;
  for (const Error& reason : session_->UnavailableDevices()) {
    missing << ErrorText(reason);
  }
  deviceList->setToolTip(missing.join(QLatin1Char('\n')));
  instrumentEdit->setText(QStringLiteral("%1").arg(playback::kInstrumentAtStart, 4));
  FillDefaultRules();
}

void MainDialog::FillDefaultRules() {
  connRules_->Fill(generator::DefaultConnectionRules);
  substRules_->Fill(generator::DefaultSubstitutionRules);
}

// The desktop owns the real window menu, so the dialog offers its own as a
// context menu, with the commands the user would otherwise find there.
void MainDialog::CreateSystemMenu() {
  systemMenu_ = new QMenu(this);
  for (const unsigned command : {kMinimizeCommand, kCloseCommand}) {
    systemMenu_->addAction(MenuText(command))->setData(command);
  }
  AddFileItems();
}

// Before the About item, which stays the menu's last.
void MainDialog::AddFileItems() {
  systemMenu_->addSeparator();
  for (const unsigned command :
       {kSaveMidiFileCommand, kOpenRuleFileCommand, kSaveRuleFileCommand}) {
    systemMenu_->addAction(MenuText(command))->setData(command);
  }
  systemMenu_->addSeparator();
  for (const unsigned command : {kSoundCommand, kSyncCommand, kExplainCommand}) {
    QAction* item = systemMenu_->addAction(MenuText(command));
    item->setData(command);
    // Ticked while the window it opens is open.
    item->setCheckable(command == kExplainCommand);
  }
  if (translations_ != nullptr) {
    systemMenu_->addAction(MenuText(kLanguageCommand))->setData(kLanguageCommand);
  }
}

void MainDialog::AddAboutItem() {
  systemMenu_->addSeparator();
  systemMenu_->addAction(MenuText(kAboutCommand))->setData(kAboutCommand);
}

void MainDialog::Start() {
  if (syncChanged_ && !TakeNewClock()) {
    return;
  }
  session_->SetVoicing(soundSettings_.voicing);
  session_->Start();
  // Why a rule never plays, told beside the dialog while the progression
  // plays on.
  ruleNotes_.Check(*connRules_, *substRules_, inputs_->HomeKey());
  AimTimer();
}

void MainDialog::OnClockDue() {
  (void)session_->Pump();
  AimTimer();
}

void MainDialog::Stop() {
  session_->Stop();
  stepTimer_->Cancel();
}

void MainDialog::Tick(unsigned timerId) {
  session_->Tick(timerId);
  if (timerId == playback::kStepTimerId) {
    AimTimer();
  }
}

void MainDialog::AimTimer() {
  if (session_->Engaged()) {
    stepTimer_->Aim(session_->NextWake());
  } else {
    stepTimer_->Cancel();
  }
}

void MainDialog::OnDeviceSelected() {
  const int index = deviceList->currentRow();
  if (index < 0) {
    return;
  }
  if (Status opened = session_->OpenDevice(static_cast<unsigned>(index)); !opened) {
    notifier_.Show(isVisible() ? this : nullptr,
                   Notice{ProgramName(), QStringLiteral("<Open Error>"), ErrorText(opened.error()),
                          QMessageBox::NoIcon});
  }
}

// The open device's line stays selected, also after a Ctrl+click on it.
void MainDialog::KeepDeviceSelected() {
  QListWidgetItem* current = deviceList->currentItem();
  if (current != nullptr && deviceList->selectedItems().isEmpty()) {
    const QSignalBlocker blocker(deviceList);
    current->setSelected(true);
  }
}

void MainDialog::OnSysCommand(unsigned commandId) {
  const unsigned command = commandId & 0xFFF0U;
  if (command == kAboutCommand) {
    AboutDialog about(appIcon, this);
    about.exec();
  } else if (command == kSaveMidiFileCommand) {
    OnSaveMidiFile();
  } else if (command == kOpenRuleFileCommand) {
    OnOpenRuleFile();
  } else if (command == kSaveRuleFileCommand) {
    OnSaveRuleFile();
  } else if (command == kSyncCommand) {
    OnSyncSettings();
  } else if (command == kSoundCommand) {
    OnSoundSettings();
  } else if (command == kExplainCommand) {
    OnExplain();
  } else if (command == kLanguageCommand) {
    OnSwitchLanguage();
  } else if (commandId == kMinimizeCommand) {
    showMinimized();
  } else if (commandId == kCloseCommand) {
    reject();
  }
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
  ShowSystemMenu(event->globalPos());
  event->accept();
}

void MainDialog::done(int result) {
  ruleNotes_.Cancel();
  QDialog::done(result);
}

void MainDialog::ShowSystemMenu(QPoint globalPos) {
  systemMenu_->exec(globalPos);
}

void MainDialog::ShowSystemMenuAtFocus() {
  const QWidget* focus = focusWidget() != nullptr ? focusWidget() : this;
  ShowSystemMenu(focus->mapToGlobal(focus->rect().center()));
}

}  // namespace sonavela::ui
