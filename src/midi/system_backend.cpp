#include "midi/system_backend.h"

#include <vector>

#include "midi/composite_backend.h"
#include "midi/rtmidi_backend.h"
#include "midi/synth_backend.h"
#include "midi/virtual_port_backend.h"

namespace sonavela::midi {

std::unique_ptr<MidiBackend> MakeSystemBackend(const SystemBackendOptions& options) {
  std::vector<std::unique_ptr<MidiBackend>> parts;
  if (options.includeBuiltInSynth) {
    SynthBackendOptions synth;
    synth.soundFont = options.soundFont;
    synth.audioDriver = options.audioDriver;
    synth.clientName = options.clientName;
    parts.push_back(std::make_unique<SynthBackend>(std::move(synth)));
  }
  const MidiHost host = ProbeMidiHost(options.alsaSequencer);
  parts.push_back(std::make_unique<RtMidiBackend>(options.clientName, host));
  if (options.includeVirtualPort) {
    parts.push_back(std::make_unique<VirtualPortBackend>(
        ChooseVirtualPortApi(host), options.clientName, options.virtualPortName));
  }
  return std::make_unique<CompositeBackend>(std::move(parts));
}

}  // namespace sonavela::midi
