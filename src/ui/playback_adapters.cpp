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

PreciseStepTimer::PreciseStepTimer(QObject* parent) : QObject(parent) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &PreciseStepTimer::OnTimeout);
}

void PreciseStepTimer::Arm(unsigned id, std::chrono::milliseconds period) {
  id_ = id;
  armed_ = true;
  schedule_.Start(playback::TickSchedule::Clock::now(), period);
  AimAtNextDeadline();
}

void PreciseStepTimer::Disarm(unsigned id) {
  if (!armed_ || id != id_) {
    return;
  }
  armed_ = false;
  timer_.stop();
}

std::chrono::milliseconds PreciseStepTimer::Period() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(schedule_.Period());
}

void PreciseStepTimer::AimAtNextDeadline() {
  using namespace std::chrono;
  const auto remaining = schedule_.NextDeadline() - playback::TickSchedule::Clock::now();
  timer_.start(std::max(milliseconds{0}, ceil<milliseconds>(remaining)));
}

void PreciseStepTimer::OnTimeout() {
  if (!armed_) {
    return;
  }
  // The next tick is aimed before this one is handled, so a handler that
  // re-arms or disarms the timer has the last word.
  schedule_.TickHandled(playback::TickSchedule::Clock::now());
  AimAtNextDeadline();
  emit Timeout(id_);
}

std::string DialogInputs::InstrumentText() const {
  return instrumentEdit_.text().toStdString();
}

bool DialogInputs::MinorKey() const {
  return minorCheck_.isChecked();
}

std::vector<std::string> DialogInputs::ConnectionLines() const {
  return connRules_.Lines();
}

std::vector<std::string> DialogInputs::SubstitutionLines() const {
  return substRules_.Lines();
}

}  // namespace sonavela::ui
