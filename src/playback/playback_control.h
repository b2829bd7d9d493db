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
#include "playback/chord_source.h"

namespace sonavela::playback {

using midi::Timestamp;

inline constexpr int ResultListLimit = 100;
inline constexpr unsigned kStepTimerId = 0;

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

// The progression as this program's generator plays it: each start reads the
// front end's inputs and loads their rules; the search for the next chord
// runs when the last one has sounded.
class GeneratedChords final : public ChordSource {
 public:
  GeneratedChords(generator::ProgressionGenerator& generator, std::function<StartInputs()> inputs);

  [[nodiscard]] Opening Begin() override;
  [[nodiscard]] std::optional<generator::ProgressionStep> Next() override;
  void Played() override { generator_.Advance(); }

  // What LoadRules reported at the last Begin (skipped and ignored lines), so
  // that the front end can tell the user.
  [[nodiscard]] const generator::LoadReport& LastLoadReport() const { return lastReport_; }
  // The step handed over last, and why it was planned.
  [[nodiscard]] generator::StepExplanation ExplainLastStep() const;

 private:
  generator::ProgressionGenerator& generator_;
  std::function<StartInputs()> inputs_;
  generator::LoadReport lastReport_{};
  generator::ProgressionStep lastStep_{};
};

// Start / tick / stop: the only place where the chords of a progression and
// the MIDI port meet. Each operation is told when its messages sound; each
// chord played is told to the listener.
class PlaybackControl {
 public:
  PlaybackControl(ChordSource& chords, midi::MidiPort& port);

  // Restarts from the tonic of the home key: the instrument, a silence, the
  // first chord at `at`.
  void Start(Timestamp at);
  // Plays the next chord at `at`; false, with nothing sent, when the source
  // has none ready yet.
  bool Tick(Timestamp at);
  // Silences the device at `at`; the progression stays where it is.
  void Stop(Timestamp at);

  // Replaces the listener; an empty function removes it.
  void SetStepListener(StepListener listener) { listener_ = std::move(listener); }

 private:
  void Play(const generator::ProgressionStep& step, Timestamp at);

  ChordSource& chords_;
  midi::MidiPort& port_;
  StepListener listener_;
};

}  // namespace sonavela::playback
