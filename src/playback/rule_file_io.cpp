// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/rule_file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "generator/printable.h"
#include "playback/atomic_file.h"

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

// The whole file, or the reason why not. Opened without waiting, so that a
// FIFO or a terminal named by mistake is refused instead of blocking for ever.
std::optional<std::string> Slurp(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return Reason(errno);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return Reason(error);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return S_ISDIR(st.st_mode) ? "it is a folder" : "not a regular file";
  }
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd, "rb"));
  if (!file) {
    const int error = errno;
    ::close(fd);
    return Reason(error);
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

}  // namespace

generator::RuleFileReading ReadRuleFile(const std::string& path) {
  std::string text;
  if (auto reason = Slurp(path, text)) {
    generator::RuleFileReading failed;
    generator::RuleFileFinding unread;
    unread.problem = generator::RuleFileProblem::kCannotRead;
    unread.file = generator::Printable(path);
    unread.text = *reason;
    failed.problems.push_back(std::move(unread));
    return failed;
  }
  return generator::ParseRuleFile(text, path);
}

Status WriteRuleFile(const std::string& path, const RuleLists& lists) {
  const generator::RuleFileWriting writing =
      generator::FormatRuleFile(lists.connection, lists.substitution);
  if (!writing.Ok()) {
    std::string problems;
    for (std::size_t i = 0; i < writing.problems.size(); ++i) {
      problems += (i == 0 ? "" : "; ") + writing.problems[i];
    }
    return Error::Of(ErrorKind::kRuleFileNotSaved, generator::Printable(path), problems);
  }
  if (Status written = WriteFileAtomically(path, writing.text); !written) {
    return Error::Of(ErrorKind::kRuleFileNotSaved, generator::Printable(path))
        .Because(written.error());
  }
  return {};
}

}  // namespace sonavela::playback
