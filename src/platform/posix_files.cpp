// POSIX file services: plain file descriptors, no stdio buffering (the run
// reads and writes large blocks itself).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "platform/files.hpp"

namespace recodia::platform {
namespace {

FileStatus status_of(const struct stat& st) {
  FileStatus s;
  s.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  s.regular_file = S_ISREG(st.st_mode);
  s.directory = S_ISDIR(st.st_mode);
  s.permissions = static_cast<std::uint32_t>(st.st_mode & 07777);
  return s;
}

class PosixInputFile final : public InputFile {
 public:
  explicit PosixInputFile(int fd) : fd_(fd) {}
  ~PosixInputFile() override { ::close(fd_); }

  std::size_t read(std::uint8_t* data, std::size_t size) override {
    if (failed_) return 0;
    for (;;) {
      const ssize_t n = ::read(fd_, data, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno == EINTR) continue;
      failed_ = true;
      return 0;
    }
  }

  bool failed() const override { return failed_; }

  std::optional<DosDateTime> last_write_time() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    std::tm local{};
    const std::time_t seconds = st.st_mtim.tv_sec;
    if (::localtime_r(&seconds, &local) == nullptr) return std::nullopt;
    return pack_dos_date_time({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                               local.tm_hour, local.tm_min, local.tm_sec});
  }

  std::optional<FileStatus> status() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return status_of(st);
  }

 private:
  int fd_;
  bool failed_ = false;
};

class PosixOutputFile final : public OutputFile {
 public:
  explicit PosixOutputFile(int fd) : fd_(fd) {}
  ~PosixOutputFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool write(const std::uint8_t* data, std::size_t size) override {
    if (failed_) return false;
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        failed_ = true;
        return false;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  bool failed() const override { return failed_; }

  bool flush() override {
    if (failed_) return false;
    // EINVAL: a pipe or terminal, which has nothing to sync.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) failed_ = true;
    return !failed_;
  }

  bool set_last_write_time(DosDateTime time) override {
    const LocalTime t = unpack_dos_date_time(time);
    std::tm local{};
    local.tm_year = t.year - 1900;
    local.tm_mon = t.month - 1;
    local.tm_mday = t.day;
    local.tm_hour = t.hour;
    local.tm_min = t.minute;
    local.tm_sec = t.second;
    local.tm_isdst = -1;  // let the time zone rules decide
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1)) return false;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    return ::futimens(fd_, times) == 0;
  }

  bool set_permissions(std::uint32_t permissions) override {
    return ::fchmod(fd_, static_cast<mode_t>(permissions)) == 0;
  }

  bool close() override {
    if (fd_ < 0) return !failed_;
    if (::close(fd_) != 0) failed_ = true;
    fd_ = -1;
    return !failed_;
  }

 private:
  int fd_;
  bool failed_ = false;
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> open_for_reading(const std::string& name) override {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    // A directory opens for reading here but holds no text.
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    if (S_ISREG(st.st_mode)) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<PosixInputFile>(fd);
  }

  std::unique_ptr<OutputFile> create_for_writing(const std::string& name, CreateMode mode) override {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    flags |= mode == CreateMode::exclusive ? O_EXCL : O_TRUNC;
    const int fd = ::open(name.c_str(), flags, 0666);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixOutputFile>(fd);
  }

  bool exists(const std::string& name) override {
    struct stat st {};
    return ::lstat(name.c_str(), &st) == 0;
  }

  std::optional<FileStatus> status(const std::string& name) override {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return std::nullopt;
    return status_of(st);
  }

  std::optional<std::string> real_path(const std::string& name) override {
    char* resolved = ::realpath(name.c_str(), nullptr);
    if (resolved == nullptr) return std::nullopt;
    std::string result(resolved);
    std::free(resolved);
    return result;
  }

  bool remove(const std::string& name) override { return ::unlink(name.c_str()) == 0; }

  RenameResult rename_over(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) == 0) return RenameResult::done;
    return errno == EXDEV ? RenameResult::other_device : RenameResult::failed;
  }

  std::optional<FileIdentity> standard_output_identity() override {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0) return std::nullopt;
    return status_of(st).identity;
  }
};

}  // namespace

FileSystem& posix_file_system() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace recodia::platform
