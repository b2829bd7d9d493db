// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "generator/explanation.h"
#include "generator/generator.h"
#include "generator/load_rules.h"
#include "midi/port/midi_message.h"
#include "midi/port/midi_port.h"

namespace sonavela::playback {

using midi::Timestamp;

inline constexpr int ResultListLimit = 100;
inline constexpr unsigned kStepTimerId = 0;
inline constexpr int kInstrumentAtStart = 49;

// The list of result lines ("C   : Am"), oldest first.
class ResultList {
 public:
  virtual ~ResultList() = default;
  virtual void Clear() = 0;
  [[nodiscard]] virtual int Count() const = 0;
  virtual void DeleteFirst() = 0;
  virtual void Append(const std::string& line) = 0;
  // Selects the line and scrolls it into view.
  virtual void Select(int index) = 0;
};

// The timer that drives Tick. Arming an armed timer re-arms it: the next tick
// then comes one chord after the call. Ticks arrive one at a time on the
// thread that owns the control.
class StepTimer {
 public:
  virtual ~StepTimer() = default;
  virtual void Arm(unsigned id) = 0;
  virtual void Disarm(unsigned id) = 0;
};

// What Start reads from the front end: the instrument text, the home key
// and the two tables of rule lines.
class ControlInputs {
 public:
  virtual ~ControlInputs() = default;
  [[nodiscard]] virtual std::string InstrumentText() const = 0;
  [[nodiscard]] virtual bool MinorKey() const = 0;
  // The key the progression starts from and returns to: A minor or C major
  // by MinorKey, unless the front end offers any other.
  [[nodiscard]] virtual harmony::Key HomeKey() const;
  [[nodiscard]] virtual std::vector<std::string> ConnectionLines() const = 0;
  [[nodiscard]] virtual std::vector<std::string> SubstitutionLines() const = 0;
};

// Called for every step that is played, after its line was shown, with the
// line's text.
using StepListener =
    std::function<void(const generator::ProgressionStep& step, const std::string& line)>;

// Start / tick / stop: the only place where the generator, the MIDI port and
// the result list meet. Each operation is told when its messages sound.
class PlaybackControl {
 public:
  PlaybackControl(generator::ProgressionGenerator& generator, midi::MidiPort& port,
                  ResultList& results, StepTimer& timer, const ControlInputs& inputs);

  // Restarts from the tonic of the home key with freshly loaded rules and
  // (re-)arms the timer; the first chord sounds at `at`.
  void Start(Timestamp at);
  // Plays and shows the next step at `at`; ticks of any other timer id are
  // ignored.
  void Tick(unsigned timerId, Timestamp at);
  // Silences the device at `at` and disarms the timer; the list and the
  // generator stay as they are.
  void Stop(Timestamp at);

  void SendInstrument(Timestamp at);

  // Replaces the listener; an empty function removes it.
  void SetStepListener(StepListener listener) { listener_ = std::move(listener); }

  // What LoadRules reported at the last Start (skipped and ignored lines), so
  // that the front end can tell the user.
  [[nodiscard]] const generator::LoadReport& LastLoadReport() const { return lastReport_; }

  // The step played last, and why it was planned; valid from the moment its
  // line is shown.
  [[nodiscard]] generator::StepExplanation ExplainLastStep() const;

 private:
  void PlayNext(Timestamp at);
  void ShowLine(const std::string& line);

  generator::ProgressionGenerator& generator_;
  midi::MidiPort& port_;
  ResultList& results_;
  StepTimer& timer_;
  const ControlInputs& inputs_;
  StepListener listener_;
  generator::LoadReport lastReport_{};
  generator::ProgressionStep lastStep_{};
};

}  // namespace sonavela::playback
