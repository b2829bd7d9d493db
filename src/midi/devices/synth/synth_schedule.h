// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include <fluidsynth.h>

#include "midi/devices/spsc_queue.h"
#include "midi/port/midi_message.h"

namespace sonavela::midi {

// Applies one message to the synthesizer now.
void ApplyMessage(fluid_synth_t* synth, const MidiMessage& message);

// Where the frames of an audio output fall on the steady clock, learnt from
// the times its callbacks begin: a delay-locked loop, so that the jitter of
// single callbacks is smoothed out while the output's own clock, which runs
// a little faster or slower than the system's, is followed without drift.
// Audio thread only; nothing allocates.
class FrameClock {
 public:
  explicit FrameClock(double sampleRate);

  // A callback begins at `now`; `frame` frames have been rendered before it.
  void Tick(std::int64_t frame, Timestamp now);
  [[nodiscard]] bool Running() const { return running_; }
  // The frame, with its fraction, that sounds at `at`; far off for times
  // before the clock runs.
  [[nodiscard]] double FrameAt(Timestamp at) const;
  [[nodiscard]] double NanosecondsPerFrame() const { return nsPerFrame_; }
  // How much earlier than the estimate the last callback began; 0 if later.
  [[nodiscard]] double EarlyBy() const { return earlyBy_; }
  // How often the estimate was given up and begun again at a callback that
  // came far off it (the output stalled, a sound server hurried to fill
  // its buffer).
  [[nodiscard]] int Restarts() const { return restarts_; }

 private:
  void Restart(std::int64_t frame, Timestamp now);

  double nominal_;
  double nsPerFrame_;
  Timestamp origin_{};
  // The estimated time of frame `baseFrame_`, in ns after origin_.
  double base_ = 0;
  std::int64_t baseFrame_ = 0;
  double settledFor_ = 0;
  double earlyBy_ = 0;
  int restarts_ = 0;
  bool running_ = false;
};

// Messages on their way from the playing thread to the audio callback, which
// applies each at the frame its time maps to. FluidSynth renders in whole
// blocks (64 frames) and a message only takes effect at the start of one,
// so a message goes to the block boundary nearest to its frame: it sounds at
// its time plus the output's constant latency, to within half a block. A
// message whose boundary is already rendered takes effect at the next one.
// Messages are applied in the order they were pushed; one stamped earlier
// than the one before it waits for it.
class SynthSchedule {
 public:
  SynthSchedule(double sampleRate, int blockFrames, std::size_t capacity);
  SynthSchedule(const SynthSchedule&) = delete;
  SynthSchedule& operator=(const SynthSchedule&) = delete;

  // Playing thread. False when the queue is full: the callback has stopped
  // taking messages.
  [[nodiscard]] bool Push(const MidiMessage& message, Timestamp at);
  // How long before its time a message must be pushed to be placed exactly:
  // a whole callback's frames, as the callback that renders its frame may
  // begin that much earlier, plus the callbacks' jitter and a margin.
  // `expectedCycleFrames` stands in for the callback's length until it first
  // runs.
  [[nodiscard]] std::chrono::nanoseconds Lookahead(int expectedCycleFrames) const;

  // Audio thread: mixes `frames` frames into `left` and `right`, applying
  // the messages that are due on the way.
  void Process(fluid_synth_t* synth, int frames, float* left, float* right, Timestamp now);

 private:
  struct Timed {
    MidiMessage message;
    Timestamp at;
  };

  [[nodiscard]] std::int64_t RenderedUntil(std::int64_t position) const;

  const double sampleRate_;
  const std::int64_t block_;
  SpscQueue<Timed> queue_;
  FrameClock clock_;
  std::int64_t frames_ = 0;  // rendered by earlier callbacks
  double earlyPeak_ = 0;
  std::atomic<std::int64_t> cycleNs_{0};
  std::atomic<std::int64_t> jitterNs_{0};
};

}  // namespace sonavela::midi
