// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog following the JACK transport of a private server, with
// jack_transport (from jackd2) as the master a user drives from its prompt:
// once 開始 is pressed, the master's start and stop start and stop the
// progression.
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include <QLabel>

#include "dialog_harness.h"
#include "jack_harness.h"
#include "midi/devices/system_backend.h"
#include "timing/clock_factory.h"

namespace sonavela::ui::testing {
namespace {

using namespace std::chrono_literals;

class SyncJackTest : public DialogTest {
 protected:
  void SetUp() override {
    server_ = "sonavela_ui_sync_" + std::to_string(::getpid());
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", server_.c_str(), 1);
    ASSERT_TRUE(jack_.Start(server_, 15s, 256, 48000, true)) << jack_.Error();
    makeClock = [](const timing::SyncSettings& settings) {
      return timing::MakeClock(settings, settings.GridMeter());
    };
  }

  // The dialog's JACK clients close while their server is there, before the
  // fixture stops it: libjack in this process is shared with the server's
  // own checks.
  void TearDown() override { dialog.reset(); }

  // Runs the dialog's event loop until the result list has `lines` lines,
  // or `timeout` passed; the lines it has then.
  QStringList WaitForLines(int lines, std::chrono::milliseconds timeout) const {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (List(kIdResultList)->count() < lines && std::chrono::steady_clock::now() < until) {
      QTest::qWait(20);
    }
    return Lines(kIdResultList);
  }

  [[nodiscard]] std::size_t NoteOns() const {
    std::size_t count = 0;
    for (const midi::MidiMessage& m : log->Messages()) {
      count += m.IsNoteOn() ? 1 : 0;
    }
    return count;
  }

