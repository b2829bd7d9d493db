// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in synthesizer on a private JACK server: where its audio goes,
// what the user is told when it can go nowhere, what happens when the
// server dies under it, and when its notes sound.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "harmony/chord.h"
#include "jack_audio_recorder.h"
#include "midi/devices/synth/synth_backend.h"
#include "midi/devices/synth/synth_engine.h"
#include "midi/port/midi_port.h"
#include "stderr_capture.h"
#include "support/why.h"

namespace sonavela::midi {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
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
    ASSERT_OK(port.OpenDevice(0, kT));
    const std::vector<Notice> notices = port.TakeNotices();
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
      EXPECT_THAT(EnglishText(notices[0]), HasSubstr("no playback ports"));
      EXPECT_THAT(EnglishText(notices[0]), HasSubstr(client + ":left"));
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
    const std::optional<Error> failure = port.TakeFailure();
    ASSERT_TRUE(failure.has_value()) << "still sending 5 s after JACK died";
    EXPECT_THAT(EnglishText(*failure), HasSubstr("lost its audio output"));
    EXPECT_THAT(EnglishText(*failure), HasSubstr("JACK server"));
    (void)port.CloseDevice(kT);
    EXPECT_EQ(stderrText.Take(), "");
  }
}

// The first sample of each sound: the first to reach `threshold` after at
// least `quiet` samples below it.
std::vector<std::size_t> Onsets(std::span<const float> samples, float threshold,
                                std::size_t quiet) {
  std::vector<std::size_t> onsets;
  std::size_t below = quiet;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (std::abs(samples[i]) < threshold) {
      ++below;
      continue;
    }
    if (below >= quiet) {
      onsets.push_back(i);
    }
    below = 0;
  }
  return onsets;
}

double Ms(std::chrono::nanoseconds d) {
  return static_cast<double>(d.count()) / 1e6;
}

