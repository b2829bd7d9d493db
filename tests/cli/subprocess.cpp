// SPDX-License-Identifier: GPL-3.0-or-later
#include "subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

extern char** environ;

namespace sonavela::cli::testing {

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
  int outPipe[2];
  int errPipe[2];
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    envStrings.emplace_back(*e);
  }
  envStrings.insert(envStrings.end(), options.env.begin(), options.env.end());
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : envStrings) {
    envp.push_back(e.data());
  }
  envp.push_back(nullptr);

  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, 0);
    ::dup2(outPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    // The test runner may ignore signals; the program must start as a shell
    // would start it.
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);

  ProcessResult result;
  int outFd = outPipe[0];
  int errFd = errPipe[0];
  bool triggered = false;
  const auto deadline = started + options.timeout;
  while (outFd >= 0 || errFd >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      break;
    }
    for (int i = 0; i < 2; ++i) {
      int& fd = i == 0 ? outFd : errFd;
      if (fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
        continue;
      }
      char buffer[4096];
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) {
        ::close(fd);
        fd = -1;
        continue;
      }
      (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
    }
    if (!triggered && options.trigger && options.trigger(result.out)) {
      triggered = true;
      if (options.signal != 0) {
        ::kill(pid, options.signal);
      } else if (outFd >= 0) {
        ::close(outFd);
        outFd = -1;
      }
    }
  }
  if (outFd >= 0) {
    ::close(outFd);
  }
  if (errFd >= 0) {
    ::close(errFd);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.elapsed = std::chrono::steady_clock::now() - started;
  if (WIFEXITED(status)) {
    result.exited = true;
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.status = WTERMSIG(status);
  }
  return result;
}

std::string IndexInListing(const std::string& listing, const std::string& name) {
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos && line.substr(tab + 1) == name) {
      return line.substr(0, tab);
    }
  }
  return {};
}

int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

ScratchFolder::ScratchFolder(const std::string& prefix)
    : path_(std::filesystem::temp_directory_path() /
            (prefix + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;  // a folder left behind in /tmp is no test failure
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace sonavela::cli::testing
