// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <lv2/worker/worker.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "playback/chord_source.h"
#include "plugin/worker_messages.h"

namespace sonavela::plugin {

// Requests to the host's worker from run(). One the host has no room for is
// sent again at the next cycle.
class WorkerQueue {
 public:
  explicit WorkerQueue(const LV2_Worker_Schedule& schedule) : schedule_(schedule) {}

  void Send(const Request& request);
  // What `request` leaves out is that of the last request made here.
  [[nodiscard]] Request& Scratch() { return scratch_; }
  void SendScratch() { Send(scratch_); }
  void Forget() { unsentCount_ = 0; }
  // Sends what had no room at the last cycle.
  void Retry();

 private:
  static constexpr std::size_t kUnsentCapacity = 4;

  LV2_Worker_Schedule schedule_;
  std::array<Request, kUnsentCapacity> unsent_{};
  std::size_t unsentCount_ = 0;
  Request scratch_{};
};

// The progression as the host's worker searches it: a start plays the tonic
// of the controls' home key at once, and the worker hands over every chord
// after it, one ahead of its boundary.
class WorkerChords final : public playback::ChordSource {
 public:
  explicit WorkerChords(WorkerQueue& queue) : queue_(queue) {}

  // What the next start reads; the worker builds that start ahead.
  void Follow(const StartSettings& settings);
  // The same where the worker may not be asked (at activation): the first
  // start is built when it is played.
  void Take(const StartSettings& settings) {
    settings_ = settings;
    followed_ = true;
  }
  // The worker's next chord of start `run`.
  void Found(std::uint32_t run, const generator::ProgressionStep& step);

  [[nodiscard]] playback::Opening Begin() override;
  [[nodiscard]] std::optional<generator::ProgressionStep> Next() override;
  void Played() override {}

 private:
  void Ask(Job job);

  WorkerQueue& queue_;
  StartSettings settings_;
  bool followed_ = false;
  std::uint32_t run_ = 0;
  std::optional<generator::ProgressionStep> upcoming_;
};

}  // namespace sonavela::plugin
