// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

#include "playback/playback_control.h"
#include "playback/session_events.h"
#include "timing/chord_clock.h"

class QCheckBox;
class QLineEdit;
class QListWidget;

namespace sonavela::ui {

class RuleList;

// The result list box: each chord's line appended and selected, at most
// ResultListLimit of them, the oldest dropped; a start begins it afresh.
class ListWidgetResults {
 public:
  explicit ListWidgetResults(QListWidget& list) : list_(list) {}

  void Show(const playback::PlayedChord& chord);

 private:
  QListWidget& list_;
};

// The dialog's chord timer on its event loop: a single-shot precise timer
// aimed at the moment the session says the next chord is due. Being ordinary
// events, its timeouts also arrive while a message box or the About box runs
// its own loop.
class ChordTimer final : public QObject {
  Q_OBJECT

 public:
  explicit ChordTimer(std::chrono::nanoseconds period, QObject* parent = nullptr);

  void Aim(playback::Timestamp due);
  void Cancel();

  [[nodiscard]] bool IsArmed() const { return timer_.isActive(); }
  // The chord length of the session's clock.
  [[nodiscard]] std::chrono::milliseconds Period() const { return period_; }
  void SetPeriod(std::chrono::nanoseconds period) {
    period_ = std::chrono::duration_cast<std::chrono::milliseconds>(period);
  }

 signals:
  void Due();

 private:
  QTimer timer_;
  std::chrono::milliseconds period_;
};

// What a start reads from the dialog's controls.
class DialogInputs {
 public:
  // `homeKey` is the settings' key, which the check box overrides with A
  // minor when it is checked.
  DialogInputs(const QLineEdit& instrumentEdit, const QCheckBox& minorCheck,
               const harmony::Key& homeKey, const RuleList& connRules, const RuleList& substRules)
      : instrumentEdit_(instrumentEdit),
        minorCheck_(minorCheck),
        homeKey_(homeKey),
        connRules_(connRules),
        substRules_(substRules) {}

  [[nodiscard]] playback::StartInputs Read() const;
  [[nodiscard]] harmony::Key HomeKey() const;

 private:
  const QLineEdit& instrumentEdit_;
  const QCheckBox& minorCheck_;
  const harmony::Key& homeKey_;
  const RuleList& connRules_;
  const RuleList& substRules_;
};

}  // namespace sonavela::ui
