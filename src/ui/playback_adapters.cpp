// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/playback_adapters.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>

#include "ui/rule_list.h"

namespace sonavela::ui {

void ListWidgetResults::Clear() {
  list_.clear();
}

int ListWidgetResults::Count() const {
  return list_.count();
}

void ListWidgetResults::DeleteFirst() {
  delete list_.takeItem(0);
}

void ListWidgetResults::Append(const std::string& line) {
  list_.addItem(QString::fromStdString(line));
}

void ListWidgetResults::Select(int index) {
  list_.setCurrentRow(index);
  if (QListWidgetItem* item = list_.item(index)) {
    list_.scrollToItem(item);
  }
}

ChordTimer::ChordTimer(std::chrono::nanoseconds period, QObject* parent)
    : QObject(parent), period_(std::chrono::duration_cast<std::chrono::milliseconds>(period)) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &ChordTimer::Due);
}

void ChordTimer::Aim(playback::Timestamp due) {
  using namespace std::chrono;
  const auto remaining = due - midi::MidiClock::now();
  timer_.start(std::max(milliseconds{0}, ceil<milliseconds>(remaining)));
}

void ChordTimer::Cancel() {
  timer_.stop();
}

std::string DialogInputs::InstrumentText() const {
  return instrumentEdit_.text().toStdString();
}

bool DialogInputs::MinorKey() const {
  return minorCheck_.isChecked();
}

harmony::Key DialogInputs::HomeKey() const {
  const harmony::Key byTheBox = ControlInputs::HomeKey();
  if (MinorKey()) {
    return byTheBox;
  }
  // Unchecked, the box says C major where the settings say A minor.
  return homeKey_ == harmony::Key{{'A', 0}, harmony::kMinor} ? byTheBox : homeKey_;
}

std::vector<std::string> DialogInputs::ConnectionLines() const {
  return connRules_.RuleLines();
}

std::vector<std::string> DialogInputs::SubstitutionLines() const {
  return substRules_.RuleLines();
}

}  // namespace sonavela::ui
