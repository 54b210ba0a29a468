// POSIX file services: plain file descriptors, no stdio buffering (the run
// reads and writes large blocks itself). Every name is reached through an open
// folder and the last name in it, so that paths longer than PATH_MAX work.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>

#include "platform/native.hpp"
#include "platform/paths.hpp"

namespace recodia::platform {
namespace {

Failure failure_from(int error) {
  Failure::Kind kind = Failure::Kind::other;
  if (error == EEXIST) kind = Failure::Kind::name_taken;
  if (error == EXDEV) kind = Failure::Kind::other_device;
  return {kind, std::strerror(error)};
}

Failure last_failure() { return failure_from(errno); }

FileStatus status_of(const struct stat& st) {
  FileStatus s;
  s.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  s.regular_file = S_ISREG(st.st_mode);
  return s;
}

// A name as an open folder and the last name in it. Short names use the
// current folder as it is; longer ones are walked one folder at a time.
class Location {
 public:
  Location() = default;
  Location(Location&& other) noexcept : folder_(other.folder_), base_(std::move(other.base_)) { other.folder_ = AT_FDCWD; }
  Location& operator=(Location&&) = delete;
  ~Location() {
    if (folder_ != AT_FDCWD) ::close(folder_);
  }

  // Nothing, with errno set, when a folder on the way cannot be opened.
  static std::optional<Location> of(const std::string& name) {
    Location l;
    if (name.size() < PATH_MAX) {
      l.base_ = name;
      return l;
    }
    std::size_t start = 0;
    if (name[0] == '/') {
      l.folder_ = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (l.folder_ < 0) return std::nullopt;
      start = 1;
    }
    for (std::size_t slash; (slash = name.find('/', start)) != std::string::npos; start = slash + 1) {
      if (slash == start) continue;
      const std::string part = name.substr(start, slash - start);
      const int next = ::openat(l.folder_, part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (next < 0) return std::nullopt;
      if (l.folder_ != AT_FDCWD) ::close(l.folder_);
      l.folder_ = next;
    }
    l.base_ = start < name.size() ? name.substr(start) : ".";
    return l;
  }

  int folder() const { return folder_; }
  const char* base() const { return base_.c_str(); }
  // The folder, opened again for the caller to keep.
  int duplicate_folder() const {
    return folder_ == AT_FDCWD ? ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC) : ::fcntl(folder_, F_DUPFD_CLOEXEC, 0);
  }

 private:
  int folder_ = AT_FDCWD;
  std::string base_;
};

// The permission bits, owner, group and extended attributes of a file; the
// access control list travels as one of the extended attributes.
class PosixAttributes final : public Attributes {
 public:
  struct stat st {};
  std::vector<std::pair<std::string, std::string>> extended;
};

std::unique_ptr<Attributes> attributes_of(int fd) {
  auto a = std::make_unique<PosixAttributes>();
  if (::fstat(fd, &a->st) != 0) return nullptr;
  std::string names(4096, '\0');
  ssize_t size = ::flistxattr(fd, names.data(), names.size());
  if (size < 0 && errno == ERANGE) {
    names.resize(static_cast<std::size_t>(::flistxattr(fd, nullptr, 0)) + 1);
    size = ::flistxattr(fd, names.data(), names.size());
  }
  for (std::size_t at = 0; size > 0 && at < static_cast<std::size_t>(size); at += std::strlen(names.c_str() + at) + 1) {
    const char* name = names.c_str() + at;
    const ssize_t length = ::fgetxattr(fd, name, nullptr, 0);
    if (length < 0) continue;
    std::string value(static_cast<std::size_t>(length), '\0');
    const ssize_t got = ::fgetxattr(fd, name, value.data(), value.size());
    if (got < 0) continue;
    value.resize(static_cast<std::size_t>(got));
    a->extended.emplace_back(name, std::move(value));
  }
  return a;
}

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, bool owned) : fd_(fd), owned_(owned), start_(::lseek(fd, 0, SEEK_CUR)) {}
  ~PosixInputFile() override {
    if (owned_) ::close(fd_);
  }

