#include "playback/rule_file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

namespace sonavela::playback {
namespace {

// Far above any table a person writes (2 x 1000 rules of a few dozen bytes),
// and small enough that a wrong path such as /dev/zero cannot eat the memory.
constexpr std::size_t kMaxRuleFileBytes = 16 * 1024 * 1024;

std::string Reason(int error) {
  return std::system_category().message(error);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The whole file, or the reason why not.
std::optional<std::string> Slurp(const std::string& path, std::string& text) {
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    return Reason(errno);
  }
  char buffer[8192];
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
    text.append(buffer, n);
    if (text.size() > kMaxRuleFileBytes) {
      return "larger than " + std::to_string(kMaxRuleFileBytes / (1024 * 1024)) +
             " MiB, not a rule file";
    }
    if (n < sizeof buffer) {
      if (std::ferror(file.get())) {
        return Reason(errno != 0 ? errno : EIO);
      }
      return std::nullopt;
    }
  }
}

// Closes the descriptor and removes the temporary file unless it was renamed.
class TemporaryFile {
 public:
  TemporaryFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~TemporaryFile() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (!kept_) {
      ::unlink(path_.c_str());
    }
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  [[nodiscard]] int Fd() const { return fd_; }
  [[nodiscard]] const std::string& Path() const { return path_; }
  // False with errno set when closing reported an error (NFS, quota).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  void Keep() { kept_ = true; }

 private:
  std::string path_;
  int fd_;
  bool kept_ = false;
};

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

generator::RuleFileReading ReadRuleFile(const std::string& path) {
  std::string text;
  if (auto reason = Slurp(path, text)) {
    generator::RuleFileReading failed;
    failed.problems.push_back(path + ": cannot read: " + *reason);
    return failed;
  }
  return generator::ParseRuleFile(text, path);
}

std::optional<std::string> WriteRuleFile(const std::string& path, const RuleLists& lists) {
  const auto fail = [&](int error) {
    return std::optional<std::string>(path + ": cannot save: " + Reason(error));
  };
  const generator::RuleFileWriting writing =
      generator::FormatRuleFile(lists.connection, lists.substitution);
  if (!writing.Ok()) {
    std::string message = path + ": cannot save: ";
    for (std::size_t i = 0; i < writing.problems.size(); ++i) {
      message += (i == 0 ? "" : "; ") + writing.problems[i];
    }
    return message;
  }
  const std::string& text = writing.text;

  // Saving through a symbolic link replaces the file it points to, not the link.
  std::filesystem::path target(path);
  std::error_code ec;
  if (std::filesystem::is_symlink(target, ec)) {
    target = std::filesystem::weakly_canonical(target, ec);
    if (ec) {
      return fail(ec.value());
    }
  }
  // The temporary file must live in the same directory: rename only replaces
  // atomically within one file system.
  std::string pattern = target.string() + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    return fail(errno);
  }
  TemporaryFile temporary(pattern, fd);

  // mkstemp makes the file private; a replaced file keeps its permissions and
  // a new one gets the usual ones.
  struct stat old {};
  mode_t mode = 0;
  if (::stat(target.c_str(), &old) == 0) {
    mode = old.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (::fchmod(temporary.Fd(), mode) != 0 || !WriteAll(temporary.Fd(), text) ||
      ::fsync(temporary.Fd()) != 0 || !temporary.Close()) {
    return fail(errno);
  }
  if (::rename(temporary.Path().c_str(), target.c_str()) != 0) {
    return fail(errno);
  }
  temporary.Keep();

  // Makes the rename itself durable; the file is already complete, so a
  // failure here is not worth reporting.
  const std::filesystem::path directory =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return std::nullopt;
}

}  // namespace sonavela::playback
