// SPDX-License-Identifier: GPL-3.0-or-later
#include "link_peers.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <limits.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>

namespace sonavela::cli::testing {

namespace {

using Clock = std::chrono::steady_clock;

// The network namespace the test binary was started in, handed to the copy
// that runs inside a namespace of its own.
constexpr const char* kOutsideVariable = "SONAVELA_LINK_TEST_OUTSIDE_NETNS";
// Multicast on the loopback only, so that Link's discovery has a way and no
// other.
constexpr const char* kPrivateNetwork =
    "PATH=\"$PATH:/usr/sbin:/sbin\"; ip link set lo up && ip link set lo multicast on && "
    "ip route add 224.0.0.0/4 dev lo && exec \"$@\"";

std::optional<ino_t> NetworkNamespace() {
  struct stat info {};
  if (::stat("/proc/self/ns/net", &info) != 0) {
    return std::nullopt;
  }
  return info.st_ino;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) {
    const std::size_t first = part.find_first_not_of(' ');
    const std::size_t last = part.find_last_not_of(' ');
    parts.push_back(first == std::string::npos ? std::string()
                                               : part.substr(first, last - first + 1));
  }
  return parts;
}

// "yes | 1 | 4 | yes [playing] | 100.00 | 3.27 | XXXX": enabled, peers,
// quantum, start/stop sync and state, tempo, beats, metronome.
std::optional<LinkHut::Status> ParseStatus(const std::string& line) {
  const std::vector<std::string> fields = Split(line, '|');
  if (fields.size() != 7) {
    return std::nullopt;
  }
  LinkHut::Status status;
  status.enabled = fields[0] == "yes";
  status.peers = std::atoi(fields[1].c_str());
  status.startStopSync = fields[3].starts_with("yes");
  status.playing = fields[3].find("[playing]") != std::string::npos;
  status.tempo = std::atof(fields[4].c_str());
  return status;
}

}  // namespace

std::optional<std::string> WhyNotPrivateNetwork() {
  const char* outside = std::getenv(kOutsideVariable);
  if (outside == nullptr) {
    return "the test was not run again under unshare --net";
  }
  const std::optional<ino_t> inside = NetworkNamespace();
  if (!inside || std::to_string(*inside) == outside) {
    return "the test runs in the network namespace it was started in";
  }
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) {
    return std::string("cannot list the network interfaces: ") + std::strerror(errno);
  }
  std::optional<std::string> why;
  for (const ifaddrs* entry = list; entry != nullptr && !why; entry = entry->ifa_next) {
    if (std::string_view(entry->ifa_name) != "lo") {
      why = std::string("the interface ") + entry->ifa_name + " is visible";
    }
  }
  ::freeifaddrs(list);
  return why;
}

int RunInPrivateNetwork(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]).starts_with("--gtest_list_tests")) {
      return -1;
    }
  }
  if (std::getenv(kOutsideVariable) != nullptr) {
    return -1;
  }
  const std::optional<ino_t> outside = NetworkNamespace();
  char self[PATH_MAX] = {};
  if (!outside || ::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
    std::fprintf(stderr, "cannot find this process's network namespace or program file\n");
    return 1;
  }
  ::setenv(kOutsideVariable, std::to_string(*outside).c_str(), 1);
  std::vector<std::string> words{"unshare", "--net"};
  if (::geteuid() != 0) {
    words.emplace_back("--map-root-user");
  }
  words.insert(words.end(), {"/bin/sh", "-c", kPrivateNetwork, "sh", self});
  words.insert(words.end(), argv + 1, argv + argc);
  std::vector<char*> args;
  for (std::string& word : words) {
    args.push_back(word.data());
  }
  args.push_back(nullptr);
  ::execvp("unshare", args.data());
  std::fprintf(stderr,
               "cannot run unshare (util-linux): %s; the Link tests must not run on the "
               "machine's own network\n",
               std::strerror(errno));
  return 1;
}

