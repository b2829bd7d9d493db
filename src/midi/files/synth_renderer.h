// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "midi/devices/synth/synth_config.h"
#include "midi/files/audio_writer.h"
#include "midi/files/byte_sink.h"
#include "midi/port/midi_backend.h"
#include "midi/port/midi_message.h"

namespace sonavela::midi {

class SynthEngine;

struct SynthRendererOptions {
  // Empty: SONAVELA_SOUNDFONT, then the system's General MIDI SoundFonts.
  std::string soundFont;
  int sampleRate = 44100;
  SynthSound sound;
  AudioFormat format = AudioFormat::kWav;
};

// How long the sound may ring on after the last message, and how quiet it
// must have become to end there: -60 dBFS, inaudible in any mix.
inline constexpr std::chrono::seconds kLongestTail{5};
inline constexpr double kTailEndsBelow = 0.001;

// The built-in synthesizer rendered offline, faster than real time, into a
// 16-bit stereo sound file (WAV unless the options name another format). Time only moves when the
// caller says so:
//
//   SynthRenderer renderer;
//   if (Status begun = renderer.Begin(sink); !begun) { report(begun.error()); }
//   (void)renderer.Send(MidiMessage::NoteOn(1, 60, 64), 0ms);
//   (void)renderer.Send(MidiMessage::AllNotesOff(1), 2000ms);  // 2 s of sound first
//   (void)renderer.RenderUntil(3000ms);                        // let it ring out
//   if (Status done = renderer.Finish(); !done) { report(done.error()); }
//
// A message takes effect at the sample frame of its position: the sound up to
// there is rendered first. Positions are kept in nanoseconds and frames are
// counted from the start, so many short steps add up without drift. To drive
// it through a MidiPort, wrap it in a RendererBackend.
class SynthRenderer {
 public:
  explicit SynthRenderer(SynthRendererOptions options = {});
  ~SynthRenderer();
  SynthRenderer(const SynthRenderer&) = delete;
  SynthRenderer& operator=(const SynthRenderer&) = delete;

  // Loads the SoundFont (the first time only) and begins the WAV file in
  // `wav`, which must outlive the rendering, with the synthesizer reset and
  // the position at 0.
  Status Begin(ByteSink& wav);
  // Renders up to `position`, then applies the message there; a position
  // already passed means now. Ignored unless a file is being rendered.
  Status Send(const MidiMessage& message, std::chrono::nanoseconds position);
  // Renders the sound up to `position` from the start and appends it.
  Status RenderUntil(std::chrono::nanoseconds position);
  Status Advance(std::chrono::nanoseconds duration) { return RenderUntil(position_ + duration); }
  // Renders on until the sound has died away (see kTailEndsBelow), at most
  // kLongestTail: the release and the reverb of the last notes.
  Status RenderTail();
  // Completes the file; succeeds when nothing was being rendered.
  Status Finish();

  [[nodiscard]] bool IsRendering() const { return writer_->IsOpen(); }
  [[nodiscard]] std::chrono::nanoseconds Position() const { return position_; }
  [[nodiscard]] std::uint64_t FramesRendered() const { return writer_->FramesWritten(); }
  [[nodiscard]] int SampleRate() const { return options_.sampleRate; }
  // The SoundFont actually loaded; empty before the first successful Begin.
  [[nodiscard]] const std::string& SoundFontPath() const { return soundFontPath_; }

 private:
  SynthRendererOptions options_;
  std::unique_ptr<SynthEngine> engine_;
  std::string soundFontPath_;
  std::unique_ptr<AudioWriter> writer_;
  std::chrono::nanoseconds position_{0};
};

inline constexpr const char* kWavRendererName = "Built-in synthesizer (FluidSynth) to WAV file";

// A SynthRenderer as a one-device MidiBackend, so that a MidiPort can drive
// it: Open(0) begins the file, Close lets the last notes ring out and
// finishes it. The first message after Open is at position 0 of the file;
// every later one sounds as far after it as its time says. Reopening the
// device starts the file afresh.
class RendererBackend final : public MidiBackend {
 public:
  // `wav` must outlive the backend.
  RendererBackend(std::shared_ptr<SynthRenderer> renderer, ByteSink& wav);
  ~RendererBackend() override;
  RendererBackend(const RendererBackend&) = delete;
  RendererBackend& operator=(const RendererBackend&) = delete;

  [[nodiscard]] unsigned DeviceCount() const override { return 1; }
  [[nodiscard]] std::optional<std::string> DeviceName(unsigned index) const override;
  Status Open(unsigned index) override;
  Status Send(const MidiMessage& message, Timestamp at) override;
  Status Close() override;

 private:
  std::shared_ptr<SynthRenderer> renderer_;
  ByteSink& wav_;
  std::optional<Timestamp> origin_;
};

}  // namespace sonavela::midi
