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

Error Unreadable(const std::string& path, const std::string& origin, int error) {
  return Error::Of(ErrorKind::kSoundFontUnreadable, path, origin)
      .Because(Error::Of(ErrorKind::kSystem, {}, ErrnoText(error)));
}

// Fails when `path` is no file that can be read, saying what it is instead;
// `origin` says where it was named.
Status CheckFile(const std::string& path, const std::string& origin) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      return Error::Of(ErrorKind::kSoundFontMissing, path, origin);
    }
    return Unreadable(path, origin, error);
  }
  if (S_ISDIR(info.st_mode)) {
    return Error::Of(ErrorKind::kSoundFontIsFolder, path, origin);
  }
  if (!S_ISREG(info.st_mode)) {
    return Error::Of(ErrorKind::kSoundFontNotAFile, path, origin);
  }
  if (info.st_size == 0) {
    return Error::Of(ErrorKind::kSoundFontEmpty, path, origin);
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return Unreadable(path, origin, errno);
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

Result<std::string> FindSoundFont(const std::string& explicitPath) {
  std::string chosen = explicitPath;
  std::string origin = "the given SoundFont";
  if (chosen.empty()) {
    chosen = Environment("SONAVELA_SOUNDFONT");
    origin = "SONAVELA_SOUNDFONT";
  }
  if (!chosen.empty()) {
    Status usable = CheckFile(chosen, origin);
    if (!usable) {
      return usable.error();
    }
    return chosen;
  }
  for (const std::string& candidate : DefaultSoundFontCandidates()) {
    if (CheckFile(candidate, {})) {
      return candidate;
    }
  }
  std::string lookedFor;
  for (const std::string& candidate : DefaultSoundFontCandidates()) {
    lookedFor += " " + candidate;
  }
  return Error::Of(ErrorKind::kNoSoundFont, {}, lookedFor);
}

std::string NamedAudioDriver(const std::string& explicitDriver) {
  return explicitDriver.empty() ? Environment("SONAVELA_AUDIO_DRIVER") : explicitDriver;
}

Status AcceptAudioDriver(const std::string& name, const std::vector<std::string>& offered) {
  if (name == "file") {
    return Error::Of(ErrorKind::kAudioDriverIsFile);
  }
  if (std::find(offered.begin(), offered.end(), name) != offered.end()) {
    return {};
  }
  std::string names;
  for (const std::string& option : offered) {
    if (option != "file") {
      names += (names.empty() ? "" : ", ") + option;
    }
  }
  return Error::Of(ErrorKind::kNoSuchAudioDriver, name, names);
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
