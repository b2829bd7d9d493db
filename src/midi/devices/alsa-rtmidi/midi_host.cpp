// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/alsa-rtmidi/midi_host.h"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace sonavela::midi {

bool AlsaSequencerAccessible(const std::string& device) {
#if defined(__LINUX_ALSA__)
  return access(device.c_str(), R_OK | W_OK) == 0;
#else
  (void)device;
  return false;
#endif
}

}  // namespace sonavela::midi
