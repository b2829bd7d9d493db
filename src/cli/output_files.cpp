// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/output_files.h"

#include <chrono>

#include "generator/printable.h"
#include "midi/files/synth_renderer.h"

namespace sonavela::cli {
namespace {

bool MakeOutputFile(const char* option, const std::optional<std::string>& path, FdWriter& err,
                    std::unique_ptr<playback::AtomicFile>& file) {
  if (!path) {
    return true;
  }
  Result<std::unique_ptr<playback::AtomicFile>> made = playback::AtomicFile::Create(*path);
  if (!made) {
    Complain(err, std::string(option) + ": cannot write " + Quoted(*path) + ": " +
                      EnglishText(made.error()));
    return false;
  }
  file = std::move(made).value();
  return true;
}

}  // namespace

void Complain(FdWriter& err, const std::string& message) {
  // Bytes of the user's files and paths must not drive the terminal; and
  // nothing sensible is left to do when even standard error is gone.
  (void)err.Write(std::string(kProgramName) + ": " + generator::Printable(message) + "\n");
}

std::string Quoted(const std::string& path) {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about
  // "'" + std::string at -O3.
  std::string quoted(1, '\'');
  quoted += path;
  quoted += '\'';
  return quoted;
}

std::string RenderName(const Options& options) {
  return options.wavFile == kStandardOutput ? std::string("standard output")
                                            : Quoted(options.wavFile.value_or(""));
}

bool MakeOutputFiles(const Options& options, FdWriter& out, FdWriter& err, OutputFiles& files) {
  if (options.wavFile == kStandardOutput) {
    files.wavPipe = std::make_unique<PipeSink>(out);
  } else if (!MakeOutputFile("--wav", options.wavFile, err, files.wav)) {
    return false;
  }
  if (!MakeOutputFile("--midi", options.midiFile, err, files.midi)) {
    return false;
  }
  if (files.wav && files.midi &&
      (files.wav->Target() == files.midi->Target() ||
       playback::SameFile(files.wav->Target(), files.midi->Target()))) {
    Complain(err, "--wav and --midi name the same file");
    return false;
  }
  return true;
}

midi::AudioFormat RenderFormat(const Options& options, const OutputFiles& files, FdWriter& err) {
  if (files.wavPipe) {
    return midi::AudioFormat::kWavStream;
  }
  const midi::AudioFormat named =
      midi::AudioFormatOfName(options.wavFile.value_or("")).value_or(midi::AudioFormat::kWav);
  const double seconds = std::chrono::duration<double>(options.Meter().Chord()).count() *
                             static_cast<double>(options.steps.value_or(0)) +
                         static_cast<double>(midi::kLongestTail.count());
  constexpr double kBytesPerSecond = 44100.0 * 2 * 2;
  if (named == midi::AudioFormat::kWav &&
      seconds * kBytesPerSecond > static_cast<double>(midi::kLargestWavData)) {
    Complain(err, "note: " + RenderName(options) +
                      " would outgrow a WAV file (4 GiB): it is written as RF64");
    return midi::AudioFormat::kRf64;
  }
  return named;
}

}  // namespace sonavela::cli
