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
#include <tuple>
#include <utility>

#include "platform/native.hpp"
#include "platform/paths.hpp"

namespace recodia::platform {
namespace {

Failure failure_from(int error) {
  Failure::Kind kind = Failure::Kind::other;
  if (error == ESTALE) kind = Failure::Kind::changed;  // as the in-place file says it
  if (error == EPIPE) kind = Failure::Kind::closed_pipe;
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

// The temporary names to remove when a signal ends the program. A signal
// handler can only reach state of its own, so this is kept here; a slot is
// filled and emptied while the signals are held off (SignalsHeld), so that a
// name is never left between being made and being registered.
struct InterruptSlot {
  volatile std::sig_atomic_t in_use = 0;
  int folder = -1;
  std::array<char, NAME_MAX + 1> base{};
};
std::array<InterruptSlot, 2> interrupt_slots;

extern "C" void remove_temporary_and_exit(int signal_number) {
  for (InterruptSlot& slot : interrupt_slots)
    if (slot.in_use) ::unlinkat(slot.folder, slot.base.data(), 0);
  ::_exit(128 + signal_number);
}

constexpr int kInterruptingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// While it lives, the signals that remove the temporary names wait.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    ::sigemptyset(&held);
    for (const int s : kInterruptingSignals) ::sigaddset(&held, s);
    ::sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

// Call with the signals held.
void remove_if_interrupted(int folder, const std::string& base) {
  for (InterruptSlot& slot : interrupt_slots) {
    if (slot.in_use || base.size() >= slot.base.size()) continue;
    slot.folder = folder;
    std::memcpy(slot.base.data(), base.c_str(), base.size() + 1);
    slot.in_use = 1;
    return;
  }
}

// Call with the signals held.
void keep_if_interrupted(int folder, const std::string& base) {
  for (InterruptSlot& slot : interrupt_slots)
    if (slot.in_use && slot.folder == folder && base == slot.base.data()) slot.in_use = 0;
}

// An open folder and a name in it: where a file is, held from the moment it
// was found, so that nothing done later depends on the path to it.
class Place {
 public:
  Place(int folder, std::string base) : folder_(folder), base_(std::move(base)) {}
  Place(Place&& other) noexcept : folder_(std::exchange(other.folder_, -1)), base_(std::move(other.base_)) {}
  Place& operator=(Place&& other) noexcept {
    std::swap(folder_, other.folder_);
    base_.swap(other.base_);
    return *this;
  }
  ~Place() {
    if (folder_ >= 0) ::close(folder_);
  }
  int folder() const { return folder_; }
  const std::string& base() const { return base_; }

  // The place of `path`, taken from `start` (a folder, or AT_FDCWD) when it
  // is relative. Nothing, with errno set, when its folder cannot be opened.
  static std::optional<Place> of(int start, const std::string& path) {
    if (start == AT_FDCWD && path.size() >= PATH_MAX) {  // reached folder by folder
      const auto at = Location::of(path);
      if (!at) return std::nullopt;
      const int folder = at->duplicate_folder();
      if (folder < 0) return std::nullopt;
      return Place(folder, at->base());
    }
    const std::string folder_part = directory_of(path, PathStyle::posix);
    std::string base = path.substr(folder_part.size());
    const int folder = ::openat(start, folder_part.empty() ? "." : folder_part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return std::nullopt;
    return Place(folder, base.empty() ? "." : std::move(base));
  }

 private:
  int folder_;
  std::string base_;
};

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A link may be followed unless it lies in a sticky folder that others may
// write in and belongs to neither this user nor the folder's owner: the rule
// by which the kernel protects such folders, kept as the links are followed here.
bool may_follow(const Place& at, const struct stat& link) {
  struct stat folder {};
  if (::fstat(at.folder(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

// Makes a fresh name in the folder for `make` (which returns 0 or an errno;
// EEXIST tries the next), registered for removal on a signal. The name, or
// the errno.
template <class Make>
std::pair<std::string, int> make_temporary_name(int folder, Make&& make) {
  for (unsigned n = 1; n <= 65535; ++n) {
    std::string name = "TMP" + std::to_string(n) + ".$$$";
    const SignalsHeld held;
    const int error = make(name);
    if (error == EEXIST) continue;
    if (error != 0) return {{}, error};
    remove_if_interrupted(folder, name);
    return {std::move(name), 0};
  }
  return {{}, EEXIST};
}

// Removes a temporary name, provided it still holds the file that was put there.
void remove_temporary(int folder, const std::string& name, const struct stat& file) {
  const SignalsHeld held;
  struct stat now {};
  if (::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && same_file(now, file))
    ::unlinkat(folder, name.c_str(), 0);
  keep_if_interrupted(folder, name);
}

// Gives the file named `from` the name `to` in one step.
int rename_temporary(int folder, const std::string& from, const std::string& to) {
  const SignalsHeld held;
  if (::renameat(folder, from.c_str(), folder, to.c_str()) != 0) return errno;
  keep_if_interrupted(folder, from);
  return 0;
}

class PosixInPlaceFile final : public InPlaceFile {
 public:
  PosixInPlaceFile(Place place, int fd, const struct stat& read, bool nameless)
      : place_(std::move(place)), input_(fd, true), fd_(fd), read_(read), nameless_(nameless) {}
  ~PosixInPlaceFile() override {
    if (!replacement_name_.empty()) remove_temporary(place_.folder(), replacement_name_, written_);
    if (replacement_ >= 0) ::close(replacement_);
  }

  InputFile& original() override { return input_; }

  Opened<OutputFile> create_replacement() override {
    // Nameless where the file system and /proc allow it to be named later.
    if (nameless_ && ::faccessat(AT_FDCWD, "/proc/self/fd", X_OK, 0) == 0) {
      replacement_ = ::openat(place_.folder(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
      if (replacement_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
        return {nullptr, last_failure()};
    }
    if (replacement_ < 0) {
      const int folder = place_.folder();
      auto [name, error] = make_temporary_name(folder, [&](const std::string& n) {
        replacement_ = ::openat(folder, n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        return replacement_ < 0 ? errno : 0;
      });
      if (error != 0) return {nullptr, failure_from(error)};
      replacement_name_ = std::move(name);
    }
    ::fstat(replacement_, &written_);
    return {std::make_unique<PosixOutputFile>(replacement_, false), {}};
  }

  MaybeFailure replace(const std::string& backup_suffix) override {
    if (!backup_suffix.empty())
      if (const int error = keep_backup(place_.base() + backup_suffix))
        return error == ESTALE ? failure_from(error) : Failure{Failure::Kind::no_backup, std::strerror(error)};
    if (replacement_name_.empty()) {
      auto [name, error] = make_temporary_name(place_.folder(), [&](const std::string& n) { return link_nameless(replacement_, n); });
      if (error != 0) return failure_from(error);
      replacement_name_ = std::move(name);
    }
    if (const int error = check_unchanged(place_.base())) return failure_from(error);
    if (const int error = rename_temporary(place_.folder(), replacement_name_, place_.base())) return failure_from(error);
    replacement_name_.clear();
    replaced_ = true;
    return std::nullopt;
  }

  FileIdentity identity() override {
    struct stat now {};
    if (replaced_ && ::fstat(replacement_, &now) == 0) return status_of(now).identity;
    return status_of(read_).identity;
  }

  bool has_other_names() override { return read_.st_nlink > 1; }

 private:
  // The name in the held folder still leads to the file that was read; else
  // an errno (ESTALE stands for "changed").
  int check_unchanged(const std::string& name) const {
    struct stat now {};
    if (::fstatat(place_.folder(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? ESTALE : errno;
    return same_file(now, read_) ? 0 : ESTALE;
  }

  // Gives a file made without a name its first one.
  int link_nameless(int fd, const std::string& name) const {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), place_.folder(), name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    return errno;
  }

  // The original under `name` as well: a second name for the very file where
  // the file system allows it, else a copy with its mode, owner and times.
  int keep_backup(const std::string& name) {
    const int folder = place_.folder();
    struct stat kept = read_;
    auto [temporary, error] = make_temporary_name(folder, [&](const std::string& n) {
      return ::linkat(folder, place_.base().c_str(), folder, n.c_str(), 0) == 0 ? 0 : errno;
    });
    struct stat linked {};
    if (error == 0 && ::fstatat(folder, temporary.c_str(), &linked, AT_SYMLINK_NOFOLLOW) == 0 && !same_file(linked, read_)) {
      remove_temporary(folder, temporary, linked);  // the name led elsewhere: not the original
      return ESTALE;
    }
    if (error != 0 && error != EEXIST) std::tie(temporary, error) = copy_original(kept);
    if (error == 0) error = rename_temporary(folder, temporary, name);
    if (error != 0 && !temporary.empty()) remove_temporary(folder, temporary, kept);
    return error;
  }

  std::pair<std::string, int> copy_original(struct stat& copy) const {
    const int folder = place_.folder();
    int out = -1;
    auto made = make_temporary_name(folder, [&](const std::string& n) {
      out = ::openat(folder, n.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      return out < 0 ? errno : 0;
    });
    if (made.second != 0) return made;
    std::vector<std::uint8_t> block(1 << 17);
    int error = 0;
    for (off_t at = 0; error == 0;) {
      const ssize_t n = ::pread(fd_, block.data(), block.size(), at);
      if (n <= 0) {
        if (n < 0) error = errno;
        break;
      }
      if (::write(out, block.data(), static_cast<std::size_t>(n)) != n) error = errno == 0 ? ENOSPC : errno;
      at += n;
    }
    const struct timespec times[2] = {read_.st_atim, read_.st_mtim};
    if (::fchown(out, read_.st_uid, read_.st_gid) != 0) {}  // a copy by another user is theirs
    if (error == 0 && (::fchmod(out, read_.st_mode & 07777) != 0 || ::futimens(out, times) != 0 || ::fsync(out) != 0)) error = errno;
    ::fstat(out, &copy);
    ::close(out);
    return {std::move(made.first), error};
  }

  Place place_;
  PosixInputFile input_;
  const int fd_;             // the original's, owned by input_
  const struct stat read_;   // the original as it was opened
  const bool nameless_;      // the replacement made without a name where possible
  int replacement_ = -1;
  struct stat written_ {};   // the replacement as it was created
  std::string replacement_name_;  // its temporary name, while it has one
  bool replaced_ = false;
};

// Opens `name` for in place: links followed one at a time from their own
// folders, nothing opened but a regular file.
Opened<InPlaceFile> open_in_place_at(const std::string& path, bool nameless) {
  std::optional<Place> at = Place::of(AT_FDCWD, path);
  for (int links = 0; at && links <= 40; ++links) {
    struct stat st {};
    if (::fstatat(at->folder(), at->base().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return {nullptr, last_failure()};
    if (S_ISLNK(st.st_mode)) {
      if (!may_follow(*at, st)) return {nullptr, failure_from(EACCES)};
      std::string target(PATH_MAX, '\0');
      const ssize_t n = ::readlinkat(at->folder(), at->base().c_str(), target.data(), target.size());
      if (n < 0) return {nullptr, last_failure()};
      target.resize(static_cast<std::size_t>(n));
      at = Place::of(target.starts_with('/') ? AT_FDCWD : at->folder(), target);
      continue;
    }
    if (S_ISDIR(st.st_mode)) return {nullptr, failure_from(EISDIR)};
    if (!S_ISREG(st.st_mode)) return {nullptr, {Failure::Kind::not_regular, std::strerror(EINVAL)}};
    // Not blocking, should it have become a pipe since.
    const int fd = ::openat(at->folder(), at->base().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP) continue;  // it became a link: followed on the next turn
    if (fd < 0) return {nullptr, last_failure()};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return {nullptr, {Failure::Kind::not_regular, std::strerror(EINVAL)}};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return {std::make_unique<PosixInPlaceFile>(std::move(*at), fd, st, nameless), {}};
  }
  return {nullptr, at ? failure_from(ELOOP) : last_failure()};
}

class PosixFileSystem final : public FileSystem {
 public:
  explicit PosixFileSystem(bool nameless) : nameless_(nameless) {}

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

  Opened<OutputFile> create_for_writing(const std::string& name) override {
    constexpr int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    const auto at = Location::of(name);
    const int fd = at ? ::openat(at->folder(), at->base(), flags, 0666) : -1;
    if (fd < 0) return {nullptr, last_failure()};
    return {std::make_unique<PosixOutputFile>(fd, true), {}};
  }

  std::unique_ptr<InputFile> standard_input() override { return std::make_unique<PosixInputFile>(STDIN_FILENO, false); }
  std::unique_ptr<OutputFile> standard_output() override {
    return std::make_unique<PosixOutputFile>(STDOUT_FILENO, false);
  }
  bool standard_input_is_terminal() override { return ::isatty(STDIN_FILENO) == 1; }

  Opened<InPlaceFile> open_in_place(const std::string& name) override { return open_in_place_at(name, nameless_); }

  std::optional<FileStatus> status(const std::string& name) override {
    struct stat st {};
    const auto at = Location::of(name);
    if (!at || ::fstatat(at->folder(), at->base(), &st, 0) != 0) return std::nullopt;
    return status_of(st);
  }

  std::optional<FileIdentity> standard_output_identity() override {
    struct stat st {};
    if (::fstat(STDOUT_FILENO, &st) != 0) return std::nullopt;
    return status_of(st).identity;
  }

 private:
  bool nameless_;
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
  for (const int s : kInterruptingSignals) {
    struct sigaction previous {};
    // A signal ignored from the start (nohup) stays ignored.
    if (::sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = remove_temporary_and_exit;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(s, &action, nullptr);
  }
}

void end_as_closed_pipe() {
  ::signal(SIGPIPE, SIG_DFL);
  ::raise(SIGPIPE);
}

FileSystem& native_file_system(NewFiles new_files) {
  static PosixFileSystem nameless(true), named(false);
  return new_files == NewFiles::named ? named : nameless;
}

}  // namespace recodia::platform
