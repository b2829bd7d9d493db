#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "midi/midi_backend.h"
#include "midi/wav_writer.h"

namespace sonavela::midi {

class SynthEngine;

struct SynthRendererOptions {
  // Empty: SONAVELA_SOUNDFONT, then the system's General MIDI SoundFonts.
  std::string soundFont;
  int sampleRate = 44100;
};

// The built-in synthesizer rendered offline, faster than real time, into a
// 16-bit stereo WAV file. Time only moves when the caller says so:
//
//   SynthRenderer renderer;
//   if (!renderer.Begin("out.wav")) { report(renderer.LastError()); }
//   renderer.Send(0x7BB0);                                   // at 0 ms
//   renderer.Send(0x403C90);                                 // note on 60
//   (void)renderer.Advance(std::chrono::milliseconds(2000)); // 2 s of sound
//   renderer.Send(...);                                      // at 2000 ms
//   (void)renderer.Advance(std::chrono::milliseconds(1000)); // let it ring out
//   if (!renderer.Finish()) { report(renderer.LastError()); }
//
// Messages take effect at the current position. Positions are kept in exact
// milliseconds, so many short advances add up without drift. To drive it
// through a MidiPort, wrap it in a RendererBackend.
class SynthRenderer {
 public:
  explicit SynthRenderer(SynthRendererOptions options = {});
  ~SynthRenderer();  // finishes an open file
  SynthRenderer(const SynthRenderer&) = delete;
  SynthRenderer& operator=(const SynthRenderer&) = delete;

  // Loads the SoundFont (the first time only) and creates the file, with the
  // synthesizer reset and the position at 0. False, with LastError, on failure.
  [[nodiscard]] bool Begin(const std::string& wavPath);
  // Ignored unless a file is being rendered.
  void Send(std::uint32_t message);
  // Renders `duration` of sound at the current position and appends it.
  [[nodiscard]] bool Advance(std::chrono::milliseconds duration);
  // Completes the file. True when nothing was being rendered.
  [[nodiscard]] bool Finish();

  [[nodiscard]] bool IsRendering() const { return wav_.IsOpen(); }
  [[nodiscard]] std::chrono::milliseconds Position() const { return position_; }
  [[nodiscard]] std::uint64_t FramesRendered() const { return wav_.FramesWritten(); }
  [[nodiscard]] int SampleRate() const { return options_.sampleRate; }
  // The SoundFont actually loaded; empty before the first successful Begin.
  [[nodiscard]] const std::string& SoundFontPath() const { return soundFontPath_; }
  [[nodiscard]] const std::string& LastError() const { return lastError_; }

 private:
  SynthRendererOptions options_;
  std::unique_ptr<SynthEngine> engine_;
  std::string soundFontPath_;
  WavWriter wav_;
  std::chrono::milliseconds position_{0};
  std::string lastError_;
};

inline constexpr const char* kWavRendererName = "Built-in synthesizer (FluidSynth) to WAV file";

// A SynthRenderer as a one-device MidiBackend, so that a MidiPort can drive
// it: Open(0) begins the WAV file, Close finishes it. The caller keeps its own
// shared_ptr to advance time between chords and to read errors of Close.
// Reopening the device starts the file afresh.
class RendererBackend final : public MidiBackend {
 public:
  RendererBackend(std::shared_ptr<SynthRenderer> renderer, std::string wavPath);
  ~RendererBackend() override;
  RendererBackend(const RendererBackend&) = delete;
  RendererBackend& operator=(const RendererBackend&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override { return 1; }
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  [[nodiscard]] bool Open(unsigned index) override;
  void Send(std::uint32_t message) override;
  void Close() override;
  [[nodiscard]] std::string LastError() const override;

 private:
  std::shared_ptr<SynthRenderer> renderer_;
  std::string wavPath_;
  std::string lastError_;
};

}  // namespace sonavela::midi
