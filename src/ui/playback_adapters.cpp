// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/playback_adapters.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>

#include "generator/rules.h"
#include "ui/rule_list.h"

namespace sonavela::ui {

void ListWidgetResults::Show(const playback::PlayedChord& chord) {
  if (chord.first) {
    list_.clear();
  }
  if (list_.count() >= playback::ResultListLimit) {
    delete list_.takeItem(0);
  }
  list_.addItem(QString::fromStdString(chord.line));
  const int last = list_.count() - 1;
  list_.setCurrentRow(last);
  if (QListWidgetItem* item = list_.item(last)) {
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

playback::StartInputs DialogInputs::Read() const {
  playback::StartInputs inputs;
  // The field is read the way the C runtime reads a number: "  49" is 49 and
  // text without digits is 0; the port decides what an odd number means.
  inputs.instrument = generator::ParseLeadingInt(instrumentEdit_.text().toStdString());
  inputs.minor = minorCheck_.isChecked();
  inputs.homeKey = HomeKey();
  inputs.connection = connRules_.RuleLines();
  inputs.substitution = substRules_.RuleLines();
  return inputs;
}

harmony::Key DialogInputs::HomeKey() const {
  playback::StartInputs byTheBox;
  byTheBox.minor = minorCheck_.isChecked();
  if (byTheBox.minor) {
    return byTheBox.HomeKey();
  }
  // Unchecked, the box says C major where the settings say A minor.
  return homeKey_ == harmony::Key{{'A', 0}, harmony::kMinor} ? byTheBox.HomeKey() : homeKey_;
}

}  // namespace sonavela::ui
