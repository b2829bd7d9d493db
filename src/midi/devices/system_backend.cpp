// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/system_backend.h"

#include <vector>

#include "midi/devices/alsa-rtmidi/rtmidi_backend.h"
#include "midi/devices/alsa-rtmidi/virtual_port_backend.h"
#include "midi/devices/synth/synth_backend.h"
#include "midi/port/composite_backend.h"
#if defined(SONAVELA_HAVE_JACK)
#include "midi/devices/jack/jack_backend.h"
#include "midi/devices/jack/jack_session.h"
#endif

namespace sonavela::midi {

std::unique_ptr<MidiBackend> MakeSystemBackend(const SystemBackendOptions& options) {
  std::vector<std::unique_ptr<MidiBackend>> parts;
  if (options.includeBuiltInSynth) {
    SynthBackendOptions synth;
    synth.soundFont = options.soundFont;
    synth.sound = options.sound;
    synth.choice = options.synthChoice;
    synth.audioDriver = options.audioDriver;
    synth.clientName = options.clientName;
    parts.push_back(std::make_unique<SynthBackend>(std::move(synth)));
  }

  std::vector<std::unique_ptr<MidiBackend>> ports;
  MidiHost host;
  host.alsaSequencer = AlsaSequencerAccessible(options.alsaSequencer);
#if defined(SONAVELA_HAVE_JACK)
  // One JACK client lists the ports and opens the one chosen, or the virtual
  // port: no session of its own just to see whether a server runs.
  auto jack = std::make_shared<JackSession>(options.clientName);
  ports.push_back(std::make_unique<JackPortsBackend>(jack));
  host.jackServer = jack->Connected();
#endif
  ports.push_back(std::make_unique<RtMidiBackend>(options.clientName, host));
  const std::optional<VirtualPortApi> virtualPort =
      options.includeVirtualPort ? ChooseVirtualPortApi(host) : std::nullopt;
#if defined(SONAVELA_HAVE_JACK)
  if (virtualPort == VirtualPortApi::kJack) {
    ports.push_back(std::make_unique<JackVirtualPortBackend>(jack, options.virtualPortName));
  }
#endif
  if (virtualPort == VirtualPortApi::kAlsa) {
    ports.push_back(
        std::make_unique<AlsaVirtualPortBackend>(options.clientName, options.virtualPortName));
  }

#if defined(SONAVELA_HAVE_JACK)
  parts.push_back(std::make_unique<JackFamilyBackend>(
      std::make_unique<CompositeBackend>(std::move(ports)), std::move(jack)));
#else
  for (std::unique_ptr<MidiBackend>& part : ports) {
    parts.push_back(std::move(part));
  }
#endif
  return std::make_unique<CompositeBackend>(std::move(parts));
}

}  // namespace sonavela::midi
