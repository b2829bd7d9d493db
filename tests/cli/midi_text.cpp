// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi_text.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <sstream>

namespace sonavela::cli::testing {

MidiText ReadBack(const std::filesystem::path& file) {
  MidiText midi;
  const std::string command = std::string("'") + SONAVELA_PYTHON3 + "' '" + SONAVELA_MIDI_READER +
                              "' '" + file.string() + "' 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return midi;
  }
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
    midi.raw += buffer.data();
  }
  const int status = ::pclose(pipe);
  midi.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (midi.status != 0) {
    return midi;
  }
  std::istringstream lines(midi.raw);
  std::string line;
  std::string word;
  std::getline(lines, line);
  std::istringstream head(line);
  head >> word >> midi.format >> midi.ticksPerBeat >> midi.tracks >> midi.seconds;
  while (std::getline(lines, line)) {
    Event event;
    const std::size_t bar = line.find(" |");
    if (bar != std::string::npos) {
      event.text = line.substr(bar + 2);
      line.resize(bar);
    }
    std::istringstream fields(line);
    long delta = 0;
    fields >> event.tick >> delta >> event.type;
    int n = 0;
    while (fields >> n) {
      event.numbers.push_back(n);
    }
    midi.events.push_back(event);
  }
  return midi;
}

}  // namespace sonavela::cli::testing
