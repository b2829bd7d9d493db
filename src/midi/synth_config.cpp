#include "midi/synth_config.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace sonavela::midi {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool IsReadableFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
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
    if (IsReadableFile(chosen)) {
      return {chosen, {}};
    }
    return {{}, "The SoundFont \"" + chosen + "\" (" + origin + ") does not exist."};
  }
  for (const std::string& candidate : DefaultSoundFontCandidates()) {
    if (IsReadableFile(candidate)) {
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

std::vector<std::string> AudioDriverCandidates(const std::string& explicitDriver) {
  if (!explicitDriver.empty()) {
    return {explicitDriver};
  }
  std::string fromEnvironment = Environment("SONAVELA_AUDIO_DRIVER");
  if (!fromEnvironment.empty()) {
    return {fromEnvironment};
  }
#if defined(_WIN32)
  return {"wasapi", "dsound", "sdl2"};
#elif defined(__APPLE__)
  return {"coreaudio", "sdl2"};
#else
  return {"pulseaudio", "alsa", "jack", "sdl2"};
#endif
}

}  // namespace sonavela::midi
