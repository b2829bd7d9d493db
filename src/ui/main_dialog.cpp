#include "ui/main_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>
#include <filesystem>
#include <string>

#include "generator/rules.h"
#include "midi/midi_file_tap.h"
#include "playback/file_save.h"
#include "playback/rule_file_io.h"
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

// A MIDI file writes one chord as one 4/4 bar, so the bar lasts as long as a
// chord sounds. A period that no tempo event can express (zero, or above
// about 67 seconds, as tests use) keeps the program's two seconds.
std::chrono::milliseconds FileChordLength(std::chrono::milliseconds period) {
  constexpr std::chrono::milliseconds kLongestBar{0xFFFFFF * 4 / 1000};
  return period > std::chrono::milliseconds::zero() && period <= kLongestBar
             ? period
             : playback::kStepPeriod;
}

// Every message the port sends also goes into the recording.
std::unique_ptr<midi::MidiBackend> Tapped(std::unique_ptr<midi::MidiBackend> backend,
                                          std::chrono::milliseconds period) {
  midi::MidiFileOptions options;
  options.chordLength = FileChordLength(period);
  return std::make_unique<midi::MidiFileTap>(
      std::move(backend), std::make_shared<midi::MidiFileRecording>(std::move(options)));
}

// A long list of problems (a file that is no rule file at all) would make a
// box taller than the screen; the first ones tell what is wrong.
constexpr std::size_t kProblemsShown = 20;

// A message of the file layer, with the file's full path shortened to its
// name where the message begins with it.
QString ForUser(const std::string& message, const QString& path) {
  QString text = QString::fromLocal8Bit(message);
  const QString prefix = QString::fromLocal8Bit(QFile::encodeName(path));
  if (text.startsWith(prefix + QLatin1Char(':'))) {
    text.replace(0, prefix.size(), QFileInfo(path).fileName());
  }
  return text;
}

const FilePrompt& RuleFilePrompt(FileAction action) {
  static const FilePrompt open{FileAction::kOpen, QStringLiteral("規則表を開く"),
                               QStringLiteral("規則表 (*.txt *.rules);;すべてのファイル (*)"),
                               QStringLiteral("txt")};
  static const FilePrompt save{FileAction::kSave, QStringLiteral("規則表を保存"), open.filter,
                               open.defaultSuffix};
  return action == FileAction::kOpen ? open : save;
}

}  // namespace

MainDialog::MainDialog(MainDialogOptions options)
    : QDialog(nullptr, kMainWindowFlags),
      midiPort(
          Tapped(std::move(options.backend), options.tickPeriod.value_or(playback::kStepPeriod))),
      appIcon(AppIcon()),
      recording_(static_cast<midi::MidiFileTap&>(midiPort.Backend()).Recording()),
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
  playback_->SetStepListener([this](const generator::ProgressionStep& /*step*/,
                                    const std::string& line) { RecordStep(line); });

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
  AddFileItems();
}

// Before the About item, which stays the menu's last.
void MainDialog::AddFileItems() {
  systemMenu_->addSeparator();
  systemMenu_->addAction(QStringLiteral("MIDIファイルに保存(&M)..."))
      ->setData(kSaveMidiFileCommand);
  systemMenu_->addAction(QStringLiteral("規則表を開く(&O)..."))->setData(kOpenRuleFileCommand);
  systemMenu_->addAction(QStringLiteral("規則表を保存(&S)..."))->setData(kSaveRuleFileCommand);
}

void MainDialog::AddAboutItem() {
  systemMenu_->addSeparator();
  systemMenu_->addAction(QStringLiteral("Sonavela のﾊﾞｰｼﾞｮﾝ情報(&A)..."))->setData(kAboutCommand);
}

void MainDialog::Start() {
  // The file holds what was played since the last Start, from its first bar.
  recording_->Clear();
  chordsRecorded_ = 0;
  playback_->Start();
}

void MainDialog::Stop() {
  // The notes end in the file when they end on the device.
  if (stepTimer_->IsArmed()) {
    recording_->SetTime(RecordingTimeNow());
  }
  playback_->Stop();
}

