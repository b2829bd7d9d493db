#include "playback/file_save.h"

#include <cerrno>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sonavela::playback {
namespace {

std::string Reason(int error) {
  return std::system_category().message(error);
}

#if !defined(_WIN32)

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

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

#endif

}  // namespace

#if defined(_WIN32)

std::optional<std::string> WriteFileAtomically(const std::filesystem::path& path,
                                               std::string_view bytes) {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return std::string("writing failed");
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);  // replaces an existing file
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return error.message();
  }
  return std::nullopt;
}

#else

std::optional<std::string> WriteFileAtomically(const std::filesystem::path& path,
                                               std::string_view bytes) {
  std::filesystem::path target = path;
  std::error_code ec;
  if (std::filesystem::is_symlink(target, ec)) {
    target = std::filesystem::weakly_canonical(target, ec);
    if (ec) {
      return Reason(ec.value());
    }
  }
  // The temporary file must live in the same directory: rename only replaces
  // atomically within one file system.
  std::string pattern = target.string() + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    return Reason(errno);
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
  if (::fchmod(temporary.Fd(), mode) != 0 || !WriteAll(temporary.Fd(), bytes) ||
      ::fsync(temporary.Fd()) != 0 || !temporary.Close()) {
    return Reason(errno);
  }
  if (::rename(temporary.Path().c_str(), target.c_str()) != 0) {
    return Reason(errno);
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

#endif

std::string SaveMidiFile(const std::filesystem::path& path,
                         const midi::MidiFileRecording& recording, std::chrono::milliseconds end) {
  std::string why;
  if (path.empty() || !path.has_filename()) {
    why = "no file name was given";
  } else {
    const std::vector<std::uint8_t> bytes = recording.Encode(end);
    const std::optional<std::string> failed = WriteFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!failed) {
      return {};
    }
    why = *failed;
  }
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about a chain
  // of string operator+ at -O3.
  std::string message = "Cannot save the MIDI file \"";
  message += path.string();
  message += "\": ";
  message += why;
  message += '.';
  return message;
}

}  // namespace sonavela::playback
