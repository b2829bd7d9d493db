// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/playback_control.h"

#include <utility>

#include "generator/rules.h"
#include "harmony/names.h"

namespace sonavela::playback {

harmony::Key ControlInputs::HomeKey() const {
  return MinorKey() ? harmony::Key{{'A', 0}, harmony::kMinor}
                    : harmony::Key{{'C', 0}, harmony::kMajor};
}

PlaybackControl::PlaybackControl(generator::ProgressionGenerator& generator, midi::MidiPort& port,
                                 ResultList& results, StepTimer& timer, const ControlInputs& inputs)
    : generator_(generator), port_(port), results_(results), timer_(timer), inputs_(inputs) {}

void PlaybackControl::SendInstrument(Timestamp at) {
  // The field is read the way the C runtime reads a number: "  49" is 49 and
  // text without digits is 0; the port decides what an odd number means.
  port_.ProgramChange(generator::ParseLeadingInt(inputs_.InstrumentText()), at);
}

void PlaybackControl::Start(Timestamp at) {
  SendInstrument(at);
  const std::vector<std::string> connection = inputs_.ConnectionLines();
  const std::vector<std::string> substitution = inputs_.SubstitutionLines();
  lastReport_ = generator::LoadRules(generator_, connection, substitution, inputs_.MinorKey());
  generator_.SetHomeKey(inputs_.HomeKey());
  results_.Clear();
  generator_.Reset();
  port_.AllNotesOff(at);
  PlayNext(at);
  // Armed before the search so that a slow Advance delays nothing but itself.
  timer_.Arm(kStepTimerId);
  generator_.Advance();
}

void PlaybackControl::Tick(unsigned timerId, Timestamp at) {
  if (timerId != kStepTimerId) {
    return;
  }
  PlayNext(at);
  generator_.Advance();
}

void PlaybackControl::Stop(Timestamp at) {
  port_.AllNotesOff(at);
  timer_.Disarm(kStepTimerId);
}

void PlaybackControl::ShowLine(const std::string& line) {
  if (results_.Count() >= ResultListLimit) {
    results_.DeleteFirst();
  }
  results_.Append(line);
  results_.Select(results_.Count() - 1);
}

void PlaybackControl::PlayNext(Timestamp at) {
  const generator::ProgressionStep step = generator_.PopStep();
  lastStep_ = step;
  port_.PlayChord(step.chord, at);
  const std::string line = harmony::FormatStepLine(step.key, step.chord);
  ShowLine(line);
  if (listener_) {
    listener_(step, line);
  }
}

generator::StepExplanation PlaybackControl::ExplainLastStep() const {
  return generator::Explain(lastStep_, generator_.PoppedOrigin(), generator_.HomeKey());
}

}  // namespace sonavela::playback
