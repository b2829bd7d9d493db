#include "playback/rule_file_io.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "playback/file_save.h"

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
  const generator::RuleFileWriting writing =
      generator::FormatRuleFile(lists.connection, lists.substitution);
  if (!writing.Ok()) {
    std::string message = path + ": cannot save: ";
    for (std::size_t i = 0; i < writing.problems.size(); ++i) {
      message += (i == 0 ? "" : "; ") + writing.problems[i];
    }
    return message;
  }
  if (const std::optional<std::string> reason = WriteFileAtomically(path, writing.text)) {
    return path + ": cannot save: " + *reason;
  }
  return std::nullopt;
}

}  // namespace sonavela::playback
