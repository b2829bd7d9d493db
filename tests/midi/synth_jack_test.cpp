// The built-in synthesizer on a private JACK server: where its audio goes,
// what the user is told when it can go nowhere, and what happens when the
// server dies under it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "harmony/chord.h"
#include "midi/devices/synth_backend.h"
#include "midi/devices/synth_engine.h"
#include "midi/port/midi_port.h"
#include "stderr_capture.h"

namespace sonavela::midi {
namespace {

using Clock = std::chrono::steady_clock;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const Timestamp kT{};

struct JackClientCloser {
  void operator()(jack_client_t* client) const { (void)jack_client_close(client); }
};
using JackClient = std::unique_ptr<jack_client_t, JackClientCloser>;

JackClient OpenClient(const std::string& server) {
  jack_status_t status{};
  return JackClient(jack_client_open(
      "sonavela_synth_test", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
      &status, server.c_str()));
}

// jackd on the dummy driver with the given options, killed with the test
// process at the latest. Unlike a server that is asked to stop, it can be
// killed outright, as a crashing server would go.
class PrivateJackd {
 public:
  PrivateJackd(std::string name, const std::vector<std::string>& driverOptions)
      : name_(std::move(name)) {
    args_ = {"jackd", "--no-realtime", "--name", name_, "-d", "dummy"};
    args_.insert(args_.end(), driverOptions.begin(), driverOptions.end());
    Launch();
  }
  ~PrivateJackd() {
    Stop(SIGTERM);
    ReleaseKilled();
  }
  PrivateJackd(const PrivateJackd&) = delete;
  PrivateJackd& operator=(const PrivateJackd&) = delete;

  // False when jackd (package jackd2) is missing or does not answer in time.
  [[nodiscard]] bool WaitUntilAnswering() const {
    // libjack reports every attempt made while the server boots.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (pid_ > 0 && Clock::now() < deadline) {
      if (OpenClient(name_)) {
        return true;
      }
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void Kill() {
    killed_ = killed_ || pid_ > 0;
    Stop(SIGKILL);
  }

 private:
  void Launch() {
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) {
        _exit(126);
      }
      std::vector<char*> argv;
      for (std::string& arg : args_) {
        argv.push_back(arg.data());
      }
      argv.push_back(nullptr);
      (void)freopen("/dev/null", "w", stdout);
      (void)freopen("/dev/null", "w", stderr);
      execvp("jackd", argv.data());
      _exit(127);
    }
  }
  void Stop(int signal) {
    if (pid_ > 0) {
      kill(pid_, signal);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  // A killed server keeps its entry in JACK's table of servers, which has
  // room for eight; one that starts under the same name and stops properly
  // frees it again. Its clients' semaphores are left over as well.
  void ReleaseKilled() {
    if (!killed_) {
      return;
    }
    Launch();
    (void)WaitUntilAnswering();
    Stop(SIGTERM);
    const std::string infix = "_" + name_ + "_";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec)) {
      const std::string file = entry.path().filename().string();
      if (file.rfind("jack_sem.", 0) == 0 && file.find(infix) != std::string::npos) {
        std::filesystem::remove(entry.path(), ec);
      }
    }
  }

  std::string name_;
  std::vector<std::string> args_;
  pid_t pid_ = -1;
  bool killed_ = false;
};

std::vector<std::string> ConnectionsOf(jack_client_t* client, const std::string& portName) {
  std::vector<std::string> connected;
  jack_port_t* port = jack_port_by_name(client, portName.c_str());
  if (port == nullptr) {
    return {"(no port " + portName + ")"};
  }
  const char** names = jack_port_get_all_connections(client, port);
  for (const char** name = names; name != nullptr && *name != nullptr; ++name) {
    connected.emplace_back(*name);
  }
  jack_free(static_cast<void*>(names));
  return connected;
}

TEST(SynthOnJack, PlaysIntoThePlaybackPortsOrSaysThereAreNoneAndFailsWhenJackDies) {
  struct Case {
    const char* playbackPorts;
    const char* rate;
  };
  const Case cases[] = {{"2", "32000"}, {"0", "22050"}};
  const std::string pid = std::to_string(getpid());
  setenv("JACK_NO_START_SERVER", "1", 1);

  for (const Case& c : cases) {
    const bool playback = std::string(c.playbackPorts) != "0";
    SCOPED_TRACE(std::string("playback ports: ") + c.playbackPorts);
    const std::string server = "sonavela_synth_" + pid + "_" + c.playbackPorts;
    const std::string client = "SonavelaSynth" + pid;
    PrivateJackd jackd(server, {"-r", c.rate, "-P", c.playbackPorts, "-p", "1024"});
    ASSERT_TRUE(jackd.WaitUntilAnswering()) << "jackd (package jackd2) did not start";
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);

    testing::StderrCapture stderrText;
    const std::optional<JackOutput> probed = SynthEngine::ProbeJack();
    ASSERT_TRUE(probed.has_value());
    EXPECT_EQ(probed->sampleRate, std::stod(c.rate));
    EXPECT_EQ(probed->hasPlaybackPorts, playback);

    SynthBackendOptions options;
    options.audioDriver = "jack";
    options.clientName = client;
    MidiPort port(std::make_unique<SynthBackend>(options));
    ASSERT_TRUE(port.OpenDevice(0, kT)) << port.LastError();
    const std::vector<std::string> notices = port.TakeNotices();
    if (playback) {
      EXPECT_THAT(notices, IsEmpty());
      JackClient observer = OpenClient(server);
      ASSERT_TRUE(observer);
      EXPECT_THAT(ConnectionsOf(observer.get(), client + ":left"),
                  ElementsAre("system:playback_1"));
      EXPECT_THAT(ConnectionsOf(observer.get(), client + ":right"),
                  ElementsAre("system:playback_2"));
    } else {
      ASSERT_EQ(notices.size(), 1U);
      EXPECT_THAT(notices[0], HasSubstr("no playback ports"));
      EXPECT_THAT(notices[0], HasSubstr(client + ":left"));
      EXPECT_THAT(port.TakeNotices(), IsEmpty()) << "handed out once";
    }

    port.PlayChord({{'C', 0}, harmony::kMajorTriad}, kT);
    EXPECT_FALSE(port.DeviceFailed());
    jackd.Kill();
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!port.DeviceFailed() && Clock::now() < deadline) {
      port.PlayChord({{'A', 0}, harmony::kMinorTriad}, kT);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::optional<std::string> failure = port.TakeFailure();
    ASSERT_TRUE(failure.has_value()) << "still sending 5 s after JACK died";
    EXPECT_THAT(*failure, HasSubstr("lost its audio output"));
    EXPECT_THAT(*failure, HasSubstr("JACK server"));
    (void)port.CloseDevice(kT);
    EXPECT_EQ(stderrText.Take(), "");
  }
}

}  // namespace
}  // namespace sonavela::midi
