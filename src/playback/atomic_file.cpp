// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace sonavela::playback {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTag = ".sonavela-";
constexpr std::string_view kSuffix = ".part";

Error Reason(int error) {
  return Error::Of(ErrorKind::kSystem, {}, std::system_category().message(error));
}

Error Complete() {
  return Error::Of(ErrorKind::kBadUse, {}, "the file is already complete");
}

fs::path FolderOf(const fs::path& target) {
  return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// "<prefix>.sonavela-<pid>-XXXXXX.part" of a process that no longer runs.
bool IsStaleTemporary(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix) || !name.ends_with(kSuffix)) {
    return false;
  }
  name.remove_prefix(prefix.size());
  if (!name.starts_with(kTag)) {
    return false;
  }
  name.remove_prefix(kTag.size());
  pid_t pid = 0;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (ec != std::errc{} || end == name.data() || *end != '-' || pid <= 0) {
    return false;
  }
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// A save that was killed leaves its temporary file; the next save to the same
// path clears it away.
void RemoveStaleTemporaries(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (IsStaleTemporary(entry, name) || IsStaleTemporary(entry, "")) {
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes, std::optional<std::uint64_t> offset) {
  while (!bytes.empty()) {
    const ssize_t n = offset ? ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(*offset))
                             : ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
    if (offset) {
      *offset += static_cast<std::uint64_t>(n);
    }
  }
  return true;
}

int MakeTemporary(const fs::path& folder, const std::string& name, std::string& path) {
  const std::string tail =
      std::string(kTag) + std::to_string(::getpid()) + "-XXXXXX" + std::string(kSuffix);
  path = (folder / (name + tail)).string();
  int fd = ::mkostemps(path.data(), static_cast<int>(kSuffix.size()), O_CLOEXEC);
  if (fd < 0 && errno == ENAMETOOLONG) {
    // A name close to the limit leaves no room for ours; a short one still
    // lives next to the target, which rename needs.
    path = (folder / tail).string();
    fd = ::mkostemps(path.data(), static_cast<int>(kSuffix.size()), O_CLOEXEC);
  }
  return fd;
}

// Where a chain of symbolic links that ends nowhere points; `path` itself
// when it is no link.
fs::path DanglingLinkTarget(fs::path path) {
  constexpr int kMostLinks = 40;  // as the system follows them
  for (int i = 0; i < kMostLinks && fs::is_symlink(fs::symlink_status(path)); ++i) {
    std::error_code ec;
    const fs::path next = fs::read_symlink(path, ec);
    if (ec) {
      break;
    }
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path;
}

}  // namespace

Result<std::unique_ptr<AtomicFile>> AtomicFile::Create(const fs::path& path) {
  if (path.empty()) {
    return Error::Of(ErrorKind::kNoFileName);
  }
  fs::path target = path;
  mode_t mode = 0;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      return Error::Of(ErrorKind::kIsFolder);
    }
    if (!S_ISREG(st.st_mode)) {
      return Error::Of(ErrorKind::kNotRegularFile);
    }
    std::error_code ec;
    target = fs::canonical(path, ec);
    if (ec) {
      return Reason(ec.value());
    }
    mode = st.st_mode & 07777;
  } else if (errno == ENOENT) {
    if (!path.has_filename()) {
      return Error::Of(ErrorKind::kIsFolder);
    }
    std::error_code ec;
    // A link to a file not made yet is written through: the file it names
    // is made, and the link stays.
    target = DanglingLinkTarget(path);
    target = fs::weakly_canonical(target, ec);
    if (ec) {
      return Reason(ec.value());
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  } else {
    return Reason(errno);
  }

  const fs::path folder = FolderOf(target);
  const std::string name = target.filename().string();
  RemoveStaleTemporaries(folder, name);
  std::string temporary;
  const int fd = MakeTemporary(folder, name, temporary);
  if (fd < 0) {
    return Reason(errno);
  }
  auto file = std::make_unique<AtomicFile>(Token{}, target, temporary, fd);
  // mkstemp makes the file private; a replaced file keeps its permissions
  // and a new one gets the usual ones.
  if (::fchmod(fd, mode) != 0) {
    return Reason(errno);
  }
  return file;
}

