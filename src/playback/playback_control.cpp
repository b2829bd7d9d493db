// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/playback_control.h"

#include <utility>

#include "generator/rules.h"
#include "harmony/names.h"

namespace sonavela::playback {

harmony::Key StartInputs::HomeKey() const {
  if (homeKey) {
    return *homeKey;
  }
  return minor ? harmony::Key{{'A', 0}, harmony::kMinor} : harmony::Key{{'C', 0}, harmony::kMajor};
}

StartInputs StartInputs::Defaults() {
  StartInputs inputs;
  inputs.connection.assign(generator::DefaultConnectionRules.begin(),
                           generator::DefaultConnectionRules.end());
  inputs.substitution.assign(generator::DefaultSubstitutionRules.begin(),
                             generator::DefaultSubstitutionRules.end());
  return inputs;
}

GeneratedChords::GeneratedChords(generator::ProgressionGenerator& generator,
                                 std::function<StartInputs()> inputs)
    : generator_(generator),
      inputs_(inputs ? std::move(inputs) : [] { return StartInputs::Defaults(); }) {}

Opening GeneratedChords::Begin() {
  const StartInputs inputs = inputs_();
  lastReport_ =
      generator::LoadRules(generator_, inputs.connection, inputs.substitution, inputs.minor);
  generator_.SetHomeKey(inputs.HomeKey());
  generator_.Reset();
  lastStep_ = generator_.PopStep();
  return {inputs.instrument, lastStep_};
}

std::optional<generator::ProgressionStep> GeneratedChords::Next() {
  lastStep_ = generator_.PopStep();
  return lastStep_;
}

generator::StepExplanation GeneratedChords::ExplainLastStep() const {
  return generator::Explain(lastStep_, generator_.PoppedOrigin(), generator_.HomeKey());
}

PlaybackControl::PlaybackControl(ChordSource& chords, midi::MidiPort& port)
    : chords_(chords), port_(port) {}

void PlaybackControl::Start(Timestamp at) {
  const Opening opening = chords_.Begin();
  port_.ProgramChange(opening.instrument, at);
  port_.AllNotesOff(at);
  Play(opening.step, at);
}

bool PlaybackControl::Tick(Timestamp at) {
  const std::optional<generator::ProgressionStep> step = chords_.Next();
  if (!step) {
    return false;
  }
  Play(*step, at);
  return true;
}

void PlaybackControl::Stop(Timestamp at) {
  port_.AllNotesOff(at);
}

void PlaybackControl::Play(const generator::ProgressionStep& step, Timestamp at) {
  port_.PlayChord(step.chord, at);
  if (listener_) {
    listener_(step, harmony::FormatStepLine(step.key, step.chord));
  }
  chords_.Played();
}

}  // namespace sonavela::playback
