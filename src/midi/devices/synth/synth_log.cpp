// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devices/synth/synth_log.h"

#include <fluidsynth.h>

#include <cstring>
#include <mutex>
#include <thread>

namespace sonavela::midi {

namespace {

// FluidSynth calls its log function with one user pointer for the whole
// process, so the logs that listen are looked up in a fixed table. A caller
// counts itself in `users` before it looks at `log`, which lets a log that
// leaves wait until no thread still holds it.
struct Listener {
  std::atomic<SynthLog*> log{nullptr};
  std::atomic<int> users{0};
};

constexpr int kLevels = LAST_LOG_LEVEL;
constexpr std::size_t kListeners = 4;

Listener listeners[kListeners];
std::mutex registration;
int registered = 0;
fluid_log_function_t previous[kLevels] = {};

void Dispatch(int level, const char* message, void* /*data*/) {
  for (Listener& listener : listeners) {
    listener.users.fetch_add(1);
    if (SynthLog* log = listener.log.load()) {
      log->Take(level, message);
    }
    listener.users.fetch_sub(1);
  }
}

// The user gets one line; some messages quote bytes of a broken file.
void CopyLine(const char* from, char* to, std::size_t size) {
  std::size_t i = 0;
  for (; i + 1 < size && from[i] != '\0'; ++i) {
    const auto byte = static_cast<unsigned char>(from[i]);
    to[i] = byte < 0x20 || byte == 0x7F ? '?' : from[i];
  }
  to[i] = '\0';
}

// A full event queue means the audio thread no longer takes the events: the
// notes sent from now on are lost, which is as bad as a dead driver.
bool MeansAudioLoss(int level, const char* message) {
  static constexpr char kQueueFull[] = "Ringbuffer full";
  return level == FLUID_PANIC || level == FLUID_ERR ||
         std::strncmp(message, kQueueFull, sizeof kQueueFull - 1) == 0;
}

}  // namespace

SynthLog::SynthLog() {
  const std::lock_guard<std::mutex> lock(registration);
  for (std::size_t i = 0; i < kListeners; ++i) {
    SynthLog* none = nullptr;
    if (listeners[i].log.compare_exchange_strong(none, this)) {
      slot_ = static_cast<int>(i);
      break;
    }
  }
  // A log beyond the table keeps nothing, but FluidSynth stays quiet.
  if (registered++ == 0) {
    for (int level = 0; level < kLevels; ++level) {
      previous[level] = fluid_set_log_function(level, &Dispatch, nullptr);
    }
  }
}

SynthLog::~SynthLog() {
  const std::lock_guard<std::mutex> lock(registration);
  if (slot_ >= 0) {
    Listener& listener = listeners[slot_];
    listener.log.store(nullptr);
    while (listener.users.load() != 0) {
      std::this_thread::yield();
    }
  }
  if (--registered == 0) {
    for (int level = 0; level < kLevels; ++level) {
      (void)fluid_set_log_function(level, previous[level], nullptr);
    }
  }
}

void SynthLog::Clear() {
  for (Line& line : kept_) {
    line.ready.store(false);
  }
  keptCount_.store(0);
}

std::string SynthLog::Reasons() const {
  const unsigned count = keptCount_.load();
  std::string reasons;
  for (unsigned i = 0; i < count && i < kKept; ++i) {
    if (kept_[i].ready.load(std::memory_order_acquire)) {
      reasons += (reasons.empty() ? "" : "; ") + std::string(kept_[i].text);
    }
  }
  if (count > kKept) {
    const unsigned more = count - kKept;
    reasons += "; " + std::to_string(more) + (more == 1 ? " more message" : " more messages");
  }
  return reasons;
}

void SynthLog::WatchAudio() {
  watching_.store(true);
}

std::optional<std::string> SynthLog::AudioLoss() const {
  if (!loss_.ready.load(std::memory_order_acquire)) {
    return std::nullopt;
  }
  return std::string(loss_.text);
}

void SynthLog::Take(int level, const char* message) noexcept {
  if (message == nullptr) {
    return;
  }
  if (level == FLUID_PANIC || level == FLUID_ERR || level == FLUID_WARN) {
    const unsigned index = keptCount_.fetch_add(1);
    if (index < kKept) {
      CopyLine(message, kept_[index].text, kLineSize);
      kept_[index].ready.store(true, std::memory_order_release);
    }
  }
  if (watching_.load() && MeansAudioLoss(level, message) && !lossClaimed_.exchange(true)) {
    CopyLine(message, loss_.text, kLineSize);
    loss_.ready.store(true, std::memory_order_release);
  }
}

}  // namespace sonavela::midi
