// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/render_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <string>

namespace sonavela::cli {
namespace {

using namespace std::chrono_literals;

// What the progress of a render draws, read from the other end of a pipe.
class Drawn {
 public:
  Drawn() {
    EXPECT_EQ(::pipe2(fds_.data(), O_NONBLOCK), 0);
    writer_ = std::make_unique<FdWriter>(fds_[1]);
  }
  ~Drawn() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  FdWriter& Writer() { return *writer_; }
  std::string Take() {
    std::string text;
    std::array<char, 512> buffer{};
    for (ssize_t n; (n = ::read(fds_[0], buffer.data(), buffer.size())) > 0;) {
      text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return text;
  }

 private:
  std::array<int, 2> fds_{};
  std::unique_ptr<FdWriter> writer_;
};

TEST(RenderProgress, DrawsALongRenderOnOneLineAndWipesItAtTheEnd) {
  const RenderProgress::Clock::time_point began{};
  Drawn terminal;
  {
    RenderProgress progress(terminal.Writer(), true, "x.wav", 100, 2s, began);
    progress.Update(3, began + 1s);
    EXPECT_EQ(terminal.Take(), "") << "a short render needs no progress";
    progress.Update(40, began + 3s);
    EXPECT_EQ(terminal.Take(), "\rrendering x.wav: chord 40 of 100, 1:20 of 3:20\x1b[K");
    progress.Update(41, began + 3s + 50ms);
    EXPECT_EQ(terminal.Take(), "") << "redrawn a few times a second, no more";
    progress.Update(45, began + 4s);
    EXPECT_EQ(terminal.Take(), "\rrendering x.wav: chord 45 of 100, 1:30 of 3:20\x1b[K");
  }
  EXPECT_EQ(terminal.Take(), "\r\x1b[K");

  Drawn notShown;
  {
    RenderProgress progress(notShown.Writer(), false, "x.wav", 100, 2s, began);
    progress.Update(50, began + 10s);
  }
  EXPECT_EQ(notShown.Take(), "");
}

}  // namespace
}  // namespace sonavela::cli
