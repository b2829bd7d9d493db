#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "midi/midi_file.h"
#include "midi/short_message.h"
#include "playback/file_save.h"

namespace sonavela::playback {
namespace {

using midi::MidiFileRecording;
using midi::PackShortMessage;
using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

class SaveMidiFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("sonavela_midi_save_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    recording_.AddMessage(PackShortMessage(0xC0, 48));
    for (int note = 40; note < 90; ++note) {
      recording_.AddMessage(PackShortMessage(0x90, static_cast<std::uint8_t>(note), 64));
    }
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static Bytes Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  [[nodiscard]] std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  void WriteOld(const std::filesystem::path& path) const {
    std::ofstream(path, std::ios::binary) << "old";
  }

  std::filesystem::path dir_;
  MidiFileRecording recording_;
};

TEST_F(SaveMidiFileTest, WritesTheEncodingAndReplacesAnOldFile) {
  const std::filesystem::path path = dir_ / "song.mid";
  WriteOld(path);
  EXPECT_EQ(SaveMidiFile(path, recording_, milliseconds{2000}), "");
  EXPECT_EQ(Read(path), recording_.Encode(milliseconds{2000}));
  EXPECT_THAT(Entries(), ElementsAre("song.mid"));
}

TEST_F(SaveMidiFileTest, FailedWriteLeavesTheOldFileIntact) {
  const std::filesystem::path path = dir_ / "song.mid";
  WriteOld(path);
  // Files may grow to 64 bytes only: the write fails part way (EFBIG).
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &previous), 0);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string error = SaveMidiFile(path, recording_, milliseconds{0});
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_THAT(error, HasSubstr("Cannot save the MIDI file"));
  EXPECT_THAT(error, HasSubstr(path.string()));
  EXPECT_EQ(Read(path), (Bytes{'o', 'l', 'd'}));
  EXPECT_THAT(Entries(), ElementsAre("song.mid"));
}

TEST_F(SaveMidiFileTest, UnwritablePlacesAreReportedAndLeaveNothingBehind) {
  const std::filesystem::path occupied = dir_ / "folder";
  std::filesystem::create_directories(occupied / "inside");
  const std::filesystem::path missing = dir_ / "no" / "such" / "song.mid";
  for (const std::filesystem::path& path : {occupied, missing, std::filesystem::path()}) {
    const std::string error = SaveMidiFile(path, recording_, milliseconds{0});
    EXPECT_THAT(error, HasSubstr("Cannot save the MIDI file")) << path;
  }
  EXPECT_TRUE(std::filesystem::is_directory(occupied / "inside"));
  EXPECT_THAT(Entries(), ElementsAre("folder"));
}

}  // namespace
}  // namespace sonavela::playback
