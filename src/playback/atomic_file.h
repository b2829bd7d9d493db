// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "midi/files/byte_sink.h"

namespace sonavela::playback {

// A file that replaces the one at its path only when it is complete: the
// bytes go to a temporary file next to it and are renamed over it at Commit,
// so the old file stays intact on every failure, a full disk and a killed
// program included. Created before anything is recorded, so a path that
// cannot be written is refused at once.
//
// The target must be a regular file or not exist yet: a device node, a FIFO
// or a folder is refused, never replaced, also when it takes the file's
// place while the bytes are written. A symbolic link is followed and the
// file it names is replaced, keeping its permissions, or made where it does
// not exist yet. Temporary files are
// named "<name>.sonavela-<pid>-XXXXXX.part"; one left behind by a program that
// was killed is removed by the next save to the same path.
class AtomicFile final : public midi::ByteSink {
 public:
  // Fails ("is not a regular file", "No such file or directory") when the
  // file cannot be made.
  static Result<std::unique_ptr<AtomicFile>> Create(const std::filesystem::path& path);
  struct Token {
   private:
    Token() = default;
    friend class AtomicFile;
  };
  // Only Create makes one.
  AtomicFile(Token, std::filesystem::path target, std::filesystem::path temporary, int fd);
  ~AtomicFile() override;  // removes the temporary file unless committed
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  Status Append(std::span<const std::uint8_t> bytes) override;
  Status Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;

  // Makes the bytes durable and puts them in place of the target.
  Status Commit();

  // The file that is replaced: the path with its symbolic links resolved.
  [[nodiscard]] const std::filesystem::path& Target() const { return target_; }
  [[nodiscard]] const std::filesystem::path& TemporaryPath() const { return temporary_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  bool committed_ = false;
};

// A temporary file without a name, in the system's temporary folder: a
// recording that has outgrown memory goes on there. The system removes it
// when it is closed, also when the program is killed.
class SpillFile final : public midi::ByteSink {
 public:
  // Fails when none can be made.
  static Result<std::unique_ptr<SpillFile>> Create();
  explicit SpillFile(int fd) : fd_(fd) {}
  ~SpillFile() override;
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  Status Append(std::span<const std::uint8_t> bytes) override;
  Status Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;

  // Appends everything written here to `out`.
  Status CopyTo(midi::ByteSink& out);

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

// Whether two paths name the same file, once links are followed.
[[nodiscard]] bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Replaces the file at `path` with `bytes` through an AtomicFile; fails with
// the reason ("No space left on device").
Status WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace sonavela::playback