LinkHut::~LinkHut() {
  if (pid_ > 0) {
    Press("q");
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() >= deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  if (keys_ >= 0) {
    ::close(keys_);
  }
  if (!outputPath_.empty()) {
    std::remove(outputPath_.c_str());
  }
}

bool LinkHut::Start(std::string& error) {
  outputPath_ = "/tmp/sonavela-linkhut-" + std::to_string(::getpid()) + ".out";
  int pipeFds[2];
  const int output = ::open(outputPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (output < 0 || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
    error = std::string("cannot set up LinkHut's input and output: ") + std::strerror(errno);
    return false;
  }
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
      ::_exit(126);
    }
    ::dup2(pipeFds[0], STDIN_FILENO);
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    ::execl(SONAVELA_LINKHUT, "LinkHut", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(output);
  ::close(pipeFds[0]);
  keys_ = pipeFds[1];
  if (pid_ < 0) {
    error = std::string("fork failed: ") + std::strerror(errno);
    return false;
  }
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!Read()) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_ || Clock::now() >= deadline) {
      std::ifstream log(outputPath_);
      std::ostringstream text;
      text << log.rdbuf();
      error =
          "LinkHut (" SONAVELA_LINKHUT ", package ableton-link-utils) did not start: " + text.str();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

void LinkHut::Press(const std::string& keys) {
  if (keys_ >= 0) {
    (void)!::write(keys_, keys.data(), keys.size());
  }
}

std::optional<LinkHut::Status> LinkHut::Read() const {
  std::ifstream file(outputPath_, std::ios::binary | std::ios::ate);
  const std::streamoff size = file.tellg();
  const std::streamoff tail = std::min<std::streamoff>(size, 4096);
  std::string text(static_cast<std::size_t>(tail), '\0');
  file.seekg(size - tail);
  file.read(text.data(), tail);
  // Only whole lines: the last may still be being written.
  std::size_t end = text.find_last_of("\r\n");
  while (end != std::string::npos && end > 0) {
    const std::size_t begin = text.find_last_of("\r\n", end - 1);
    const std::size_t from = begin == std::string::npos ? 0 : begin + 1;
    if (std::optional<Status> status = ParseStatus(text.substr(from, end - from))) {
      return status;
    }
    end = begin;
  }
  return std::nullopt;
}

bool LinkHut::PressUntil(const std::string& keys, const std::function<bool(const Status&)>& done,
                         std::chrono::milliseconds timeout) {
  Press(keys);
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    if (const std::optional<Status> status = Read(); status && done(*status)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

JackCycleLog::~JackCycleLog() {
  if (client_ != nullptr) {
    jack_deactivate(client_);
    jack_client_close(client_);
  }
}

bool JackCycleLog::Open(const std::string& server, const std::string& clientName) {
  jack_status_t status{};
  client_ = jack_client_open(
      clientName.c_str(),
      static_cast<jack_options_t>(JackNoStartServer | JackServerName | JackUseExactName), &status,
      server.c_str());
  return client_ != nullptr && jack_set_process_callback(client_, &Process, this) == 0 &&
         jack_activate(client_) == 0;
}

int JackCycleLog::Process(jack_nframes_t frames, void* self) {
  auto* log = static_cast<JackCycleLog*>(self);
  const std::size_t i = log->count_.load(std::memory_order_relaxed);
  if (i < log->cycles_.size()) {
    Cycle& cycle = log->cycles_[i];
    float period = 0;
    jack_get_cycle_times(log->client_, &cycle.frame, &cycle.start, &cycle.next, &period);
    cycle.frames = frames;
    log->count_.store(i + 1, std::memory_order_release);
  }
  return 0;
}

std::optional<double> JackCycleLog::MessageTime(jack_nframes_t frame) const {
  const std::size_t count = count_.load(std::memory_order_acquire);
  const auto begin = cycles_.begin();
  const auto after = std::upper_bound(begin, begin + static_cast<std::ptrdiff_t>(count), frame,
                                      [](jack_nframes_t f, const Cycle& c) { return f < c.frame; });
  if (after == begin || frame >= std::prev(after)->frame + std::prev(after)->frames) {
    return std::nullopt;
  }
  const Cycle& cycle = *std::prev(after);
  const double span = static_cast<double>(cycle.next - cycle.start);
  return static_cast<double>(cycle.start) - span +
         static_cast<double>(frame - cycle.frame) * span / cycle.frames;
}

}  // namespace sonavela::cli::testing
