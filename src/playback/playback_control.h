#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "generator/generator.h"
#include "generator/load_rules.h"
#include "midi/midi_port.h"

namespace sonavela::playback {

inline constexpr int ResultListLimit = 100;
inline constexpr unsigned kStepTimerId = 0;
inline constexpr std::chrono::milliseconds kStepPeriod{2000};

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
// then comes one period after the call. Ticks arrive one at a time on the
// thread that owns the control.
class StepTimer {
 public:
  virtual ~StepTimer() = default;
  virtual void Arm(unsigned id, std::chrono::milliseconds period) = 0;
  virtual void Disarm(unsigned id) = 0;
};

// What Start reads from the front end: the instrument text, the minor-key
// flag and the two lists of rule lines, each ending with its empty last line.
class ControlInputs {
 public:
  virtual ~ControlInputs() = default;
  [[nodiscard]] virtual std::string InstrumentText() const = 0;
  [[nodiscard]] virtual bool MinorKey() const = 0;
  [[nodiscard]] virtual std::vector<std::string> ConnectionLines() const = 0;
  [[nodiscard]] virtual std::vector<std::string> SubstitutionLines() const = 0;
};

// Called for every step that is played, after its line was shown, with the
// line's text. A MIDI-file recorder, for one, needs every step and the moment
// it sounded.
using StepListener =
    std::function<void(const generator::ProgressionStep& step, const std::string& line)>;

// Start / tick / stop: the only place where the generator, the MIDI port and
// the result list meet. The dialog and the command line both drive it.
class PlaybackControl {
 public:
  PlaybackControl(generator::ProgressionGenerator& generator, midi::MidiPort& port,
                  ResultList& results, StepTimer& timer, const ControlInputs& inputs);

  // Restarts from the tonic of the home key with freshly loaded rules and
  // (re-)arms the timer.
  void Start();
  // Plays and shows the next step; ticks of any other timer id are ignored.
  void Tick(unsigned timerId);
  // Silences the device and disarms the timer; the list and the generator
  // stay as they are.
  void Stop();

  void SendInstrument();
  void ShowStep(const generator::ProgressionStep& step);

  // The period with which Start arms the timer; takes effect at the next
  // Start. Zero asks for ticks as fast as the front end can deliver them.
  void SetPeriod(std::chrono::milliseconds period) { period_ = period; }
  [[nodiscard]] std::chrono::milliseconds Period() const { return period_; }

  // Replaces the listener; an empty function removes it.
  void SetStepListener(StepListener listener) { listener_ = std::move(listener); }

  // What LoadRules reported at the last Start (skipped and ignored lines), so
  // that the front end can tell the user.
  [[nodiscard]] const generator::LoadReport& LastLoadReport() const { return lastReport_; }

 private:
  void PlayNext();
  void ShowLine(const std::string& line);

  generator::ProgressionGenerator& generator_;
  midi::MidiPort& port_;
  ResultList& results_;
  StepTimer& timer_;
  const ControlInputs& inputs_;
  std::chrono::milliseconds period_ = kStepPeriod;
  StepListener listener_;
  generator::LoadReport lastReport_{};
};

}  // namespace sonavela::playback
