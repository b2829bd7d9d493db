// Prints what recording a long progression into a MIDI file costs: bytes per
// chord, time per recorded chord, and how long encoding and saving take.
//   midi_file_recording [hours]

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "harmony/chord.h"
#include "midi/midi_file.h"
#include "midi/midi_file_tap.h"
#include "midi/midi_port.h"
#include "playback/file_save.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sonavela;
  const double hours = argc > 1 ? std::atof(argv[1]) : 1.0;
  const long chords = static_cast<long>(hours * 3600.0 / 2.0);
  const harmony::Chord cMajor{{'C', 0}, harmony::kMajorTriad};
  const harmony::Chord aMinor{{'A', 0}, harmony::kMinorTriad};

  auto recording = std::make_shared<midi::MidiFileRecording>();
  midi::MidiPort port(std::make_unique<midi::MidiFileTap>(nullptr, recording));
  const auto recordStart = Clock::now();
  port.ProgramChange(49);
  for (long i = 0; i < chords; ++i) {
    recording->SetTime(milliseconds{2000 * i});
    port.PlayChord(i % 2 == 0 ? cMajor : aMinor);
    recording->AddMarker(i % 2 == 0 ? "C   : C" : "C   : Am");
  }
  const double recordMs = MillisecondsSince(recordStart);
  const milliseconds end{2000 * chords};

  const auto encodeStart = Clock::now();
  const std::size_t size = recording->Encode(end).size();
  const double encodeMs = MillisecondsSince(encodeStart);

  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("sonavela_bench_" + std::to_string(getpid()) + ".mid");
  const auto saveStart = Clock::now();
  const std::string error = playback::SaveMidiFile(path, *recording, end);
  const double saveMs = MillisecondsSince(saveStart);
  std::filesystem::remove(path);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }

  std::printf("chords recorded          %ld (%.2f h at 2000 ms)\n", chords, hours);
  std::printf("file size                %zu bytes, %.1f bytes per chord\n", size,
              static_cast<double>(size) / static_cast<double>(chords));
  std::printf("recording per chord      %.3f us\n",
              recordMs * 1000.0 / static_cast<double>(chords));
  std::printf("encode                   %.3f ms\n", encodeMs);
  std::printf("save (write, fsync, rename) %.3f ms\n", saveMs);
  return 0;
}
