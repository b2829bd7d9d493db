// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/render_output.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>
#include <utility>

namespace sonavela::cli {

namespace {

// A render shorter than this needs no progress; redrawn no more often than
// the second figure.
constexpr std::chrono::seconds kQuietStart{2};
constexpr std::chrono::milliseconds kRedraw{200};

std::string MinutesAndSeconds(std::chrono::nanoseconds time) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time).count();
  std::string text = std::to_string(seconds / 60) + ":";
  if (seconds % 60 < 10) {
    text += '0';
  }
  text += std::to_string(seconds % 60);
  return text;
}

}  // namespace

Status PipeSink::Append(std::span<const std::uint8_t> bytes) {
  if (out_.Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
    return {};
  }
  return Error::Of(ErrorKind::kSystem, {}, std::system_category().message(out_.Error()));
}

Status PipeSink::Overwrite(std::uint64_t, std::span<const std::uint8_t>) {
  return Error::Of(ErrorKind::kBadUse, {}, "standard output cannot go back to what it wrote");
}

bool PipeSink::ReaderLeft() const {
  return out_.Broken() && out_.Error() == EPIPE;
}

bool IsTerminal(int fd) {
  return ::isatty(fd) == 1;
}

RenderProgress::RenderProgress(FdWriter& terminal, bool shown, std::string name,
                               std::uint64_t chords, std::chrono::nanoseconds chordLength,
                               Clock::time_point began)
    : terminal_(terminal),
      shown_(shown),
      name_(std::move(name)),
      chords_(chords),
      chordLength_(chordLength),
      began_(began) {}

RenderProgress::~RenderProgress() {
  if (drawing_) {
    (void)terminal_.Write("\r\x1b[K");
  }
}

void RenderProgress::Update(std::uint64_t chordsDone, Clock::time_point now) {
  if (!shown_ || now - began_ < kQuietStart || (drawing_ && now - drawn_ < kRedraw)) {
    return;
  }
  drawing_ = true;
  drawn_ = now;
  const auto length = [this](std::uint64_t chords) {
    return chordLength_ * static_cast<std::int64_t>(chords);
  };
  (void)terminal_.Write("\rrendering " + name_ + ": chord " + std::to_string(chordsDone) + " of " +
                        std::to_string(chords_) + ", " + MinutesAndSeconds(length(chordsDone)) +
                        " of " + MinutesAndSeconds(length(chords_)) + "\x1b[K");
}

}  // namespace sonavela::cli
