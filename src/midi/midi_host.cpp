#include "midi/midi_host.h"

#include <cstdlib>

#if defined(SONAVELA_HAVE_JACK)
#include <jack/jack.h>
#endif
#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace sonavela::midi {

bool JackServerRunning() {
#if defined(SONAVELA_HAVE_JACK)
  // Asking must never launch a sound server as a side effect.
  setenv("JACK_NO_START_SERVER", "1", 0);
  jack_set_error_function([](const char*) {});
  jack_set_info_function([](const char*) {});
  jack_status_t status{};
  jack_client_t* probe = jack_client_open("sonavela_probe", JackNoStartServer, &status);
  if (probe != nullptr) {
    jack_client_close(probe);
  }
  jack_set_error_function(nullptr);
  jack_set_info_function(nullptr);
  return probe != nullptr;
#else
  return false;
#endif
}

bool AlsaSequencerAccessible(const std::string& device) {
#if defined(__LINUX_ALSA__)
  return access(device.c_str(), R_OK | W_OK) == 0;
#else
  (void)device;
  return false;
#endif
}

MidiHost ProbeMidiHost(const std::string& alsaSequencer) {
  return {JackServerRunning(), AlsaSequencerAccessible(alsaSequencer)};
}

}  // namespace sonavela::midi