void MainDialog::Tick(unsigned timerId) {
  if (timerId == playback::kStepTimerId) {
    // Chord k sounds at k chord lengths on the file's grid, whenever the tick
    // actually came.
    recording_->SetTime(chordsRecorded_ * ChordLength());
  }
  playback_->Tick(timerId);
}

void MainDialog::RecordStep(const std::string& line) {
  recording_->AddMarker(line);
  lastChordAt_ = std::chrono::steady_clock::now();
  ++chordsRecorded_;
}

std::chrono::milliseconds MainDialog::ChordLength() const {
  return recording_->Options().chordLength;
}

std::chrono::milliseconds MainDialog::RecordingTimeNow() const {
  if (chordsRecorded_ == 0) {
    return recording_->Time();
  }
  const auto sounded = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - lastChordAt_);
  return (chordsRecorded_ - 1) * ChordLength() + std::clamp(sounded, {}, ChordLength());
}

void MainDialog::OnDeviceSelected() {
  const int index = deviceList->currentRow();
  if (index < 0) {
    return;
  }
  if (stepTimer_->IsArmed()) {
    recording_->SetTime(RecordingTimeNow());  // the change silences the chord
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
  } else if (commandId == kMinimizeCommand) {
    showMinimized();
  } else if (commandId == kCloseCommand) {
    reject();
  }
}

void MainDialog::OnSaveMidiFile() {
  if (recording_->Empty()) {
    notifier_.Show(this, Notice{ProgramName(), QStringLiteral("保存する演奏がありません。"),
                                QStringLiteral("「開始」で演奏を始めると、それから演奏したコード"
                                               "進行をMIDIファイルに保存できます。"),
                                QMessageBox::Information});
    return;
  }
  const std::optional<QString> path = notifier_.AskFileName(
      this, FilePrompt{FileAction::kSave, QStringLiteral("MIDIファイルに保存"),
                       QStringLiteral("MIDI (*.mid *.midi)"), QStringLiteral("mid")});
  if (!path) {
    return;
  }
  // Ticks go on while the file dialog is open: what they played is saved too.
  // A playing chord ends where its bar ends; a stopped one where it stopped.
  const std::chrono::milliseconds end =
      stepTimer_->IsArmed() ? chordsRecorded_ * ChordLength() : recording_->Time();
  const std::string error =
      playback::SaveMidiFile(std::filesystem::path(path->toStdU16String()), *recording_, end);
  if (!error.empty()) {
    notifier_.Show(this,
                   Notice{ProgramName(), QStringLiteral("MIDIファイルを保存できませんでした。"),
                          QString::fromStdString(error), QMessageBox::Warning});
  }
}

void MainDialog::OnOpenRuleFile() {
  const std::optional<QString> path =
      notifier_.AskFileName(this, RuleFilePrompt(FileAction::kOpen));
  if (!path) {
    return;
  }
  const generator::RuleFileReading reading =
      playback::ReadRuleFile(QFile::encodeName(*path).toStdString());
  if (!reading.Ok()) {
    QStringList lines;
    for (std::size_t i = 0; i < std::min(reading.problems.size(), kProblemsShown); ++i) {
      lines << ForUser(reading.problems[i], *path);
    }
    if (reading.problems.size() > kProblemsShown) {
      lines << QStringLiteral("ほかに%1件の問題があります。")
                   .arg(reading.problems.size() - kProblemsShown);
    }
    notifier_.Show(this, Notice{ProgramName(),
                                QStringLiteral("規則表を読み込めませんでした。規則の一覧は"
                                               "変わっていません。"),
                                lines.join(QLatin1Char('\n')), QMessageBox::Warning});
    return;
  }
  connRules_->Replace(reading.tables.connection);
  substRules_->Replace(reading.tables.substitution);
}

void MainDialog::OnSaveRuleFile() {
  const std::optional<QString> path =
      notifier_.AskFileName(this, RuleFilePrompt(FileAction::kSave));
  if (!path) {
    return;
  }
  const playback::RuleLists lists{connRules_->RuleLines(), substRules_->RuleLines()};
  if (const auto error = playback::WriteRuleFile(QFile::encodeName(*path).toStdString(), lists)) {
    notifier_.Show(this, Notice{ProgramName(), QStringLiteral("規則表を保存できませんでした。"),
                                ForUser(*error, *path), QMessageBox::Warning});
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
