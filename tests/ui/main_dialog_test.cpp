// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>

#include "dialog_harness.h"
#include "reference_progression.h"
#include "ui/about_dialog.h"
#include "ui/playback_adapters.h"

namespace sonavela::ui::testing {
namespace {

using midi::RecordedEvent;
using midi::RecordedKind;
using namespace std::chrono_literals;

using midi::MidiMessage;

constexpr MidiMessage kAllNotesOff = MidiMessage::AllNotesOff(1);
constexpr MidiMessage ProgramChange(int program) {
  return MidiMessage::ProgramChange(1, program);
}
bool IsNoteOn(const MidiMessage& message) {
  return message.IsNoteOn();
}
bool IsProgramChange(const MidiMessage& message) {
  return message.Kind() == 0xC0;
}

class MainDialogTest : public DialogTest {};

TEST_F(MainDialogTest, OpensWithDevicesDefaultsAndEmptyFields) {
  Open({{"Synth A"}, {"Port B"}, {"Port C"}});
  EXPECT_EQ(Lines(kIdDeviceList), (QStringList{"Synth A", "Port B", "Port C"}));
  EXPECT_EQ(List(kIdDeviceList)->currentRow(), 0);
  EXPECT_EQ(recorder->OpenIndex(), std::optional<unsigned>(0));
  ASSERT_FALSE(log->events.empty());
  EXPECT_EQ(log->events.front(), (RecordedEvent{RecordedKind::kOpen, 0}));
  EXPECT_EQ(Edit(kIdInstrument)->text(), QStringLiteral("  49"));
  EXPECT_EQ(StdLines(kIdConnList), DefaultConnectionLines());
  EXPECT_EQ(StdLines(kIdSubstList), DefaultSubstitutionLines());
  EXPECT_EQ(List(kIdConnList)->currentRow(), 16);
  EXPECT_EQ(List(kIdSubstList)->currentRow(), 11);
  EXPECT_EQ(List(kIdConnList)->selectedItems().size(), 1);
  EXPECT_EQ(List(kIdSubstList)->selectedItems().size(), 1);
  for (const int id : {kIdConnWeight, kIdConnText, kIdSubstWeight, kIdSubstText}) {
    EXPECT_TRUE(Edit(id)->text().isEmpty()) << id;
  }
  EXPECT_EQ(List(kIdResultList)->count(), 0);
  EXPECT_FALSE(Ctl<QCheckBox>(kIdMinorCheck)->isChecked());
  EXPECT_FALSE(dialog->StepTimerState().IsArmed());
  EXPECT_TRUE(notifier.notices.empty());
  EXPECT_EQ(QApplication::focusWidget(), List(kIdDeviceList));
  EXPECT_FALSE(dialog->windowIcon().isNull());
}

TEST_F(MainDialogTest, ListsAnUnreadableDeviceNameAsError) {
  Open({{"Synth A"}, {std::nullopt}, {"Port C"}});
  EXPECT_EQ(Lines(kIdDeviceList), (QStringList{"Synth A", "<Error>", "Port C"}));
  ClickLine(kIdDeviceList, 1);
  EXPECT_EQ(recorder->OpenIndex(), std::optional<unsigned>(1)) << "an <Error> line still opens";
  ClickLine(kIdDeviceList, 1, Qt::ControlModifier);
  EXPECT_EQ(List(kIdDeviceList)->selectedItems().size(), 1) << "the open device stays selected";
  EXPECT_EQ(recorder->OpenIndex(), std::optional<unsigned>(1));
}

TEST_F(MainDialogTest, ReportsDeviceZeroFailingToOpenAndGoesOnSilently) {
  Open({{"Synth A", false}, {"Port B"}});
  ASSERT_EQ(notifier.notices.size(), 1U);
  const Notice& notice = notifier.notices.front();
  EXPECT_EQ(notice.text, QStringLiteral("<Open Error>"));
  EXPECT_EQ(notice.icon, QMessageBox::NoIcon);
  EXPECT_EQ(notice.caption, QStringLiteral("sonavela_ui_test"));
  EXPECT_EQ(List(kIdDeviceList)->currentRow(), 0);
  EXPECT_FALSE(recorder->OpenIndex().has_value());

  Click(kIdStart);
  dialog->Tick(0);
  EXPECT_EQ(List(kIdResultList)->count(), 2) << "the progression runs without a device";
  EXPECT_TRUE(log->Messages().empty());

  ClickLine(kIdDeviceList, 1);
  EXPECT_EQ(recorder->OpenIndex(), std::optional<unsigned>(1));
  EXPECT_EQ(notifier.notices.size(), 1U);
  ClickLine(kIdDeviceList, 0);
  EXPECT_EQ(notifier.notices.size(), 2U) << "a later failure is reported too";
}

TEST_F(MainDialogTest, NoDevicesMeansNoSelectionAndNoMessage) {
  Open({});
  EXPECT_EQ(List(kIdDeviceList)->count(), 0);
  EXPECT_TRUE(notifier.notices.empty());
  Click(kIdStart);
  EXPECT_EQ(List(kIdResultList)->count(), 1);
}

TEST_F(MainDialogTest, StartShowsTheTonicAtOnceThenOneLinePerTick) {
  Open();
  ReferenceProgression reference;
  const auto expected =
      reference.Start(DefaultConnectionLines(), DefaultSubstitutionLines(), false, 6);
  ASSERT_EQ(expected.front(), "C   : C");

  log->Clear();
  Click(kIdStart);
  EXPECT_EQ(StdLines(kIdResultList), std::vector<std::string>{expected.front()});
  EXPECT_TRUE(dialog->StepTimerState().IsArmed());
  const auto messages = log->MessagesTo(0);
  ASSERT_GE(messages.size(), 5U);
  EXPECT_EQ(
      std::vector<MidiMessage>(messages.begin(), messages.begin() + 4),
      (std::vector<MidiMessage>{kAllNotesOff, ProgramChange(48), kAllNotesOff, kAllNotesOff}));
  EXPECT_TRUE(std::all_of(messages.begin() + 4, messages.end(), IsNoteOn));

  for (int tick = 1; tick < 6; ++tick) {
    dialog->Tick(0);
    EXPECT_EQ(List(kIdResultList)->count(), tick + 1);
    EXPECT_EQ(List(kIdResultList)->currentRow(), tick) << "the newest line is selected";
  }
  EXPECT_EQ(StdLines(kIdResultList), expected);

  dialog->Tick(1);
  EXPECT_EQ(List(kIdResultList)->count(), 6) << "only timer 0 drives the progression";
}

TEST_F(MainDialogTest, StartTwiceBeginsAgainFromTheTonic) {
  Open();
  Click(kIdStart);
  dialog->Tick(0);
  dialog->Tick(0);
  log->Clear();
  Click(kIdStart);
  EXPECT_EQ(Lines(kIdResultList), QStringList{QStringLiteral("C   : C")});
  EXPECT_TRUE(dialog->StepTimerState().IsArmed());
  EXPECT_EQ(log->MessagesTo(0).at(1), ProgramChange(48));
}

TEST_F(MainDialogTest, StopSilencesAndDisarmsButKeepsTheList) {
  Open();
  log->Clear();
  Click(kIdStop);
  EXPECT_EQ(log->Messages(), std::vector<MidiMessage>{kAllNotesOff}) << "stop while idle";
  Click(kIdStart);
  dialog->Tick(0);
  log->Clear();
  Click(kIdStop);
  EXPECT_EQ(log->Messages(), std::vector<MidiMessage>{kAllNotesOff});
  EXPECT_FALSE(dialog->StepTimerState().IsArmed());
  EXPECT_EQ(List(kIdResultList)->count(), 2);
}

TEST_F(MainDialogTest, KeepsAtMostOneHundredLines) {
  Open();
  ReferenceProgression reference;
  const auto expected =
      reference.Start(DefaultConnectionLines(), DefaultSubstitutionLines(), false, 101);
  Click(kIdStart);
  for (int tick = 0; tick < 100; ++tick) {
    dialog->Tick(0);
  }
  const auto lines = StdLines(kIdResultList);
  ASSERT_EQ(lines.size(), 100U);
  EXPECT_EQ(lines, std::vector<std::string>(expected.begin() + 1, expected.end()));
  EXPECT_EQ(List(kIdResultList)->currentRow(), 99);
}

TEST_F(MainDialogTest, InstrumentNumberIsReadAtStart) {
  Open();
  Type(kIdInstrument, QStringLiteral("5"));
  log->Clear();
  Click(kIdStart);
  EXPECT_EQ(log->MessagesTo(0).at(1), ProgramChange(4));

  Type(kIdInstrument, QStringLiteral("x1y2"));
  EXPECT_EQ(Edit(kIdInstrument)->text(), QStringLiteral("12")) << "digits only";
  Type(kIdInstrument, QStringLiteral("1234567"));
  EXPECT_EQ(Edit(kIdInstrument)->text(), QStringLiteral("12345"));
}

TEST_F(MainDialogTest, ChangingTheDeviceWhileRunningMovesTheNextChord) {
  Open();
  Click(kIdStart);
  ClickLine(kIdDeviceList, 1);
  EXPECT_EQ(recorder->OpenIndex(), std::optional<unsigned>(1));
  const RecordedEvent close{RecordedKind::kClose, 0};
  const RecordedEvent open{RecordedKind::kOpen, 1};
  const auto closeAt = std::find(log->events.begin(), log->events.end(), close);
  ASSERT_NE(closeAt, log->events.end());
  EXPECT_EQ(*(closeAt - 1), (RecordedEvent{RecordedKind::kSend, 0, kAllNotesOff}));
  EXPECT_EQ(*(closeAt + 1), open);

  dialog->Tick(0);
  const auto toNew = log->MessagesTo(1);
  ASSERT_FALSE(toNew.empty());
  EXPECT_EQ(toNew.front(), kAllNotesOff);
  EXPECT_TRUE(std::none_of(toNew.begin(), toNew.end(), IsProgramChange))
      << "the instrument is sent only by Start";
  EXPECT_EQ(List(kIdResultList)->count(), 2);
}

TEST_F(MainDialogTest, RuleEditsAndTheMinorKeyTakeEffectAtTheNextStart) {
  Open();
  ReferenceProgression reference;
  const auto first =
      reference.Start(DefaultConnectionLines(), DefaultSubstitutionLines(), false, 3);
  Click(kIdStart);

  // While it runs: tick the minor key and delete every substitution rule.
  QTest::mouseClick(Ctl<QCheckBox>(kIdMinorCheck), Qt::LeftButton);
  ASSERT_TRUE(Ctl<QCheckBox>(kIdMinorCheck)->isChecked());
  ClickLine(kIdSubstList, 0);
  for (int i = 0; i < 11; ++i) {
    Click(kIdSubstDelete);
  }
  ASSERT_EQ(Lines(kIdSubstList), QStringList{QString()});
  dialog->Tick(0);
  dialog->Tick(0);
  EXPECT_EQ(StdLines(kIdResultList), first) << "the running progression keeps its rules";

  const auto second = reference.Start(DefaultConnectionLines(), {""}, true, 3);
  Click(kIdStart);
  dialog->Tick(0);
  dialog->Tick(0);
  EXPECT_EQ(StdLines(kIdResultList), second);
  // No substitution rule: the tonic of A minor again and again, the key
  // letter left blank after the first line.
  EXPECT_EQ(StdLines(kIdResultList),
            (std::vector<std::string>{"Am  : Am", " m  : Am", " m  : Am"}));
}

TEST_F(MainDialogTest, TheTimerTicksByItselfWithThePeriodAskedFor) {
  Open(TwoDevices(), 20ms);
  Click(kIdStart);
  EXPECT_EQ(dialog->StepTimerState().Period(), 20ms);
  EXPECT_TRUE(QTest::qWaitFor([&] { return List(kIdResultList)->count() >= 4; }, 5000));
  Click(kIdStop);
  const int stoppedAt = List(kIdResultList)->count();
  QTest::qWait(80);
  EXPECT_EQ(List(kIdResultList)->count(), stoppedAt);
}

TEST_F(MainDialogTest, TheProgramsPeriodIsTwoSeconds) {
  Open(TwoDevices(), std::nullopt);
  Click(kIdStart);
  EXPECT_TRUE(dialog->StepTimerState().IsArmed());
  EXPECT_EQ(dialog->StepTimerState().Period(), 2000ms);
}

TEST_F(MainDialogTest, EnterInAFieldClicksStart) {
  Open();
  Edit(kIdConnText)->setFocus();
  QTest::keyClick(Edit(kIdConnText), Qt::Key_Return);
  EXPECT_EQ(List(kIdResultList)->count(), 1);
  EXPECT_EQ(List(kIdConnList)->count(), 17) << "Enter does not update the rule list";
  List(kIdResultList)->setFocus();
  QTest::keyClick(List(kIdResultList), Qt::Key_Enter);
  EXPECT_EQ(List(kIdResultList)->count(), 1) << "restarted, not ticked";
  EXPECT_GT(log->Messages().size(), 10U);
}

TEST_F(MainDialogTest, EscapeEndsTheDialogAndTheDeviceIsSilencedAndClosed) {
  Open();
  Click(kIdStart);
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  dialog.reset();
  ASSERT_GE(log->events.size(), 2U);
  EXPECT_EQ(log->events[log->events.size() - 2],
            (RecordedEvent{RecordedKind::kSend, 0, kAllNotesOff}));
  EXPECT_EQ(log->events.back(), (RecordedEvent{RecordedKind::kClose, 0}));
}

TEST_F(MainDialogTest, TheCloseBoxAndTheMenusCloseItemEndTheDialog) {
  Open();
  EXPECT_TRUE(dialog->close());
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);

