// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/synth/synth_schedule.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonavela::midi {

namespace {

constexpr double kNsPerSecond = 1e9;

// For its first second the loop corrects only the phase, and quickly, to
// find where the callbacks fall; the rate starts from the nominal one, which
// is right to a few hundred ppm. Letting the rate follow that wide a loop
// would throw it far off on the jitter. Then the loop narrows, so that one
// late callback moves the estimate by only microseconds.
constexpr double kWideHz = 1.0;
constexpr double kNarrowHz = 0.1;
constexpr double kSettleNs = 1 * kNsPerSecond;
// Beyond this the loop would overshoot, for callbacks of tenths of seconds.
constexpr double kMaxOmega = 0.5;
// A callback this far off the estimate is no jitter: the output stalled or
// ran ahead to fill a buffer, and the old estimate says nothing any more.
constexpr double kRestartNs = 20e6;
constexpr double kRestartCycles = 4;
// However the estimate wanders, an output's clock is never this far off.
constexpr double kMaxRateError = 0.01;

// Messages are pushed a little earlier than the cycle needs, for a sender
// that wakes late. The peak of the callbacks' earliness is forgotten slowly,
// one millisecond a second, so that a burst at start-up does not widen the
// margin for good.
constexpr std::chrono::nanoseconds kMargin = std::chrono::milliseconds(3);
constexpr double kJitterDecayPerNs = 1e-3;

double Nanoseconds(Timestamp at) {
  return static_cast<double>(at.time_since_epoch().count());
}

}  // namespace

void ApplyMessage(fluid_synth_t* synth, const MidiMessage& message) {
  const int status = message.Status();
  const int channel = status & 0x0F;
  const int data1 = message.Data1();
  const int data2 = message.Data2();
  // FluidSynth's own return codes only repeat what the message said; there is
  // no one to tell about a refused note.
  switch (status & 0xF0) {
    case 0x80:
      (void)fluid_synth_noteoff(synth, channel, data1);
      break;
    case 0x90:
      (void)fluid_synth_noteon(synth, channel, data1, data2);
      break;
    case 0xA0:
      (void)fluid_synth_key_pressure(synth, channel, data1, data2);
      break;
    case 0xB0:
      (void)fluid_synth_cc(synth, channel, data1, data2);
      break;
    case 0xC0:
      (void)fluid_synth_program_change(synth, channel, data1);
      break;
    case 0xD0:
      (void)fluid_synth_channel_pressure(synth, channel, data1);
      break;
    case 0xE0:
      (void)fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7));
      break;
    default:
      if (status == 0xFF) {
        (void)fluid_synth_system_reset(synth);
      }
      break;
  }
}

FrameClock::FrameClock(double sampleRate)
    : nominal_(kNsPerSecond / sampleRate), nsPerFrame_(nominal_) {}

void FrameClock::Restart(std::int64_t frame, Timestamp now) {
  origin_ = now;
  base_ = 0;
  baseFrame_ = frame;
  settledFor_ = 0;
  earlyBy_ = 0;
}

void FrameClock::Tick(std::int64_t frame, Timestamp now) {
  if (!running_) {
    running_ = true;
    Restart(frame, now);
    return;
  }
  const std::int64_t frames = frame - baseFrame_;
  if (frames <= 0) {
    return;
  }
  const double cycle = static_cast<double>(frames) * nsPerFrame_;
  const double predicted = base_ + cycle;
  const double error = Nanoseconds(now) - Nanoseconds(origin_) - predicted;
  if (std::abs(error) > std::max(kRestartNs, kRestartCycles * cycle)) {
    ++restarts_;
    Restart(frame, now);
    return;
  }
  // Second-order loop after F. Adriaensen, "Using a DLL to filter time".
  const bool settled = settledFor_ >= kSettleNs;
  const double omega = std::min(
      2 * std::numbers::pi * (settled ? kNarrowHz : kWideHz) * cycle / kNsPerSecond, kMaxOmega);
  base_ = predicted + std::numbers::sqrt2 * omega * error;
  if (settled) {
    nsPerFrame_ = std::clamp(nsPerFrame_ + omega * omega * error / static_cast<double>(frames),
                             nominal_ * (1 - kMaxRateError), nominal_ * (1 + kMaxRateError));
  }
  baseFrame_ = frame;
  settledFor_ += cycle;
  earlyBy_ = std::max(0.0, -error);
}

double FrameClock::FrameAt(Timestamp at) const {
  const double sinceBase = Nanoseconds(at) - Nanoseconds(origin_) - base_;
  return static_cast<double>(baseFrame_) + sinceBase / nsPerFrame_;
}

SynthSchedule::SynthSchedule(double sampleRate, int blockFrames, std::size_t capacity)
    : sampleRate_(sampleRate),
      block_(std::max(blockFrames, 1)),
      queue_(capacity),
      clock_(sampleRate) {}

bool SynthSchedule::Push(const MidiMessage& message, Timestamp at) {
  return queue_.Push({message, at});
}

std::chrono::nanoseconds SynthSchedule::Lookahead(int expectedCycleFrames) const {
  std::int64_t cycle = cycleNs_.load(std::memory_order_relaxed);
  if (cycle == 0) {
    cycle = std::llround(expectedCycleFrames * kNsPerSecond / sampleRate_);
  }
  return std::chrono::nanoseconds(cycle + jitterNs_.load(std::memory_order_relaxed)) + kMargin;
}

std::int64_t SynthSchedule::RenderedUntil(std::int64_t position) const {
  return (position + block_ - 1) / block_ * block_;
}

void SynthSchedule::Process(fluid_synth_t* synth, int frames, float* left, float* right,
                            Timestamp now) {
  clock_.Tick(frames_, now);
  const double cycle = frames * clock_.NanosecondsPerFrame();
  earlyPeak_ = std::max(clock_.EarlyBy(), earlyPeak_ - cycle * kJitterDecayPerNs);
  cycleNs_.store(std::llround(cycle), std::memory_order_relaxed);
  jitterNs_.store(std::llround(earlyPeak_), std::memory_order_relaxed);

  const std::int64_t end = frames_ + frames;
  std::int64_t position = frames_;
  const auto renderUntil = [&](std::int64_t until) {
    if (until <= position) {
      return;
    }
    float* out[2] = {left + (position - frames_), right + (position - frames_)};
    // Reverb and chorus are mixed into the same pair.
    (void)fluid_synth_process(synth, static_cast<int>(until - position), 2, out, 2, out);
    position = until;
  };
  const double block = static_cast<double>(block_);
  while (const Timed* next = queue_.Front()) {
    const double boundary = std::round(clock_.FrameAt(next->at) / block) * block;
    if (boundary > static_cast<double>(RenderedUntil(position))) {
      if (boundary > static_cast<double>(end)) {
        break;
      }
      renderUntil(static_cast<std::int64_t>(boundary));
    }
    ApplyMessage(synth, next->message);
    queue_.Pop();
  }
  renderUntil(end);
  frames_ = end;
}

}  // namespace sonavela::midi
