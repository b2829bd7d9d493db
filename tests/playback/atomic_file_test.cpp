// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/atomic_file.h"
#include "support/why.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace sonavela::playback {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Device nodes and FIFOs are made here, never taken from /dev: a faulty save
// renames over its target, and the tests run as root.
class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("sonavela_atomic_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  [[nodiscard]] std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  static void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  fs::path dir_;
};

TEST_F(AtomicFileTest, ReplacesARegularFileKeepingItsPermissions) {
  const fs::path path = dir_ / "song.mid";
  Write(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  EXPECT_OK(WriteFileAtomically(path, "new bytes"));
  EXPECT_EQ(Read(path), "new bytes");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640U);
  EXPECT_THAT(Entries(), ElementsAre("song.mid"));
}

TEST_F(AtomicFileTest, ASymbolicLinkIsFollowedAndKept) {
  const fs::path real = dir_ / "real.mid";
  const fs::path link = dir_ / "link.mid";
  Write(real, "old");
  fs::create_symlink(real, link);
  EXPECT_OK(WriteFileAtomically(link, "new"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(real), "new");
  EXPECT_TRUE(SameFile(link, real));
}

TEST_F(AtomicFileTest, ALinkToAFileNotMadeYetIsWrittenThrough) {
  const fs::path real = dir_ / "takes" / "new.mid";
  fs::create_directories(real.parent_path());
  fs::create_symlink("takes/new.mid", dir_ / "link.mid");
  fs::create_symlink(dir_ / "link.mid", dir_ / "link-to-link.mid");
  EXPECT_OK(WriteFileAtomically(dir_ / "link-to-link.mid", "made"));
  EXPECT_EQ(Read(real), "made");
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.mid"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link-to-link.mid"));
}

// A file swapped for a FIFO or a folder while it was being written is not
// renamed over.
TEST_F(AtomicFileTest, ATargetSwappedWhileWritingIsLeftAlone) {
  for (const bool fifo : {true, false}) {
    const fs::path path = dir_ / (fifo ? "fifo.mid" : "folder.mid");
    Write(path, "old");
    Result<std::unique_ptr<AtomicFile>> file = AtomicFile::Create(path);
    ASSERT_OK(file);
    const std::uint8_t bytes[] = {1, 2, 3};
    ASSERT_OK((*file)->Append(bytes));
    fs::remove(path);
    if (fifo) {
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    } else {
      fs::create_directories(path);
    }
    EXPECT_THAT(Why((*file)->Commit()), HasSubstr(fifo ? "not a regular file" : "is a folder"));
    file->reset();
    EXPECT_EQ(fs::is_directory(path), !fifo);
    EXPECT_EQ(fs::is_fifo(path), fifo);
  }
  EXPECT_THAT(Entries(), ElementsAre("fifo.mid", "folder.mid")) << "no temporary is left";
}

TEST_F(AtomicFileTest, WhatIsNoRegularFileIsRefusedAndLeftAlone) {
  const fs::path fifo = dir_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path device = dir_ / "null";
  const bool haveDevice = ::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  const fs::path folder = dir_ / "folder";
  fs::create_directories(folder);
  const fs::path linkToFifo = dir_ / "to-fifo";
  fs::create_symlink(fifo, linkToFifo);

  struct Case {
    fs::path path;
    const char* reason;
  };
  std::vector<Case> cases{{fifo, "not a regular file"},
                          {linkToFifo, "not a regular file"},
                          {folder, "is a folder"},
                          {dir_ / "no" / "such" / "song.mid", "No such file"},
                          {fs::path(), "no file name"}};
  if (haveDevice) {
    cases.push_back({device, "not a regular file"});
  }
  for (const Case& c : cases) {
    EXPECT_THAT(Why(AtomicFile::Create(c.path)), HasSubstr(c.reason)) << c.path;
  }
  // Nothing was created or replaced beside them.
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  if (haveDevice) {
    ASSERT_EQ(::lstat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
  EXPECT_EQ(Entries().size(), haveDevice ? 4U : 3U);
}

TEST_F(AtomicFileTest, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  const fs::path path = dir_ / "song.mid";
  Write(path, "old");
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
  const std::string error = Why(WriteFileAtomically(path, std::string(1000, 'x')));
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_THAT(error, HasSubstr("too large"));
  EXPECT_EQ(Read(path), "old");
  EXPECT_THAT(Entries(), ElementsAre("song.mid"));
}

TEST_F(AtomicFileTest, StreamsAndPatchesBeforeCommitAndOnlyThenReplaces) {
  const fs::path path = dir_ / "take.wav";
  Write(path, "old");
  Result<std::unique_ptr<AtomicFile>> made = AtomicFile::Create(path);
  ASSERT_OK(made);
  std::unique_ptr<AtomicFile> file = std::move(made).value();
  const std::vector<std::uint8_t> head{'0', '0', '0', '0'};
  const std::vector<std::uint8_t> body{'b', 'o', 'd', 'y'};
  const std::vector<std::uint8_t> size{'4'};
  ASSERT_TRUE(file->Append(head));
  ASSERT_TRUE(file->Append(body));
  ASSERT_TRUE(file->Overwrite(3, size));
  EXPECT_FALSE(file->Overwrite(7, head)) << "beyond what was written";
  EXPECT_EQ(Read(path), "old") << "nothing replaced before the commit";
  ASSERT_TRUE(file->Commit());
  EXPECT_EQ(Read(path), "0004body");
  EXPECT_FALSE(file->Append(body));
  file.reset();
  EXPECT_THAT(Entries(), ElementsAre("take.wav"));
}

TEST_F(AtomicFileTest, TheTemporaryOfAKilledSaveIsClearedByTheNextSave) {
  const fs::path path = dir_ / "mk.mid";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Result<std::unique_ptr<AtomicFile>> file = AtomicFile::Create(path);
    const std::vector<std::uint8_t> bytes(1000, 'x');
    _exit(file && (*file)->Append(bytes) ? 0 : 1);  // as if killed: no destructor
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  const std::vector<std::string> left = Entries();
  ASSERT_EQ(left.size(), 1U);
  EXPECT_THAT(left.front(), ::testing::StartsWith("mk.mid.sonavela-" + std::to_string(child)));

  // A temporary of a program that still runs (this one) is not touched.
  const fs::path alive = dir_ / ("mk.mid.sonavela-" + std::to_string(getpid()) + "-abcdef.part");
  Write(alive, "busy");
  EXPECT_OK(WriteFileAtomically(path, "new"));
  EXPECT_THAT(Entries(), ElementsAre("mk.mid", alive.filename().string()));
}

TEST_F(AtomicFileTest, SameFileSeesThroughLinksAndNames) {
  const fs::path a = dir_ / "a.mid";
  Write(a, "x");
  fs::create_hard_link(a, dir_ / "hard.mid");
  fs::create_symlink(a, dir_ / "soft.mid");
  EXPECT_TRUE(SameFile(a, dir_ / "hard.mid"));
  EXPECT_TRUE(SameFile(a, dir_ / "soft.mid"));
  EXPECT_TRUE(SameFile(dir_ / "new.mid", dir_ / "." / "new.mid"));
  EXPECT_FALSE(SameFile(a, dir_ / "new.mid"));
}

}  // namespace
}  // namespace sonavela::playback
