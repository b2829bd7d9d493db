#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "midi/files/byte_sink.h"

namespace sonavela::midi {

// Streams 16-bit PCM as a RIFF/WAVE file into a sink. The header's sizes are
// written when the file is finished; until then they say the file is empty
// rather than pretending to hold samples it lacks.
class WavWriter {
 public:
  // Writes the header. `sink` must outlive the writer.
  [[nodiscard]] bool Open(ByteSink& sink, int sampleRate, int channels);
  // Interleaved samples; their count must be a multiple of the channel count.
  [[nodiscard]] bool Append(std::span<const std::int16_t> samples);
  // Completes the header; the writer is closed afterwards, whatever happens.
  [[nodiscard]] bool Finish();

  [[nodiscard]] bool IsOpen() const { return sink_ != nullptr; }
  [[nodiscard]] std::uint64_t FramesWritten() const { return frames_; }
  [[nodiscard]] const std::string& LastError() const { return lastError_; }

 private:
  [[nodiscard]] bool Fail(const std::string& what);

  ByteSink* sink_ = nullptr;
  int sampleRate_ = 0;
  int channels_ = 0;
  std::uint64_t frames_ = 0;
  std::string lastError_;
};

}  // namespace sonavela::midi
