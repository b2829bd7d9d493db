// SPDX-License-Identifier: GPL-3.0-or-later
// The command line run in-process against recorded devices, for what a real
// machine cannot show on demand: device names that cannot be read, devices
// that refuse to open, and the exact MIDI stream.
#include "cli/app.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "midi/port/midi_port.h"
#include "support/recording_backend.h"

namespace sonavela::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// An anonymous temporary file standing in for standard output or error.
class CapturedFd {
 public:
  CapturedFd() : file_(std::tmpfile()) {}
  ~CapturedFd() { std::fclose(file_); }
  CapturedFd(const CapturedFd&) = delete;
  CapturedFd& operator=(const CapturedFd&) = delete;

  [[nodiscard]] int Fd() const { return fileno(file_); }
  [[nodiscard]] std::string Text() const {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    off_t offset = 0;
    while ((n = ::pread(Fd(), buffer, sizeof buffer, offset)) > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
      offset += n;
    }
    return text;
  }

 private:
  std::FILE* file_;
};

constexpr midi::MidiMessage NoteOn(int key) {
  return midi::MidiMessage::NoteOn(1, key, 64);
}
constexpr midi::MidiMessage kOff = midi::MidiMessage::AllNotesOff(1);

class CliAppTest : public ::testing::Test {
 protected:
  int Run(std::vector<std::string_view> args, std::vector<midi::RecordedDevice> devices) {
    Environment env{out_writer_, err_writer_, stop_,
                    [this, devices](const std::string&, const midi::SynthSound&) {
                      ++backendsMade_;
                      return std::make_unique<midi::RecordingBackend>(devices, log_);
                    }};
    return RunCli(args, env);
  }

  CapturedFd out_;
  CapturedFd err_;
  FdWriter out_writer_{out_.Fd()};
  FdWriter err_writer_{err_.Fd()};
  StopSignal stop_;
  std::shared_ptr<midi::MidiLog> log_ = std::make_shared<midi::MidiLog>();
  int backendsMade_ = 0;
};

TEST_F(CliAppTest, ListsDevicesWithErrorForUnreadableNames) {
  EXPECT_EQ(Run({"--list-devices"}, {{"Synth A"}, {std::nullopt}, {"Port B", false}}), 0);
  EXPECT_EQ(out_.Text(), "0\tSynth A\n1\t<Error>\n2\tPort B\n");
  EXPECT_EQ(err_.Text(), "");
}

TEST_F(CliAppTest, PlaysTheExactStreamAndSilencesAndClosesAtTheEnd) {
  EXPECT_EQ(Run({"--device", "1", "--steps", "2", "--interval", "0", "--instrument", "1"},
                {{"A"}, {"B"}}),
            0);
  EXPECT_EQ(out_.Text(), "C   : C\nC   : Am\n");
  EXPECT_THAT(log_->MessagesTo(1),
              ElementsAre(kOff,                                                // opened
                          kOff, midi::MidiMessage::ProgramChange(1, 0), kOff,  // Start
                          kOff, NoteOn(96), NoteOn(91), NoteOn(88), NoteOn(84), NoteOn(79),
                          NoteOn(76), NoteOn(72), NoteOn(67), NoteOn(64), NoteOn(60), NoteOn(48),
                          kOff, NoteOn(96), NoteOn(93), NoteOn(88), NoteOn(84), NoteOn(81),
                          NoteOn(76), NoteOn(72), NoteOn(69), NoteOn(64), NoteOn(57), NoteOn(45),
                          kOff,    // Stop
                          kOff));  // the port closing the device
  ASSERT_FALSE(log_->events.empty());
  EXPECT_EQ(log_->events.back(), (midi::RecordedEvent{midi::RecordedKind::kClose, 1}));
  EXPECT_THAT(log_->MessagesTo(0), IsEmpty());
}

TEST_F(CliAppTest, ADeviceThatCannotBeOpenedPlaysSilentlyWithTheReason) {
  EXPECT_EQ(Run({"--steps", "3", "--interval", "0"}, {{"Broken", false}}), 0);
  EXPECT_EQ(out_.Text(), "C   : C\nC   : Am\nC   : Dm\n");
  const std::string err = err_.Text();
  EXPECT_THAT(err,
              ::testing::StartsWith("sonavela-cli: cannot open MIDI output device 0 (Broken): "));
  EXPECT_THAT(err, ::testing::EndsWith("; playing silently\n"));
  EXPECT_THAT(log_->Messages(), IsEmpty());
}

