// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
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

// What a start takes from the front end, as values.
struct StartInputs {
  // The General MIDI instrument as the front end read it; the port decides
  // what a number outside 1-128 means.
  int instrument = kInstrumentAtStart;
  bool minor = false;
  // The key the progression starts from and returns to; unset, A minor or
  // C major by `minor`.
  std::optional<harmony::Key> homeKey;
  // The two tables of rule lines.
  std::vector<std::string> connection;
  std::vector<std::string> substitution;

  [[nodiscard]] harmony::Key HomeKey() const;
  // Instrument 49 in C major with the default tables.
  [[nodiscard]] static StartInputs Defaults();
};

// Called for every step that is played, with its result line ("C   : Am").
using StepListener =
    std::function<void(const generator::ProgressionStep& step, const std::string& line)>;

// Start / tick / stop: the only place where the generator and the MIDI port
// meet. Each operation is told when its messages sound; each chord played is
// told to the listener.
class PlaybackControl {
 public:
  PlaybackControl(generator::ProgressionGenerator& generator, midi::MidiPort& port);

  // Restarts from the tonic of the home key with the rules of `inputs`; the
  // first chord sounds at `at`.
  void Start(const StartInputs& inputs, Timestamp at);
  // Plays the next step at `at`.
  void Tick(Timestamp at);
  // Silences the device at `at`; the generator stays as it is.
  void Stop(Timestamp at);

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

  generator::ProgressionGenerator& generator_;
  midi::MidiPort& port_;
  StepListener listener_;
  generator::LoadReport lastReport_{};
  generator::ProgressionStep lastStep_{};
};

}  // namespace sonavela::playback
