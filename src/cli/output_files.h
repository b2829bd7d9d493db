// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The files a run writes (--wav, --midi) and how the command line complains.

#include <memory>
#include <string>

#include "cli/parsed_options.h"
#include "cli/render_output.h"
#include "cli/terminal.h"
#include "midi/files/audio_writer.h"
#include "playback/atomic_file.h"

namespace sonavela::cli {

// "sonavela-cli: MESSAGE" on standard error, its bytes made printable.
void Complain(FdWriter& err, const std::string& message);

[[nodiscard]] std::string Quoted(const std::string& path);
// The render's target as a sentence names it.
[[nodiscard]] std::string RenderName(const Options& options);

// The files a run writes, made before anything plays so that a path that
// cannot be written is refused at once; each replaces its target only when
// it is complete.
struct OutputFiles {
  std::unique_ptr<playback::AtomicFile> wav;
  std::unique_ptr<PipeSink> wavPipe;  // --wav -
  std::unique_ptr<playback::AtomicFile> midi;

  [[nodiscard]] midi::ByteSink* Render() const {
    return wavPipe ? static_cast<midi::ByteSink*>(wavPipe.get()) : wav.get();
  }
};

// False, with the reason on `err`, when a file cannot be made or both name
// the same file.
[[nodiscard]] bool MakeOutputFiles(const Options& options, FdWriter& out, FdWriter& err,
                                   OutputFiles& files);

// The format of a render: by its name, but never a WAV file that cannot hold
// it; a render's length is known before it begins.
[[nodiscard]] midi::AudioFormat RenderFormat(const Options& options, const OutputFiles& files,
                                             FdWriter& err);

}  // namespace sonavela::cli