  std::size_t read(std::uint8_t* data, std::size_t size) override {
    if (failure_) return 0;
    for (;;) {
      const ssize_t n = ::read(fd_, data, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno == EINTR) continue;
      failure_ = last_failure();
      return 0;
    }
  }

  const MaybeFailure& failure() const override { return failure_; }

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

  std::unique_ptr<Attributes> attributes() override { return attributes_of(fd_); }

  bool rewind() override {
    struct stat st {};
    return !failure_ && start_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) &&
           ::lseek(fd_, start_, SEEK_SET) == start_;
  }

 private:
  int fd_;
  bool owned_;
  off_t start_;  // where reading began: standard input may have been read from before
  MaybeFailure failure_;
};

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~PosixOutputFile() override { close(); }

  bool write(const std::uint8_t* data, std::size_t size) override {
    if (failure_) return false;
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        failure_ = last_failure();
        return false;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  const MaybeFailure& failure() const override { return failure_; }

  bool flush() override {
    if (failure_) return false;
    // EINVAL: a pipe or terminal, which has nothing to sync.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) failure_ = last_failure();
    return !failure_;
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

  std::vector<NotCarried> carry_over(const Attributes& from) override {
    const auto& a = static_cast<const PosixAttributes&>(from);
    std::vector<NotCarried> lost;
    const auto note = [&](NotCarried::What what, std::string name = {}) {
      lost.push_back({what, std::move(name), std::strerror(errno)});
    };
    struct stat now {};
    if (::fstat(fd_, &now) != 0) {
      note(NotCarried::What::permissions);
      return lost;
    }
    // Owner and group first: changing them clears the set-user-ID bits.
    if (now.st_uid != a.st.st_uid) {
      if (::fchown(fd_, a.st.st_uid, a.st.st_gid) == 0) now.st_gid = a.st.st_gid;
      else note(NotCarried::What::owner);
    }
    // Without the right to give the file away, the group may still be one of the user's.
    if (now.st_gid != a.st.st_gid && ::fchown(fd_, static_cast<uid_t>(-1), a.st.st_gid) != 0) note(NotCarried::What::group);
    for (const auto& [name, value] : a.extended) {
      if (::fsetxattr(fd_, name.c_str(), value.data(), value.size(), 0) == 0) continue;
      if (name == "system.posix_acl_access") note(NotCarried::What::access_control_list);
      else note(NotCarried::What::extended_attribute, name);
    }
    // Last, so that the access of the finished file is the original's exactly
    // (with an access control list, the group bits set its mask).
    if (::fchmod(fd_, a.st.st_mode & 07777) != 0) note(NotCarried::What::permissions);
    return lost;
  }

  bool close() override {
    if (fd_ < 0) return !failure_;
    if (owned_ && ::close(fd_) != 0 && !failure_) failure_ = last_failure();
    fd_ = -1;
    return !failure_;
  }

 private:
  int fd_;
  bool owned_;
  MaybeFailure failure_;
};

// The temporary files to remove when a signal ends the program. A signal
// handler can only reach state of its own, so this is kept here, filled
// before a slot is marked in use and emptied by marking it free first.
struct InterruptSlot {
  volatile std::sig_atomic_t in_use = 0;
  int folder = -1;
  std::array<char, NAME_MAX + 1> base{};
};
std::array<InterruptSlot, 2> interrupt_slots;
std::array<std::string, 2> interrupt_names;  // what each slot was given, read outside the handler only

extern "C" void remove_temporary_and_exit(int signal_number) {
  for (InterruptSlot& slot : interrupt_slots)
    if (slot.in_use) ::unlinkat(slot.folder, slot.base.data(), 0);
  ::_exit(128 + signal_number);
}

class PosixFileSystem final : public FileSystem {
 public:
  Opened<InputFile> open_for_reading(const std::string& name) override {
    const auto at = Location::of(name);
    const int fd = at ? ::openat(at->folder(), at->base(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) return {nullptr, last_failure()};
    struct stat st {};
    // A directory opens for reading here but holds no text.
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      const Failure failure = failure_from(S_ISDIR(st.st_mode) ? EISDIR : errno);
      ::close(fd);
      return {nullptr, failure};
    }
    if (S_ISREG(st.st_mode)) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return {std::make_unique<PosixInputFile>(fd, true), {}};
  }

  Opened<OutputFile> create_for_writing(const std::string& name, CreateMode mode) override {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    flags |= mode == CreateMode::exclusive ? O_EXCL : O_TRUNC;
    const auto at = Location::of(name);
    const int fd = at ? ::openat(at->folder(), at->base(), flags, mode == CreateMode::exclusive ? 0600 : 0666) : -1;
    if (fd < 0) return {nullptr, last_failure()};
    return {std::make_unique<PosixOutputFile>(fd, true), {}};
  }

  std::unique_ptr<InputFile> standard_input() override { return std::make_unique<PosixInputFile>(STDIN_FILENO, false); }
  std::unique_ptr<OutputFile> standard_output() override {
    return std::make_unique<PosixOutputFile>(STDOUT_FILENO, false);
  }
  bool standard_input_is_terminal() override { return ::isatty(STDIN_FILENO) == 1; }

  bool exists(const std::string& name) override {
    struct stat st {};
    const auto at = Location::of(name);
    return at && ::fstatat(at->folder(), at->base(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  }

  std::optional<FileStatus> status(const std::string& name) override {
    struct stat st {};
    const auto at = Location::of(name);
    if (!at || ::fstatat(at->folder(), at->base(), &st, 0) != 0) return std::nullopt;
    return status_of(st);
  }

  std::string follow_links(const std::string& name) override {
    std::string current = name;
    for (int depth = 0; depth < 40; ++depth) {
      const auto at = Location::of(current);
      if (!at) break;
      std::string target(PATH_MAX, '\0');
      const ssize_t n = ::readlinkat(at->folder(), at->base(), target.data(), target.size());
      if (n < 0) break;  // not a link (or gone): this is the file
      target.resize(static_cast<std::size_t>(n));
      current = target.starts_with('/') ? target : directory_of(current, PathStyle::posix) + target;
    }
    return current;
  }

  MaybeFailure remove(const std::string& name) override {
    const auto at = Location::of(name);
    if (at && ::unlinkat(at->folder(), at->base(), 0) == 0) return std::nullopt;
    return last_failure();
  }

  MaybeFailure rename_over(const std::string& from, const std::string& to) override {
    const auto a = Location::of(from);
    const auto b = a ? Location::of(to) : std::nullopt;
    if (b && ::renameat(a->folder(), a->base(), b->folder(), b->base()) == 0) return std::nullopt;
    return last_failure();
  }

  std::optional<FileIdentity> standard_output_identity() override {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0) return std::nullopt;
    return status_of(st).identity;
  }

  void remove_if_interrupted(const std::string& name) override {
    const auto at = Location::of(name);
    const std::string base = at ? at->base() : "";
    for (std::size_t i = 0; i < interrupt_slots.size(); ++i) {
      InterruptSlot& slot = interrupt_slots[i];
      if (slot.in_use || !at || base.size() >= slot.base.size()) continue;
      slot.folder = at->duplicate_folder();
      if (slot.folder < 0) return;
      std::memcpy(slot.base.data(), base.c_str(), base.size() + 1);
      interrupt_names[i] = name;
      slot.in_use = 1;
      return;
    }
  }

  void keep_if_interrupted(const std::string& name) override {
    for (std::size_t i = 0; i < interrupt_slots.size(); ++i) {
      InterruptSlot& slot = interrupt_slots[i];
      if (!slot.in_use || interrupt_names[i] != name) continue;
      slot.in_use = 0;
      ::close(slot.folder);
      interrupt_names[i].clear();
    }
  }
};

}  // namespace

void prepare_process() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is this one, as the lower ones are open.
    const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) ::close(null);
  }
  // A closed pipe then fails the write that meets it, instead of ending the
  // program: a lost message is harmless, a lost output file is reported.
  ::signal(SIGPIPE, SIG_IGN);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    // A signal ignored from the start (nohup) stays ignored.
    if (::sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = remove_temporary_and_exit;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(s, &action, nullptr);
  }
}

FileSystem& native_file_system() {
  static PosixFileSystem instance;
  return instance;
}

}  // namespace recodia::platform
