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

PlaybackControl::PlaybackControl(generator::ProgressionGenerator& generator, midi::MidiPort& port)
    : generator_(generator), port_(port) {}

void PlaybackControl::Start(const StartInputs& inputs, Timestamp at) {
  port_.ProgramChange(inputs.instrument, at);
  lastReport_ =
      generator::LoadRules(generator_, inputs.connection, inputs.substitution, inputs.minor);
  generator_.SetHomeKey(inputs.HomeKey());
  generator_.Reset();
  port_.AllNotesOff(at);
  PlayNext(at);
  generator_.Advance();
}

void PlaybackControl::Tick(Timestamp at) {
  PlayNext(at);
  generator_.Advance();
}

void PlaybackControl::Stop(Timestamp at) {
  port_.AllNotesOff(at);
}

void PlaybackControl::PlayNext(Timestamp at) {
  const generator::ProgressionStep step = generator_.PopStep();
  lastStep_ = step;
  port_.PlayChord(step.chord, at);
  const std::string line = harmony::FormatStepLine(step.key, step.chord);
  if (listener_) {
    listener_(step, line);
  }
}

generator::StepExplanation PlaybackControl::ExplainLastStep() const {
  return generator::Explain(lastStep_, generator_.PoppedOrigin(), generator_.HomeKey());
}

}  // namespace sonavela::playback
