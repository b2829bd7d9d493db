#include "ui/main_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <string>

#include "generator/rules.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/dialog_builder.h"
#include "ui/dialog_template.h"
#include "ui/notifier.h"
#include "ui/playback_adapters.h"
#include "ui/rule_list.h"

namespace sonavela::ui {
namespace {

constexpr Qt::WindowFlags kMainWindowFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;

constexpr int kInstrumentAtStart = 49;

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
      midiPort(std::move(options.backend)),
      appIcon(AppIcon()),
      ownNotifier_(options.notifier == nullptr ? std::make_unique<MessageBoxNotifier>() : nullptr),
      notifier_(options.notifier != nullptr ? *options.notifier : *ownNotifier_) {
  controls_ = BuildDialog(*this, MainDialogTemplate(), appIcon);
  DoDataExchange();
  CreateSystemMenu();

  connRules_ = std::make_unique<RuleList>(RuleKind::kConnection, *connList, *connWeightEdit,
                                          *connTextEdit, notifier_, *this);
  substRules_ = std::make_unique<RuleList>(RuleKind::kSubstitution, *substList, *substWeightEdit,
                                           *substTextEdit, notifier_, *this);
  results_ = std::make_unique<ListWidgetResults>(*resultList);
  stepTimer_ = std::make_unique<PreciseStepTimer>();
  inputs_ = std::make_unique<DialogInputs>(*instrumentEdit, *minorCheck, *connRules_, *substRules_);
  playback_ = std::make_unique<playback::PlaybackControl>(generator, midiPort, *results_,
                                                          *stepTimer_, *inputs_);
  if (options.tickPeriod) {
    playback_->SetPeriod(*options.tickPeriod);
  }

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

// Every notification the dialog reacts to, in one place. Anything not listed
// gets the dialog's default handling: Escape and the close box reject the
// dialog, Enter clicks the default button, Start.
void MainDialog::ConnectMessages() {
  connect(systemMenu_, &QMenu::triggered, this,
          [this](const QAction* item) { OnSysCommand(item->data().toUInt()); });
  connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this), &QShortcut::activated, this,
          &MainDialog::ShowSystemMenuAtFocus);

  connect(Button(*this, kIdStart), &QPushButton::clicked, this, &MainDialog::Start);
  connect(Button(*this, kIdStop), &QPushButton::clicked, this, &MainDialog::Stop);
  connect(stepTimer_.get(), &PreciseStepTimer::Timeout, this, &MainDialog::Tick);
  connect(deviceList, &QListWidget::currentRowChanged, this, &MainDialog::OnDeviceSelected);
  connect(deviceList, &QListWidget::itemSelectionChanged, this, &MainDialog::KeepDeviceSelected);

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
  const unsigned count = midiPort.DeviceCount();
  for (unsigned i = 0; i < count; ++i) {
    std::string name;
    if (!midiPort.DeviceName(i, name)) {
      name = "<Error>";
    }
    deviceList->addItem(QString::fromStdString(name));
  }
  instrumentEdit->setText(QStringLiteral("%1").arg(kInstrumentAtStart, 4));
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
  systemMenu_->addAction(QStringLiteral("最小化(&N)"))->setData(kMinimizeCommand);
  systemMenu_->addAction(QStringLiteral("閉じる(&C)\tAlt+F4"))->setData(kCloseCommand);
}

void MainDialog::AddAboutItem() {
  systemMenu_->addSeparator();
  systemMenu_->addAction(QStringLiteral("Sonavela のﾊﾞｰｼﾞｮﾝ情報(&A)..."))->setData(kAboutCommand);
}

void MainDialog::Start() {
  playback_->Start();
}

void MainDialog::Stop() {
  playback_->Stop();
}

void MainDialog::Tick(unsigned timerId) {
  playback_->Tick(timerId);
}

void MainDialog::OnDeviceSelected() {
  const int index = deviceList->currentRow();
  if (index < 0) {
    return;
  }
  if (!midiPort.OpenDevice(static_cast<unsigned>(index))) {
    notifier_.Show(isVisible() ? this : nullptr,
                   Notice{ProgramName(), QStringLiteral("<Open Error>"),
                          QString::fromStdString(midiPort.LastError()), QMessageBox::NoIcon});
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
  if ((commandId & 0xFFF0U) == kAboutCommand) {
    AboutDialog about(appIcon, this);
    about.exec();
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

void MainDialog::ShowSystemMenu(QPoint globalPos) {
  systemMenu_->exec(globalPos);
}

void MainDialog::ShowSystemMenuAtFocus() {
  const QWidget* focus = focusWidget() != nullptr ? focusWidget() : this;
  ShowSystemMenu(focus->mapToGlobal(focus->rect().center()));
}

}  // namespace sonavela::ui
