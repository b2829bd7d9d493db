// SPDX-License-Identifier: GPL-3.0-or-later
// Prints how quickly sonavela-cli starts playing into a JACK MIDI port and
// how quickly it is gone once its last chord is over, on a private JACK
// server (dummy driver, 48 kHz, 256 frames a period) with a recording sink:
//   midi_jack_startup [path/to/sonavela-cli] [runs]
// Each run execs `sonavela-cli --device N --steps 5 --interval 100`.
//  - start: from exec to the first result line on stdout (goal: 50 ms);
//  - exit: from the end of the last chord's interval (the first line plus
//    5 x 100 ms, the grid the chords are played on) to the process's exit
//    (goal: 50 ms);
//  - whether the stop's and the close's all-notes-off reached the sink.

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "jack_harness.h"

namespace {

using Clock = std::chrono::steady_clock;
using sonavela::midi::testing::JackMidiSink;
using sonavela::midi::testing::JackTestServer;

constexpr int kSteps = 5;
constexpr int kIntervalMs = 100;
constexpr jack_nframes_t kPeriod = 256;
constexpr std::chrono::seconds kRunTimeout{10};

struct Run {
  std::string out;
  std::string err;
  int status = -1;
  std::optional<Clock::duration> firstLine;  // from exec
  Clock::duration exited{};                  // from exec
};

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Runs the program with stdout and stderr on pipes, noting when the first
// line appears on stdout and when the process is gone.
std::optional<Run> Execute(const std::string& program, const std::vector<std::string>& args) {
  int out[2];
  int err[2];
  if (pipe(out) != 0 || pipe(err) != 0) {
    return std::nullopt;
  }
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    return std::nullopt;
  }
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    close(out[0]);
    close(err[0]);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  Run run;
  int fds[2] = {out[0], err[0]};
  const auto deadline = start + kRunTimeout;
  while ((fds[0] >= 0 || fds[1] >= 0) && Clock::now() < deadline) {
    pollfd polled[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (poll(polled, 2, 100) <= 0) {
      continue;
    }
    const auto now = Clock::now();
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0 || (polled[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
        continue;
      }
      char buffer[4096];
      const ssize_t n = read(fds[i], buffer, sizeof buffer);
      if (n <= 0) {
        close(fds[i]);
        fds[i] = -1;
        continue;
      }
      std::string& text = i == 0 ? run.out : run.err;
      text.append(buffer, static_cast<std::size_t>(n));
      if (i == 0 && !run.firstLine && text.find('\n') != std::string::npos) {
        run.firstLine = now - start;
      }
    }
  }
  for (int fd : fds) {
    if (fd >= 0) {
      close(fd);
    }
  }
  if (Clock::now() >= deadline) {
    kill(pid, SIGKILL);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.exited = Clock::now() - start;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

std::string DeviceIndexOf(const std::string& listing, const std::string& name) {
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos && line.substr(tab + 1) == name) {
      return line.substr(0, tab);
    }
  }
  return {};
}

// The stop and the close each silence the device, so a complete run ends on
// two all-notes-off in a row.
bool EndsSilenced(const std::vector<std::uint8_t>& bytes) {
  static const std::vector<std::uint8_t> kTail{0xB0, 0x7B, 0x00, 0xB0, 0x7B, 0x00};
  return bytes.size() >= kTail.size() && std::equal(kTail.begin(), kTail.end(), bytes.end() - 6);
}

void PrintFigures(const char* what, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::printf("%-44s min %7.1f  median %7.1f  max %7.1f ms\n", what, values.front(),
              values[values.size() / 2], values.back());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string program = argc > 1 ? argv[1] : SONAVELA_CLI_PATH;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  const std::string pid = std::to_string(getpid());
  const std::string serverName = "sonavela_bench_" + pid;
  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("JACK_DEFAULT_SERVER", serverName.c_str(), 1);

  JackTestServer server;
  if (!server.Start(serverName, std::chrono::seconds(15), kPeriod)) {
    std::fprintf(stderr, "%s\n", server.Error().c_str());
    return 1;
  }
  JackMidiSink sink;
  if (!sink.Open(serverName, "sonavela_bench_sink_" + pid)) {
    std::fprintf(stderr, "%s\n", sink.Error().c_str());
    return 1;
  }
  const std::optional<Run> listing = Execute(program, {"--list-devices"});
  const std::string device = listing ? DeviceIndexOf(listing->out, sink.PortName()) : "";
  if (device.empty()) {
    std::fprintf(stderr, "%s is not listed by %s --list-devices\n", sink.PortName().c_str(),
                 program.c_str());
    return 1;
  }

  std::vector<double> starts;
  std::vector<double> exits;
  int silenced = 0;
  for (int i = 0; i < runs; ++i) {
    sink.Discard();
    const std::optional<Run> run =
        Execute(program, {"--device", device, "--steps", std::to_string(kSteps), "--interval",
                          std::to_string(kIntervalMs)});
    if (!run || !run->firstLine) {
      std::fprintf(stderr, "run %d printed no result line: %s\n", i + 1,
                   run ? run->err.c_str() : "cannot start");
      return 1;
    }
    if (run->status != 0) {
      std::fprintf(stderr, "run %d exited with %d: %s", i + 1, run->status, run->err.c_str());
    }
    starts.push_back(Ms(*run->firstLine));
    const auto lastIntervalEnd = *run->firstLine + std::chrono::milliseconds(kSteps * kIntervalMs);
    exits.push_back(Ms(run->exited - lastIntervalEnd));
    // What the sink received before the program's port went away is all
    // there will be; only our own reading of its ring may lag.
    const std::vector<std::uint8_t> bytes =
        sink.WaitForBytes(std::size_t{1} << 20, std::chrono::milliseconds(100));
    silenced += EndsSilenced(bytes) ? 1 : 0;
  }

  std::printf("%s --device %s --steps %d --interval %d, %d runs\n", program.c_str(), device.c_str(),
              kSteps, kIntervalMs, runs);
  std::printf("JACK: dummy driver, 48000 Hz, %u frames a period (%.1f ms)\n", kPeriod,
              kPeriod * 1000.0 / 48000.0);
  PrintFigures("exec to first result line (goal 50 ms):", starts);
  PrintFigures("last interval's end to exit (goal 50 ms):", exits);
  std::printf("final all-notes-off reached the sink: %d of %d runs\n", silenced, runs);
  return 0;
}