TEST_F(CliAppTest, ADeviceThatDoesNotExistIsAUsageError) {
  const struct {
    std::vector<midi::RecordedDevice> devices;
    const char* message;
  } cases[] = {
      {{{"A"}, {"B"}},
       "sonavela-cli: no MIDI output device 2 (there are 2 devices; see --list-devices, or use "
       "--device none)\n"},
      {{{"A"}},
       "sonavela-cli: no MIDI output device 2 (there is 1 device; see --list-devices, or use "
       "--device none)\n"},
  };
  for (const auto& c : cases) {
    CapturedFd err;
    FdWriter errWriter(err.Fd());
    Environment env{out_writer_, errWriter, stop_,
                    [&](const std::string&, const midi::SynthSound&) {
                      return std::make_unique<midi::RecordingBackend>(c.devices, log_);
                    }};
    const std::vector<std::string_view> args{"--device", "2", "--steps", "1"};
    EXPECT_EQ(RunCli(args, env), 2);
    EXPECT_EQ(err.Text(), c.message);
  }
  EXPECT_EQ(out_.Text(), "");
  EXPECT_THAT(log_->events, IsEmpty());
}

TEST_F(CliAppTest, DeviceNoneTouchesNoDevice) {
  EXPECT_EQ(Run({"--device", "none", "--steps", "2", "--interval", "0", "--minor"}, {{"A"}}), 0);
  EXPECT_EQ(out_.Text(), "Am  : Am\nAm  : F\n");
  EXPECT_EQ(backendsMade_, 0);
  EXPECT_THAT(log_->events, IsEmpty());
}

TEST_F(CliAppTest, UsageErrorsAreOneLineAndStatusTwo) {
  EXPECT_EQ(Run({"--steps", "many"}, {{"A"}}), 2);
  EXPECT_EQ(err_.Text(),
            "sonavela-cli: --steps: 'many' is not a whole number from 1 to 1000000000\n");
  EXPECT_EQ(out_.Text(), "");
  EXPECT_EQ(backendsMade_, 0);
}

TEST_F(CliAppTest, AStopRequestEndsTheRunCleanly) {
  stop_.Request();
  EXPECT_EQ(Run({"--interval", "60000"}, {{"A"}}), 0);
  // Start has played the tonic; the stop silences and closes at once.
  EXPECT_EQ(out_.Text(), "C   : C\n");
  const std::vector<midi::MidiMessage> sent = log_->MessagesTo(0);
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[sent.size() - 1], kOff);
  EXPECT_EQ(sent[sent.size() - 2], kOff);
  EXPECT_EQ(log_->events.back().kind, midi::RecordedKind::kClose);
}

TEST_F(CliAppTest, AFailingOutputIsAnErrorButAClosedPipeIsNot) {
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  FdWriter fullWriter(full);
  Environment env{fullWriter, err_writer_, stop_, [&](const std::string&, const midi::SynthSound&) {
                    return std::make_unique<midi::RecordingBackend>(
                        std::vector<midi::RecordedDevice>{{"A"}}, log_);
                  }};
  const std::vector<std::string_view> commands[] = {
      {"--interval", "0"}, {"--print-rules"}, {"--help"}, {"--version"}, {"--list-devices"}};
  for (const std::vector<std::string_view>& args : commands) {
    CapturedFd err;
    FdWriter errWriter(err.Fd());
    FdWriter fresh(full);
    Environment each{fresh, errWriter, stop_, env.makeBackend};
    EXPECT_EQ(RunCli(args, each), 1) << args.front();
    EXPECT_EQ(err.Text(),
              "sonavela-cli: cannot write to standard output: No space left on device\n")
        << args.front();
  }
  ::close(full);
  // The endless run ended at the first line, silenced and closed.
  EXPECT_EQ(log_->events.back().kind, midi::RecordedKind::kClose);
  const std::vector<std::string_view> args{"--interval", "0"};

  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  ::close(pipeFds[0]);
  FdWriter closedWriter(pipeFds[1]);
  Environment closed{closedWriter, err_writer_, stop_, env.makeBackend};
  ::signal(SIGPIPE, SIG_IGN);  // as StopSignal leaves it while the program runs
  EXPECT_EQ(RunCli(args, closed), 0);
  ::close(pipeFds[1]);
}

