#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <string>

namespace sonavela::midi {

// Streams 16-bit PCM into a RIFF/WAVE file. The header's sizes are written
// when the file is finished, so a file that is never finished says it is
// empty rather than pretending to hold samples it lacks.
class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();  // finishes an open file
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  [[nodiscard]] bool Open(const std::string& path, int sampleRate, int channels);
  // Interleaved samples; their count must be a multiple of the channel count.
  [[nodiscard]] bool Append(std::span<const std::int16_t> samples);
  [[nodiscard]] bool Finish();

  [[nodiscard]] bool IsOpen() const { return file_.is_open(); }
  [[nodiscard]] std::uint64_t FramesWritten() const { return frames_; }
  [[nodiscard]] const std::string& LastError() const { return lastError_; }

 private:
  bool WriteHeader(std::uint32_t dataBytes);

  std::ofstream file_;
  std::string path_;
  int sampleRate_ = 0;
  int channels_ = 0;
  std::uint64_t frames_ = 0;
  std::string lastError_;
};

}  // namespace sonavela::midi