AtomicFile::AtomicFile(Token, fs::path target, fs::path temporary, int fd)
    : target_(std::move(target)), temporary_(std::move(temporary)), fd_(fd) {}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
  if (!committed_) {
    ::unlink(temporary_.c_str());
  }
}

Status AtomicFile::Append(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) {
    return Complete();
  }
  if (!WriteAll(fd_, bytes, std::nullopt)) {
    return Reason(errno);
  }
  size_ += bytes.size();
  return {};
}

Status AtomicFile::Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) {
    return Complete();
  }
  if (offset > size_ || bytes.size() > size_ - offset) {
    return midi::NeverWritten();
  }
  if (!WriteAll(fd_, bytes, offset)) {
    return Reason(errno);
  }
  return {};
}

Status AtomicFile::Commit() {
  if (fd_ < 0) {
    return Complete();
  }
  const int fd = std::exchange(fd_, -1);
  if (::fsync(fd) != 0) {
    const int error = errno;
    ::close(fd);
    return Reason(error);
  }
  // Closing reports what NFS or a quota held back until now.
  if (::close(fd) != 0) {
    return Reason(errno);
  }
  // What was a file may have been swapped for a device, a FIFO or a folder
  // while the bytes were written: that is left alone too.
  struct stat st {};
  if (::lstat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    return Error::Of(S_ISDIR(st.st_mode) ? ErrorKind::kIsFolder : ErrorKind::kNotRegularFile);
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    return Reason(errno);
  }
  committed_ = true;
  // Makes the rename itself durable; the file is complete already, so a
  // failure here is not worth reporting.
  const int folder = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return {};
}

bool SameFile(const fs::path& a, const fs::path& b) {
  struct stat sa {};
  struct stat sb {};
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }
  std::error_code ea;
  std::error_code eb;
  const fs::path ca = fs::weakly_canonical(a, ea);
  const fs::path cb = fs::weakly_canonical(b, eb);
  return !ea && !eb ? ca == cb : a.lexically_normal() == b.lexically_normal();
}

Status WriteFileAtomically(const fs::path& path, std::string_view bytes) {
  Result<std::unique_ptr<AtomicFile>> file = AtomicFile::Create(path);
  if (!file) {
    return file.error();
  }
  const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           bytes.size());
  if (Status written = (*file)->Append(data); !written) {
    return written;
  }
  return (*file)->Commit();
}

Result<std::unique_ptr<SpillFile>> SpillFile::Create() {
  std::error_code ec;
  const fs::path folder = fs::temp_directory_path(ec);
  if (ec) {
    return Reason(ec.value());
  }
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    // File systems without O_TMPFILE: a named file, unlinked at once.
    std::string path = (folder / "sonavela-recording-XXXXXX").string();
    fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd >= 0) {
      (void)::unlink(path.c_str());
    }
  }
  if (fd < 0) {
    return Reason(errno);
  }
  return std::make_unique<SpillFile>(fd);
}

SpillFile::~SpillFile() {
  (void)::close(fd_);
}

Status SpillFile::Append(std::span<const std::uint8_t> bytes) {
  if (!WriteAll(fd_, bytes, size_)) {
    return Reason(errno);
  }
  size_ += bytes.size();
  return {};
}

Status SpillFile::Overwrite(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  if (offset > size_ || bytes.size() > size_ - offset) {
    return midi::NeverWritten();
  }
  if (!WriteAll(fd_, bytes, offset)) {
    return Reason(errno);
  }
  return {};
}

Status SpillFile::CopyTo(midi::ByteSink& out) {
  std::vector<std::uint8_t> chunk(1 << 16);
  for (std::uint64_t at = 0; at < size_;) {
    const ssize_t n = ::pread(fd_, chunk.data(), chunk.size(), static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return n < 0 ? Reason(errno) : Error::Of(ErrorKind::kCutShort);
    }
    if (Status written =
            out.Append(std::span<const std::uint8_t>(chunk.data(), static_cast<std::size_t>(n)));
        !written) {
      return written;
    }
    at += static_cast<std::uint64_t>(n);
  }
  return {};
}

}  // namespace sonavela::playback
