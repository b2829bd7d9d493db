// SPDX-License-Identifier: GPL-3.0-or-later
// Prints what recording a long progression into a MIDI file costs: bytes per
// chord, time per recorded chord, the memory a recording held in memory takes
// against one streamed into its file, and how long saving takes.
//   midi_file_recording [hours]

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "harmony/chord.h"
#include "midi/port/midi_port.h"
#include "playback/atomic_file.h"
#include "playback/chord_recorder.h"

namespace {

using namespace sonavela;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
         (1024.0 * 1024.0);
}

struct Figures {
  double recordMs = 0;
  double growthMiB = 0;
};

// A port that only records, as with --device none.
struct Recording {
  playback::ChordRecorder* recorder = nullptr;
  std::unique_ptr<midi::MidiPort> port;

  Recording() {
    auto tap = std::make_unique<playback::ChordRecorder>(nullptr);
    recorder = tap.get();
    port = std::make_unique<midi::MidiPort>(std::move(tap));
  }
};

// Plays `chords` chords, two seconds apart, into the recording.
Figures Record(Recording& recording, long chords, midi::ByteSink* stream) {
  playback::ChordRecorder* recorder = recording.recorder;
  midi::MidiPort* port = recording.port.get();
  const harmony::Chord cMajor{{'C', 0}, harmony::kMajorTriad};
  const harmony::Chord aMinor{{'A', 0}, harmony::kMinorTriad};
  recorder->Restart(timing::Meter::FromPeriod(milliseconds{2000}));
  if (stream != nullptr) {
    if (Status streaming = recorder->StreamTo(*stream); !streaming) {
      std::fprintf(stderr, "cannot stream: %s\n", EnglishText(streaming.error()).c_str());
      std::exit(1);
    }
  }
  const double before = ResidentMiB();
  const auto start = Clock::now();
  const midi::Timestamp t0{};
  port->ProgramChange(49, t0);
  for (long i = 0; i < chords; ++i) {
    const midi::Timestamp at = t0 + milliseconds{2000 * i};
    recorder->BeginChord(at);
    port->PlayChord(i % 2 == 0 ? cMajor : aMinor, at);
    recorder->AddMarker(i % 2 == 0 ? "C   : C" : "C   : Am");
    recorder->SetNextChordDue(at + milliseconds{2000});
    if (Status flushed = recorder->Flush(); !flushed) {
      std::fprintf(stderr, "cannot write: %s\n", EnglishText(flushed.error()).c_str());
      std::exit(1);
    }
  }
  return {MillisecondsSince(start), ResidentMiB() - before};
}

}  // namespace

int main(int argc, char** argv) {
  const double hours = argc > 1 ? std::atof(argv[1]) : 1.0;
  const long chords = static_cast<long>(hours * 3600.0 / 2.0);
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("sonavela_bench_" + std::to_string(getpid()) + ".mid");

  Recording inMemory;
  const Figures memory = Record(inMemory, chords, nullptr);
  const auto saveStart = Clock::now();
  const std::vector<std::uint8_t> bytes = inMemory.recorder->Encode(true);
  const Status saved = playback::WriteFileAtomically(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  const double saveMs = MillisecondsSince(saveStart);
  if (!saved) {
    std::fprintf(stderr, "%s\n", EnglishText(saved.error()).c_str());
    return 1;
  }

  Result<std::unique_ptr<playback::AtomicFile>> file = playback::AtomicFile::Create(path);
  if (!file) {
    std::fprintf(stderr, "%s\n", EnglishText(file.error()).c_str());
    return 1;
  }
  Recording toFile;
  const Figures streamed = Record(toFile, chords, file->get());
  Status written = toFile.recorder->Finish();
  if (written) {
    written = (*file)->Commit();
  }
  if (!written) {
    std::fprintf(stderr, "%s\n", EnglishText(written.error()).c_str());
    return 1;
  }
  const auto streamedSize = std::filesystem::file_size(path);
  std::filesystem::remove(path);

  std::printf("chords recorded            %ld (%.2f h at 2000 ms)\n", chords, hours);
  std::printf("file size                  %zu bytes, %.1f bytes per chord\n", bytes.size(),
              static_cast<double>(bytes.size()) / static_cast<double>(chords));
  std::printf("streamed file size         %ju bytes\n", static_cast<std::uintmax_t>(streamedSize));
  std::printf("recording per chord        %.3f us in memory, %.3f us streamed\n",
              memory.recordMs * 1000.0 / static_cast<double>(chords),
              streamed.recordMs * 1000.0 / static_cast<double>(chords));
  std::printf("resident memory growth     %.1f MiB in memory, %.1f MiB streamed\n",
              memory.growthMiB, streamed.growthMiB);
  std::printf("save (encode, write, fsync, rename) %.3f ms\n", saveMs);
  return 0;
}
