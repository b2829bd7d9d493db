// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace sonavela::midi::testing {

// Sends everything written to file descriptor 2 (by this process and any
// library in it, from any thread) into a file until Take, and gives it back.
class StderrCapture {
 public:
  StderrCapture() : path_("/tmp/sonavela_stderr_" + std::to_string(getpid())) {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    capturing_ = saved_ >= 0 && fd >= 0 && dup2(fd, STDERR_FILENO) >= 0;
    if (fd >= 0) {
      (void)close(fd);
    }
  }
  ~StderrCapture() { (void)Take(); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Restores stderr and returns what was written to it; a capture that could
  // not be set up gives a text of its own, so that no test passes over it.
  std::string Take() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      (void)dup2(saved_, STDERR_FILENO);
      (void)close(saved_);
      saved_ = -1;
      std::ifstream file(path_);
      std::ostringstream text;
      text << file.rdbuf();
      std::remove(path_.c_str());
      text_ = capturing_ ? text.str() : "(stderr could not be captured)";
    }
    return text_;
  }

 private:
  std::string path_;
  int saved_ = -1;
  bool capturing_ = false;
  std::string text_ = "(stderr could not be captured)";
};

}  // namespace sonavela::midi::testing
