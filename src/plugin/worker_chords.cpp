// SPDX-License-Identifier: GPL-3.0-or-later
#include "plugin/worker_chords.h"

#include "harmony/chord.h"

namespace sonavela::plugin {

void WorkerQueue::Send(const Request& request) {
  if (schedule_.schedule_work(schedule_.handle, request.Size(), &request) != LV2_WORKER_SUCCESS &&
      unsentCount_ < kUnsentCapacity) {
    unsent_[unsentCount_++] = request;
  }
}

void WorkerQueue::Retry() {
  const std::size_t count = unsentCount_;
  unsentCount_ = 0;
  for (std::size_t i = 0; i < count; ++i) {
    Send(unsent_[i]);
  }
}

void WorkerChords::Ask(Job job) {
  Request& request = queue_.Scratch();
  request.job = job;
  request.run = run_;
  request.settings = settings_;
  request.pathLength = 0;
  queue_.SendScratch();
}

void WorkerChords::Follow(const StartSettings& settings) {
  if (followed_ && settings == settings_) {
    return;
  }
  // A start that comes before the worker built it is built when it is
  // played.
  settings_ = settings;
  followed_ = true;
  Ask(Job::kSettings);
}

void WorkerChords::Found(std::uint32_t run, const generator::ProgressionStep& step) {
  if (run == run_) {
    upcoming_ = step;
  }
}

playback::Opening WorkerChords::Begin() {
  ++run_;
  upcoming_.reset();
  Ask(Job::kGoLive);
  // The progression's first chord is the tonic of its home key: nothing to
  // wait for.
  return {settings_.instrument,
          {settings_.homeKey, harmony::BuildChordOnDegree(settings_.homeKey, 1)}};
}

std::optional<generator::ProgressionStep> WorkerChords::Next() {
  if (!upcoming_) {
    return std::nullopt;
  }
  const generator::ProgressionStep step = *upcoming_;
  upcoming_.reset();
  Ask(Job::kNext);
  return step;
}

}  // namespace sonavela::plugin