TEST(SynthOnJack, EachNoteSoundsAtItsTimeLateOnesAtOnceAndInTheOrderSent) {
  constexpr int kNotes = 50;
  constexpr auto kSpacing = 100ms;
  const std::string pid = std::to_string(getpid());
  setenv("JACK_NO_START_SERVER", "1", 1);
  const std::string server = "sonavela_synth_" + pid + "_timing";
  const std::string client = "SonavelaSynth" + pid;
  // At 44.1 kHz, 100 ms is no whole number of FluidSynth's 64-frame blocks,
  // so the notes fall on every position within a block.
  PrivateJackd jackd(server, {"-r", "44100", "-P", "0", "-p", "512"});
  ASSERT_TRUE(jackd.WaitUntilAnswering()) << "jackd (package jackd2) did not start";
  setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);

  SynthBackendOptions options;
  options.audioDriver = "jack";
  options.clientName = client;
  SynthBackend synth(options);
  ASSERT_OK(synth.Open(0));
  const Timestamp opened = Clock::now();
  testing::JackAudioRecorder recorder;
  ASSERT_TRUE(recorder.Open(server, 44100 * 12)) << recorder.Error();
  ASSERT_TRUE(recorder.ConnectFrom(client + ":left")) << recorder.Error();
  const auto period =
      std::chrono::nanoseconds(std::llround(recorder.Period() * 1e9 / recorder.SampleRate()));
  EXPECT_GE(synth.Lookahead(), period);
  EXPECT_LE(synth.Lookahead(), period + 10ms);

  // Claves, dry, each cut off by all-sounds-off after 50 ms: every note
  // starts out of silence with the same waveform, so its onset is found at
  // the same sample of it.
  constexpr int kDrums = 10;
  const MidiMessage note = MidiMessage::NoteOn(kDrums, 75, 127);
  const MidiMessage cut = MidiMessage::ControlChange(kDrums, 120, 0);
  ASSERT_TRUE(synth.Send(MidiMessage::ControlChange(kDrums, 91, 0), kT));
  ASSERT_TRUE(synth.Send(MidiMessage::ControlChange(kDrums, 93, 0), kT));
  recorder.Start();

  // As the playback loop sends: each note Lookahead before its time, once
  // the synthesizer has had a second and a half to find the rhythm of its
  // callbacks.
  std::vector<Timestamp> stamps;
  const Timestamp first = opened + 1500ms;
  for (int i = 0; i < kNotes; ++i) {
    const Timestamp at = first + i * kSpacing;
    std::this_thread::sleep_until(at - synth.Lookahead());
    ASSERT_TRUE(synth.Send(note, at));
    ASSERT_TRUE(synth.Send(cut, at + 50ms));
    stamps.push_back(at);
  }
  // Notes stamped relative to the moment they are sent, all at once.
  struct Case {
    const char* name;
    std::vector<std::chrono::nanoseconds> stamps;
    std::chrono::nanoseconds expected;  // the one onset, after the latency
    std::chrono::nanoseconds tolerance;
  };
  const Case cases[] = {
      {"a late note sounds at once", {-1s}, 0ns, period + 1ms},
      {"an earlier stamp waits for the note sent before it", {100ms, 40ms}, 100ms, 5ms},
  };
  std::vector<Timestamp> sent;
  for (const Case& c : cases) {
    std::this_thread::sleep_for(300ms);
    sent.push_back(Clock::now());
    for (std::chrono::nanoseconds offset : c.stamps) {
      ASSERT_TRUE(synth.Send(note, sent.back() + offset));
    }
    ASSERT_TRUE(synth.Send(cut, sent.back() + 150ms));
  }
  std::this_thread::sleep_for(300ms);
  recorder.Stop();

  const std::span<const float> samples = recorder.Samples();
  float peak = 0;
  for (float s : samples) {
    peak = std::max(peak, std::abs(s));
  }
  ASSERT_GT(peak, 0.05F) << "hardly anything was heard";
  const std::vector<std::size_t> onsets =
      Onsets(samples, peak * 0.3F, static_cast<std::size_t>(recorder.SampleRate() * 0.02));
  ASSERT_EQ(onsets.size(), kNotes + std::size(cases));

  std::vector<std::chrono::nanoseconds> latencies;
  for (int i = 0; i < kNotes; ++i) {
    latencies.push_back(recorder.TimeOf(onsets[i]) - stamps[i]);
  }
  std::vector<std::chrono::nanoseconds> sorted = latencies;
  std::sort(sorted.begin(), sorted.end());
  const std::chrono::nanoseconds latency = sorted[kNotes / 2];
  // The recorder hears the very cycle the synthesizer writes, so the only
  // latency left is the synthesizer's own: a loudspeaker would add JACK's.
  EXPECT_LT(std::chrono::abs(latency), 2ms);
  std::vector<double> errors;
  double spacingError = 0;
  for (int i = 0; i < kNotes; ++i) {
    errors.push_back(std::abs(Ms(latencies[i] - latency)));
    EXPECT_LE(errors.back(), 1.0) << "note " << i;
    if (i > 0) {
      spacingError = std::max(spacingError, std::abs(Ms(latencies[i] - latencies[i - 1])));
    }
  }
  std::sort(errors.begin(), errors.end());
  std::printf(
      "onset error over %d notes: median %.3f ms, max %.3f ms; latency %.3f ms; "
      "largest spacing error %.3f ms; lookahead %.1f ms\n",
      kNotes, errors[kNotes / 2], errors.back(), Ms(latency), spacingError, Ms(synth.Lookahead()));

  for (std::size_t c = 0; c < std::size(cases); ++c) {
    SCOPED_TRACE(cases[c].name);
    const auto heard = recorder.TimeOf(onsets[kNotes + c]) - sent[c] - latency;
    EXPECT_LE(std::chrono::abs(heard - cases[c].expected), cases[c].tolerance)
        << Ms(heard) << " ms after it was sent";
  }
  EXPECT_OK(synth.Close());
}

}  // namespace
}  // namespace sonavela::midi
