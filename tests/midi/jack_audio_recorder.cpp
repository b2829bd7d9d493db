// SPDX-License-Identifier: GPL-3.0-or-later
#include "jack_audio_recorder.h"

#include <algorithm>
#include <cmath>

namespace sonavela::midi::testing {

JackAudioRecorder::~JackAudioRecorder() {
  if (client_ != nullptr) {
    (void)jack_client_close(client_);
  }
}

bool JackAudioRecorder::Open(const std::string& server, std::size_t maxFrames) {
  samples_.assign(maxFrames, 0.0F);
  // A cycle has at least 16 frames on any server the tests start.
  cycles_.assign(maxFrames / 16 + 1, Cycle{});
  jack_status_t status{};
  client_ = jack_client_open("sonavela_recorder",
                             static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                             &status, server.c_str());
  if (client_ == nullptr) {
    error_ = "cannot open a client on " + server;
    return false;
  }
  port_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  if (port_ == nullptr || jack_set_process_callback(client_, &Process, this) != 0 ||
      jack_activate(client_) != 0) {
    error_ = "cannot set up the recording port";
    return false;
  }
  return true;
}

bool JackAudioRecorder::ConnectFrom(const std::string& source) {
  if (jack_connect(client_, source.c_str(), jack_port_name(port_)) != 0) {
    error_ = "cannot connect " + source;
    return false;
  }
  return true;
}

JackAudioRecorder::ClockPair JackAudioRecorder::ReadClocks() {
  const auto before = MidiClock::now().time_since_epoch();
  const jack_time_t jack = jack_get_time();
  const auto after = MidiClock::now().time_since_epoch();
  return {static_cast<double>(jack) * 1e3, static_cast<double>((before + after).count()) / 2};
}

void JackAudioRecorder::Start() {
  started_ = ReadClocks();
  recording_.store(true);
}

void JackAudioRecorder::Stop() {
  recording_.store(false);
  stopped_ = ReadClocks();
}

double JackAudioRecorder::SampleRate() const {
  return jack_get_sample_rate(client_);
}

jack_nframes_t JackAudioRecorder::Period() const {
  return jack_get_buffer_size(client_);
}

std::span<const float> JackAudioRecorder::Samples() const {
  return std::span<const float>(samples_.data(), recorded_.load(std::memory_order_acquire));
}

Timestamp JackAudioRecorder::TimeOf(std::size_t index) const {
  const auto cycles = std::span<const Cycle>(cycles_.data(), cycleCount_.load());
  auto after = std::upper_bound(cycles.begin(), cycles.end(), index,
                                [](std::size_t i, const Cycle& c) { return i < c.first; });
  if (after == cycles.begin()) {
    return {};
  }
  const Cycle& cycle = *(after - 1);
  const double jack = static_cast<double>(cycle.usecs) * 1e3 +
                      static_cast<double>(index - cycle.first) * 1e9 / SampleRate();
  const double scale = (stopped_.steady - started_.steady) / (stopped_.jack - started_.jack);
  const double steady = started_.steady + (jack - started_.jack) * scale;
  return Timestamp(std::chrono::nanoseconds(std::llround(steady)));
}

int JackAudioRecorder::Process(jack_nframes_t frames, void* self) {
  auto* recorder = static_cast<JackAudioRecorder*>(self);
  if (!recorder->recording_.load()) {
    return 0;
  }
  const std::size_t first = recorder->recorded_.load(std::memory_order_relaxed);
  const std::size_t cycle = recorder->cycleCount_.load(std::memory_order_relaxed);
  if (first + frames > recorder->samples_.size() || cycle >= recorder->cycles_.size()) {
    return 0;
  }
  jack_nframes_t currentFrames = 0;
  jack_time_t currentUsecs = 0;
  jack_time_t nextUsecs = 0;
  float periodUsecs = 0;
  if (jack_get_cycle_times(recorder->client_, &currentFrames, &currentUsecs, &nextUsecs,
                           &periodUsecs) != 0) {
    return 0;
  }
  const auto* in = static_cast<const float*>(jack_port_get_buffer(recorder->port_, frames));
  std::copy_n(in, frames, recorder->samples_.begin() + static_cast<std::ptrdiff_t>(first));
  recorder->cycles_[cycle] = {first, currentUsecs};
  recorder->cycleCount_.store(cycle + 1, std::memory_order_release);
  recorder->recorded_.store(first + frames, std::memory_order_release);
  return 0;
}

}  // namespace sonavela::midi::testing
