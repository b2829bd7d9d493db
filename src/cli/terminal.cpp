// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace sonavela::cli {

bool FdWriter::Write(std::string_view text) {
  while (!broken_ && !text.empty()) {
    const ssize_t written = ::write(fd_, text.data(), text.size());
    if (written < 0) {
      // A reader that stopped reading must not keep a stopping program
      // waiting for ever: a stop signal ends the write.
      if (errno == EINTR && !StopSignal::Pending()) {
        continue;
      }
      error_ = errno;
      broken_ = true;
      break;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return !broken_;
}

namespace {

// A signal handler can reach nothing but globals. Only async-signal-safe work
// happens in it: a store to a lock-free atomic and a write to a pipe.
std::atomic<bool> stopRequested{false};
std::atomic<int> stopSignal{0};
int wakeRead = -1;
int wakeWrite = -1;

static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[std::size(kStopSignals)];
struct sigaction previousPipe;
struct sigaction previousFileSize;

extern "C" void OnStopSignal(int signal) {
  const int savedErrno = errno;
  int none = 0;
  stopSignal.compare_exchange_strong(none, signal);
  stopRequested.store(true);
  const char byte = 1;
  // A full pipe already holds a wake-up; nothing is lost by dropping this one.
  [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite, &byte, 1);
  errno = savedErrno;
}

void MakeNonBlockingCloseOnExec(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 ||
      ::fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot set up the signal pipe");
  }
}

}  // namespace

StopSignal::StopSignal() {
  int fds[2];
  if (::pipe(fds) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot create the signal pipe");
  }
  wakeRead = fds[0];
  wakeWrite = fds[1];
  MakeNonBlockingCloseOnExec(wakeRead);
  MakeNonBlockingCloseOnExec(wakeWrite);
  stopRequested.store(false);
  stopSignal.store(0);

  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a stop must end whatever the program is waiting in.
  action.sa_flags = 0;
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    ::sigaction(kStopSignals[i], &action, &previous[i]);
  }
  // A closed pipe and a file-size limit then show up as failed writes that
  // are reported, instead of killing the program with its files unfinished.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &previousPipe);
  ::sigaction(SIGXFSZ, &ignore, &previousFileSize);
}

StopSignal::~StopSignal() {
  for (std::size_t i = 0; i < std::size(kStopSignals); ++i) {
    ::sigaction(kStopSignals[i], &previous[i], nullptr);
  }
  ::sigaction(SIGPIPE, &previousPipe, nullptr);
  ::sigaction(SIGXFSZ, &previousFileSize, nullptr);
  ::close(wakeRead);
  ::close(wakeWrite);
  wakeRead = wakeWrite = -1;
}

bool StopSignal::Requested() const {
  return stopRequested.load();
}

bool StopSignal::Pending() {
  return stopRequested.load();
}

int StopSignal::Received() const {
  return stopSignal.load();
}

void StopSignal::Request() {
  stopRequested.store(true);
}

bool StopSignal::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  using namespace std::chrono;
  // poll() wakes at once on a signal but only counts whole milliseconds, so it
  // covers all but the last one or two; a precise sleep does the rest.
  constexpr auto kPrecise = milliseconds{2};
  while (!Requested()) {
    const auto remaining = deadline - steady_clock::now();
    if (remaining <= steady_clock::duration::zero()) {
      return false;
    }
    if (remaining < kPrecise) {
      std::this_thread::sleep_until(deadline);
      continue;
    }
    pollfd wake{wakeRead, POLLIN, 0};
    const auto timeout = duration_cast<milliseconds>(remaining - milliseconds{1});
    if (::poll(&wake, 1, static_cast<int>(timeout.count())) > 0) {
      char drain[16];
      while (::read(wakeRead, drain, sizeof drain) > 0) {
      }
    }
  }
  return true;
}

}  // namespace sonavela::cli