  Open();
  const auto items = dialog->SystemMenu().actions();
  const auto close = std::find_if(items.begin(), items.end(), [](const QAction* item) {
    return item->data().toUInt() == kCloseCommand;
  });
  ASSERT_NE(close, items.end());
  (*close)->trigger();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(MainDialogTest, ADeviceThatFailsWhilePlayingIsToldOnceAndThePlayGoesOn) {
  Open();
  Click(kIdStart);
  recorder->FailSendsAfter(3, "the JACK server has quit");
  for (int i = 0; i < 4; ++i) {
    dialog->Tick(0);
  }
  QTest::qWait(20);  // the notice waits for the tick's handler to return
  ASSERT_EQ(notifier.notices.size(), 1U);
  EXPECT_EQ(notifier.notices[0].text, QStringLiteral("ＭＩＤＩデータ出力先が使えなくなりました。"));
  EXPECT_TRUE(notifier.notices[0].detail.startsWith(QStringLiteral("the JACK server has quit\n")));
  EXPECT_EQ(notifier.notices[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(dialog->StepTimerState().IsArmed()) << "the progression goes on";
  EXPECT_EQ(List(kIdResultList)->count(), 5);
}

TEST_F(MainDialogTest, TheDeviceListSaysWhyKindsOfDevicesAreMissing) {
  auto backend = std::make_unique<midi::RecordingBackend>(TwoDevices(), log);
  backend->unavailable = {
      Error::Of(ErrorKind::kDevicesUnlisted, "JACK").Because(Error::Of(ErrorKind::kNoJackServer)),
      Error::Of(ErrorKind::kDevicesUnlisted, "ALSA")
          .Because(Error::Of(ErrorKind::kNoAlsaSequencer))};
  MainDialogOptions options;
  options.backend = std::move(backend);
  options.notifier = &notifier;
  MainDialog withReasons(std::move(options));
  EXPECT_EQ(withReasons.findChild<QListWidget*>(QStringLiteral("control%1").arg(kIdDeviceList))
                ->toolTip(),
            QStringLiteral("JACK の装置は一覧にありません。\nJACK サーバーが動いていません。\n"
                           "ALSA の装置は一覧にありません。\n"
                           "ALSA シーケンサーがありません（/dev/snd/seq がないか、使えません）。"));
}

}  // namespace
}  // namespace sonavela::ui::testing
