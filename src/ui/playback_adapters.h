#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

#include "playback/playback_control.h"
#include "playback/tick_schedule.h"

class QCheckBox;
class QLineEdit;
class QListWidget;

namespace sonavela::ui {

class RuleList;

// The result list box as the playback control sees it.
class ListWidgetResults final : public playback::ResultList {
 public:
  explicit ListWidgetResults(QListWidget& list) : list_(list) {}

  void Clear() override;
  [[nodiscard]] int Count() const override;
  void DeleteFirst() override;
  void Append(const std::string& line) override;
  void Select(int index) override;

 private:
  QListWidget& list_;
};

// The step timer on the dialog's event loop. Each tick is a single-shot
// precise timer aimed at the next deadline of a fixed grid, so ticks keep
// their period over a long run, and, being ordinary events, they also arrive
// while a message box or the About box runs its own loop.
class PreciseStepTimer final : public QObject, public playback::StepTimer {
  Q_OBJECT

 public:
  explicit PreciseStepTimer(QObject* parent = nullptr);

  void Arm(unsigned id, std::chrono::milliseconds period) override;
  void Disarm(unsigned id) override;

  [[nodiscard]] bool IsArmed() const { return armed_; }
  [[nodiscard]] std::chrono::milliseconds Period() const;

 signals:
  void Timeout(unsigned id);

 private:
  void OnTimeout();
  void AimAtNextDeadline();

  QTimer timer_;
  playback::TickSchedule schedule_;
  unsigned id_ = 0;
  bool armed_ = false;
};

// What Start reads from the dialog's controls.
class DialogInputs final : public playback::ControlInputs {
 public:
  DialogInputs(const QLineEdit& instrumentEdit, const QCheckBox& minorCheck,
               const RuleList& connRules, const RuleList& substRules)
      : instrumentEdit_(instrumentEdit),
        minorCheck_(minorCheck),
        connRules_(connRules),
        substRules_(substRules) {}

  [[nodiscard]] std::string InstrumentText() const override;
  [[nodiscard]] bool MinorKey() const override;
  [[nodiscard]] std::vector<std::string> ConnectionLines() const override;
  [[nodiscard]] std::vector<std::string> SubstitutionLines() const override;

 private:
  const QLineEdit& instrumentEdit_;
  const QCheckBox& minorCheck_;
  const RuleList& connRules_;
  const RuleList& substRules_;
};

}  // namespace sonavela::ui