  std::string server_;
  midi::testing::JackTestServer jack_;
};

TEST_F(SyncJackTest, TheTransportStartsStopsAndRestartsTheProgression) {
  midi::testing::JackTool master("jack_transport -s " + server_, true);
  ASSERT_TRUE(master.Running());
  EXPECT_TRUE(master.Say("master"));
  EXPECT_TRUE(master.Say("tempo 240"));  // a chord of four beats a second
  EXPECT_TRUE(master.Say("locate 0"));
  Open();
  ClickLine(kIdDeviceList, 0);
  timing::SyncSettings jack;
  jack.source = timing::SyncSource::kJack;
  dialog->SetSyncSettings(jack);
  Click(kIdStart);
  ASSERT_TRUE(notifier.notices.empty()) << notifier.notices[0].detail.toStdString();
  QTest::qWait(600);
  EXPECT_EQ(List(kIdResultList)->count(), 0) << "nothing before the transport rolls";
  EXPECT_EQ(NoteOns(), 0U);

  EXPECT_TRUE(master.Say("play"));
  const QStringList rolled = WaitForLines(3, 5s);
  ASSERT_GE(rolled.size(), 3);
  EXPECT_EQ(rolled.front(), QStringLiteral("C   : C")) << "a roll from frame 0 is a fresh start";

  EXPECT_TRUE(master.Say("stop"));
  QTest::qWait(400);
  const QStringList stopped = Lines(kIdResultList);
  const int whenStopped = stopped.size();
  const std::size_t messages = log->Messages().size();
  QTest::qWait(1500);
  EXPECT_EQ(List(kIdResultList)->count(), whenStopped) << "no chord while stopped";
  ASSERT_EQ(log->Messages().size(), messages);
  EXPECT_TRUE(log->Messages().back().IsAllNotesOff()) << "the stop silenced the chord";

  EXPECT_TRUE(master.Say("play"));  // on from where it stopped
  const QStringList resumed = WaitForLines(whenStopped + 2, 5s);
  ASSERT_GE(resumed.size(), whenStopped + 2);
  EXPECT_EQ(resumed.mid(0, whenStopped), stopped) << "the progression goes on";

  EXPECT_TRUE(master.Say("stop"));
  EXPECT_TRUE(master.Say("locate 0"));
  QTest::qWait(400);
  EXPECT_TRUE(master.Say("play"));  // from the top: a fresh start
  QTest::qWait(300);
  const QStringList again = WaitForLines(1, 5s);
  ASSERT_FALSE(again.empty());
  EXPECT_LT(again.size(), resumed.size()) << "the list starts over";
  EXPECT_EQ(again.front(), QStringLiteral("C   : C"));

  Click(kIdStop);
  const std::size_t afterStop = NoteOns();
  EXPECT_TRUE(master.Say("stop"));
  EXPECT_TRUE(master.Say("play"));
  QTest::qWait(1500);
  EXPECT_EQ(NoteOns(), afterStop) << "after 停止 the master starts nothing";
  EXPECT_TRUE(master.Say("quit"));
}

// A server that quits is told on the status line, not by a box of its own,
// and once it is back under the same name the progression follows it again
// without the user doing anything.
TEST_F(SyncJackTest, ThePlayerWaitsForAServerThatQuitAndFollowsItWhenItIsBack) {
  const auto master = [this] {
    auto tool = std::make_unique<midi::testing::JackTool>("jack_transport -s " + server_, true);
    EXPECT_TRUE(tool->Say("master"));
    EXPECT_TRUE(tool->Say("tempo 240"));
    EXPECT_TRUE(tool->Say("locate 0"));
    return tool;
  };
  const auto status = [this] { return dialog->StatusLine().text(); };
  std::unique_ptr<midi::testing::JackTool> first = master();
  Open();
  ClickLine(kIdDeviceList, 0);
  timing::SyncSettings jack;
  jack.source = timing::SyncSource::kJack;
  dialog->SetSyncSettings(jack);
  EXPECT_EQ(status(), QStringLiteral("停止しています。"));
  Click(kIdStart);
  QTest::qWait(300);
  EXPECT_EQ(status(), QStringLiteral("マスターが始めるのを待っています。"))
      << "開始 says what it waits for";
  EXPECT_TRUE(first->Say("play"));
  ASSERT_GE(WaitForLines(2, 5s).size(), 2);
  EXPECT_EQ(status(), QStringLiteral("演奏しています。"));

  jack_.Kill();
  first.reset();
  const auto until = std::chrono::steady_clock::now() + 3s;
  while (!status().startsWith(QStringLiteral("マスターがいなくなりました。")) &&
         std::chrono::steady_clock::now() < until) {
    QTest::qWait(20);
  }
  EXPECT_TRUE(status().startsWith(QStringLiteral("マスターがいなくなりました。")))
      << status().toStdString();
  EXPECT_TRUE(notifier.notices.empty());

  ASSERT_TRUE(jack_.Start(server_, 15s, 256, 48000, true)) << jack_.Error();
  std::unique_ptr<midi::testing::JackTool> second = master();
  EXPECT_TRUE(second->Say("play"));
  List(kIdResultList)->clear();
  EXPECT_GE(WaitForLines(2, 6s).size(), 2) << "followed again within a few seconds";
  EXPECT_EQ(status(), QStringLiteral("演奏しています。"));
  Click(kIdStop);
  EXPECT_EQ(status(), QStringLiteral("停止しています。"));
  EXPECT_TRUE(second->Say("quit"));
}

// Playing to a JACK output whose server quits: one box in the dialog's
// language, the status line says nothing is heard, and once the server is
// back with the same input on it the progression is heard there again.
TEST_F(SyncJackTest, AJackOutputWhoseServerQuitsIsToldOnceAndHeardAgainWhenBack) {
  const std::string daw = "sonavela_ui_daw_" + std::to_string(::getpid());
  auto sink = std::make_unique<midi::testing::JackMidiSink>();
  ASSERT_TRUE(sink->Open(server_, daw)) << sink->Error();
  midi::SystemBackendOptions devices;
  devices.includeBuiltInSynth = false;
  devices.includeVirtualPort = false;
  devices.alsaSequencer = "/nonexistent/sonavela-seq";
  MainDialogOptions options;
  options.backend = midi::MakeSystemBackend(devices);
  options.tickPeriod = std::chrono::milliseconds(200);
  options.notifier = &notifier;
  options.translations = translations;
  dialog = std::make_unique<MainDialog>(std::move(options));
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  const QStringList outputs = Lines(kIdDeviceList);
  const auto row = outputs.indexOf(QString::fromStdString(sink->PortName()));
  ASSERT_GE(row, 0) << outputs.join(QLatin1Char(' ')).toStdString();
  ClickLine(kIdDeviceList, static_cast<int>(row));
  Click(kIdStart);
  ASSERT_GE(WaitForLines(2, 3s).size(), 2);
  EXPECT_FALSE(sink->WaitForBytes(1, 1s).empty());

  jack_.Kill();
  sink.reset();
  const auto status = [this] { return dialog->StatusLine().text(); };
  const auto until = std::chrono::steady_clock::now() + 3s;
  while (notifier.notices.empty() && std::chrono::steady_clock::now() < until) {
    QTest::qWait(20);
  }
  ASSERT_EQ(notifier.notices.size(), 1U);
  EXPECT_EQ(notifier.notices[0].text, QStringLiteral("ＭＩＤＩデータ出力先が使えなくなりました。"));
  EXPECT_TRUE(status().startsWith(QStringLiteral("演奏は続いていますが")))
      << status().toStdString();

  ASSERT_TRUE(jack_.Start(server_, 15s, 256, 48000, true)) << jack_.Error();
  sink = std::make_unique<midi::testing::JackMidiSink>();
  ASSERT_TRUE(sink->Open(server_, daw)) << sink->Error();
  const auto heard = std::chrono::steady_clock::now() + 8s;
  while (!status().startsWith(QStringLiteral("演奏しています。")) &&
         std::chrono::steady_clock::now() < heard) {
    QTest::qWait(20);
  }
  EXPECT_TRUE(status().startsWith(QStringLiteral("演奏しています。"))) << status().toStdString();
  EXPECT_FALSE(sink->WaitForBytes(1, 2s).empty()) << "heard again";
  EXPECT_EQ(notifier.notices.size(), 1U) << "told once";
  Click(kIdStop);
}

}  // namespace
}  // namespace sonavela::ui::testing
