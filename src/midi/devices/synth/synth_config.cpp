// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/synth/synth_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace sonavela::midi {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string ErrnoText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

// Empty when `path` is a file that can be read, else what it is instead, to
// follow "The SoundFont "<path>"".
std::string WhyNoFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      return "does not exist";
    }
    return "cannot be read: " + ErrnoText(error);
  }
  if (S_ISDIR(info.st_mode)) {
    return "is a folder, not a file";
  }
  if (!S_ISREG(info.st_mode)) {
    return "is not a regular file";
  }
  if (info.st_size == 0) {
    return "is empty";
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return "cannot be read: " + ErrnoText(errno);
  }
  (void)close(fd);
  return {};
}

}  // namespace

std::vector<std::string> DefaultSoundFontCandidates() {
  return {
      "/usr/share/sounds/sf2/default-GM.sf2",
      "/usr/share/sounds/sf3/default-GM.sf3",
      "/usr/share/sounds/sf2/FluidR3_GM.sf2",
      "/usr/share/sounds/sf2/TimGM6mb.sf2",
  };
}

SoundFontLookup FindSoundFont(const std::string& explicitPath) {
  std::string chosen = explicitPath;
  std::string origin = "the given SoundFont";
  if (chosen.empty()) {
    chosen = Environment("SONAVELA_SOUNDFONT");
    origin = "SONAVELA_SOUNDFONT";
  }
  if (!chosen.empty()) {
    const std::string why = WhyNoFile(chosen);
    if (why.empty()) {
      return {chosen, {}};
    }
    return {{}, "The SoundFont \"" + chosen + "\" (" + origin + ") " + why + "."};
  }
  for (const std::string& candidate : DefaultSoundFontCandidates()) {
    if (WhyNoFile(candidate).empty()) {
      return {candidate, {}};
    }
  }
  std::string error =
      "No General MIDI SoundFont found. Install one (for example the package "
      "timgm6mb-soundfont or fluid-soundfont-gm) or set SONAVELA_SOUNDFONT. Looked for:";
  for (const std::string& candidate : DefaultSoundFontCandidates()) {
    error += " " + candidate;
  }
  return {{}, error};
}

std::string NamedAudioDriver(const std::string& explicitDriver) {
  return explicitDriver.empty() ? Environment("SONAVELA_AUDIO_DRIVER") : explicitDriver;
}

std::string RefusedAudioDriver(const std::string& name, const std::vector<std::string>& offered) {
  if (name == "file") {
    return "The audio driver \"file\" writes fluidsynth.wav into the current folder instead of "
           "playing; to render into a WAV file, use sonavela-cli --wav.";
  }
  if (std::find(offered.begin(), offered.end(), name) != offered.end()) {
    return {};
  }
  std::string error = "This FluidSynth has no audio driver \"" + name + "\"";
  std::string names;
  for (const std::string& option : offered) {
    if (option != "file") {
      names += (names.empty() ? "" : ", ") + option;
    }
  }
  if (names.empty()) {
    return error + ", nor any other to play live.";
  }
  return error + ". Set SONAVELA_AUDIO_DRIVER to one of: " + names + ".";
}

std::vector<std::string> AudioDriverCandidates(const std::string& explicitDriver) {
  std::string named = NamedAudioDriver(explicitDriver);
  if (!named.empty()) {
    return {named};
  }
#if defined(_WIN32)
  return {"wasapi", "dsound"};
#elif defined(__APPLE__)
  return {"coreaudio"};
#else
  return {"pulseaudio", "alsa", "jack"};
#endif
}

}  // namespace sonavela::midi