TEST_F(CliAppTest, ADeviceThatFailsWhilePlayingIsToldOnceAndTheRunGoesOn) {
  Environment env{
      out_writer_, err_writer_, stop_, [&](const std::string&, const midi::SynthSound&) {
        auto backend = std::make_unique<midi::RecordingBackend>(
            std::vector<midi::RecordedDevice>{{"Synth A"}, {"Evil\x1b]0;pwned\x07"}}, log_);
        backend->FailSendsAfter(30, "the JACK server has quit");
        return backend;
      }};
  const std::vector<std::string_view> args{"--steps", "6", "--interval", "0"};
  EXPECT_EQ(RunCli(args, env), 1);
  const std::string out = out_.Text();
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6) << out;
  EXPECT_EQ(err_.Text(),
            "sonavela-cli: MIDI output device 0 (Synth A) failed: the JACK server has quit; "
            "playing on silently\n");
  EXPECT_EQ(log_->Messages().size(), 30U) << "nothing is sent to a failed device";
}

TEST_F(CliAppTest, ListingSaysWhyKindsOfDevicesAreMissing) {
  Environment env{
      out_writer_, err_writer_, stop_, [&](const std::string&, const midi::SynthSound&) {
        auto backend = std::make_unique<midi::RecordingBackend>(
            std::vector<midi::RecordedDevice>{{"Synth A"}, {"Evil\x1b]0;pwned\x07"}}, log_);
        backend->unavailable = {Error::Of(ErrorKind::kDevicesUnlisted, "JACK")
                                    .Because(Error::Of(ErrorKind::kNoJackServer))};
        return backend;
      }};
  const std::vector<std::string_view> args{"--list-devices"};
  EXPECT_EQ(RunCli(args, env), 0);
  // Another program's port name reaches the terminal without its control bytes.
  EXPECT_EQ(out_.Text(), "0\tSynth A\n1\tEvil\\x1b]0;pwned\\x07\n");
  EXPECT_EQ(err_.Text(), "sonavela-cli: not listed: JACK: no JACK server is running\n");
}

class CliAppMidiFileTest : public CliAppTest {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("sonavela-cli-app-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path dir_;
};

TEST_F(CliAppMidiFileTest, TheDeviceGetsTheSameStreamWithOrWithoutAFile) {
  const std::vector<std::string_view> args{"--steps", "3", "--interval", "0"};
  EXPECT_EQ(Run(args, {{"A"}}), 0);
  const std::vector<midi::MidiMessage> plain = log_->MessagesTo(0);
  const std::vector<midi::RecordedEvent> plainEvents = log_->events;
  log_->Clear();

  const std::string file = (dir_ / "take.mid").string();
  std::vector<std::string_view> withFile = args;
  withFile.insert(withFile.end(), {"--midi", file});
  EXPECT_EQ(Run(withFile, {{"A"}}), 0);
  EXPECT_EQ(log_->MessagesTo(0), plain);
  EXPECT_EQ(log_->events, plainEvents);
  EXPECT_EQ(err_.Text(), "");
  std::ifstream in(file, std::ios::binary);
  std::string head(4, '\0');
  in.read(head.data(), 4);
  EXPECT_EQ(head, "MThd");
}

TEST_F(CliAppMidiFileTest, AFileThatCannotBeSavedIsAFailureOfOneLine) {
  // The folder goes away while playing (a removed stick, a cleaned temp
  // folder): the music was played, but the file cannot be kept.
  const std::filesystem::path folder = dir_ / "gone";
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "take.mid").string();
  Environment env{out_writer_, err_writer_, stop_,
                  [&](const std::string&, const midi::SynthSound&) {
                    std::filesystem::remove_all(folder);
                    return std::make_unique<midi::RecordingBackend>(
                        std::vector<midi::RecordedDevice>{{"A"}}, log_);
                  }};
  const std::vector<std::string_view> args{"--steps", "2", "--interval", "0", "--midi", file};
  EXPECT_EQ(RunCli(args, env), 1);
  EXPECT_EQ(out_.Text(), "C   : C\nC   : Am\n");
  const std::string err = err_.Text();
  EXPECT_THAT(err, ::testing::StartsWith("sonavela-cli: cannot write '" + file + "': "));
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST_F(CliAppMidiFileTest, DeviceNoneWithAFileStillTouchesNoDevice) {
  const std::string file = (dir_ / "silent.mid").string();
  EXPECT_EQ(Run({"--device", "none", "--steps", "2", "--interval", "0", "--midi", file}, {{"A"}}),
            0);
  EXPECT_EQ(backendsMade_, 0);
  EXPECT_THAT(log_->events, IsEmpty());
  EXPECT_GT(std::filesystem::file_size(file), 14u);
}

}  // namespace
}  // namespace sonavela::cli
