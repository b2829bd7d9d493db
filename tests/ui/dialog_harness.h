// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/recording_backend.h"
#include "ui/dialog_template.h"
#include "ui/main_dialog.h"
#include "ui/notifier.h"

namespace sonavela::ui::testing {

// Keeps the notices instead of showing boxes, and answers file questions
// from a list, so that no test waits on a box or a file dialog.
class RecordingNotifier final : public Notifier {
 public:
  void Show(QWidget* /*parent*/, const Notice& notice) override { notices.push_back(notice); }
  std::optional<QString> AskFileName(QWidget* /*parent*/, const FilePrompt& prompt) override {
    prompts.push_back(prompt);
    if (fileAnswers.empty()) {
      return std::nullopt;  // as if the user cancelled
    }
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer.isEmpty() ? std::nullopt : std::make_optional(answer);
  }

  bool Confirm(QWidget* /*parent*/, const Notice& question) override {
    questions.push_back(question);
    const bool yes = !confirmAnswers.empty() && confirmAnswers.front();
    if (!confirmAnswers.empty()) {
      confirmAnswers.pop_front();
    }
    return yes;
  }

  std::vector<Notice> notices;
  std::vector<Notice> questions;
  std::deque<bool> confirmAnswers;  // no, beyond the list
  std::vector<FilePrompt> prompts;
  // An empty answer cancels, as do questions beyond the list.
  std::deque<QString> fileAnswers;
};

// Runs `action` on the first widget for which `find` gives non-null, checking
// every few milliseconds; for modal boxes and menus that run their own loops.
template <typename Find, typename Action>
void WhenItAppears(Find find, Action action) {
  // Parented to the application: a deleteLater posted inside a nested loop may
  // never run, and the parent still frees it at exit.
  auto* poll = new QTimer(qApp);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, find, action] {
    if (auto* widget = find()) {
      poll->stop();
      poll->deleteLater();
      action(widget);
    }
  });
  poll->start();
}

inline std::vector<midi::RecordedDevice> TwoDevices() {
  return {{"Synth A"}, {"Port B"}};
}

// A dialog on recording MIDI devices whose timer, unless a test asks for a
// short period, never fires by itself: the tests deliver the ticks.
class DialogTest : public ::testing::Test {
 protected:
  void Open(std::vector<midi::RecordedDevice> devices = TwoDevices(),
            std::optional<std::chrono::milliseconds> period = std::chrono::hours(1),
            bool realBoxes = false) {
    auto backend = std::make_unique<midi::RecordingBackend>(std::move(devices), log);
    recorder = backend.get();
    MainDialogOptions options;
    options.backend = std::move(backend);
    options.tickPeriod = period;
    options.notifier = realBoxes ? nullptr : &notifier;
    options.makeClock = makeClock;
    options.translations = translations;
    options.rememberSettings = remember;
    dialog = std::make_unique<MainDialog>(std::move(options));
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  }

  template <typename Widget>
  Widget* Ctl(int id) const {
    auto* widget = dialog->findChild<Widget*>(QStringLiteral("control%1").arg(id));
    EXPECT_NE(widget, nullptr) << "control " << id;
    return widget;
  }
  QListWidget* List(int id) const { return Ctl<QListWidget>(id); }
  QLineEdit* Edit(int id) const { return Ctl<QLineEdit>(id); }

  QStringList Lines(int id) const {
    QStringList lines;
    const QListWidget* list = List(id);
    for (int i = 0; i < list->count(); ++i) {
      lines << list->item(i)->text();
    }
    return lines;
  }
  std::vector<std::string> StdLines(int id) const {
    std::vector<std::string> lines;
    for (const QString& line : Lines(id)) {
      lines.push_back(line.toStdString());
    }
    return lines;
  }

  void Click(int id) const { QTest::mouseClick(Ctl<QPushButton>(id), Qt::LeftButton); }

  void ClickLine(int listId, int row, Qt::KeyboardModifiers modifiers = {}) const {
    QListWidget* list = List(listId);
    QListWidgetItem* item = list->item(row);
    ASSERT_NE(item, nullptr) << "line " << row;
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualItemRect(item).center());
  }

  // Replaces the field's text the way a user does: select all, type.
  void Type(int editId, const QString& text) const {
    QLineEdit* edit = Edit(editId);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    for (const QChar c : text) {
      if (c.unicode() < 0x80) {
        QTest::keyClick(edit, c.toLatin1());
      } else {
        QTest::sendKeyEvent(QTest::Press, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
      }
    }
  }

  std::shared_ptr<midi::MidiLog> log = std::make_shared<midi::MidiLog>();
  midi::RecordingBackend* recorder = nullptr;
  RecordingNotifier notifier;
  // The masters the sync settings name; none unless a test gives them.
  std::function<timing::ClockChoice(const timing::SyncSettings&)> makeClock;
  // The languages the window menu switches between; none unless a test
  // gives them (TestTranslations()).
  Translations* translations = nullptr;
  bool remember = false;  // the saved sound and tempo settings
  std::unique_ptr<MainDialog> dialog;
};

// The translations the test program installed, as the program does.
Translations& TestTranslations();

}  // namespace sonavela::ui::testing
