#include "fault_injection.hpp"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <thread>

namespace recodia::test {
namespace {

using platform::DosDateTime;
using platform::FileStatus;
using platform::InputFile;
using platform::OutputFile;

bool looks_like_temporary_name(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  if (base.size() < 8 || base.compare(0, 3, "TMP") != 0 || base.compare(base.size() - 4, 4, ".$$$") != 0)
    return false;
  return std::all_of(base.begin() + 3, base.end() - 4, [](char c) { return c >= '0' && c <= '9'; });
}

class FaultyInputFile final : public InputFile {
 public:
  FaultyInputFile(std::unique_ptr<InputFile> real, FaultyFileSystem& owner, int number)
      : real_(std::move(real)), owner_(owner), number_(number) {}
  std::size_t read(std::uint8_t* data, std::size_t size) override {
    if (failed_) return 0;
    if (owner_.should_fail(Operation::read, number_)) {
      // A bad sector midway: the bytes before it arrive, then the error.
      const std::size_t n = real_->read(data, size / 2);
      if (n == 0) failed_ = true;
      pending_failure_ = true;
      return n;
    }
    if (pending_failure_) {
      failed_ = true;
      return 0;
    }
    return real_->read(data, size);
  }
  bool failed() const override { return failed_ || real_->failed(); }
  std::optional<DosDateTime> last_write_time() override { return real_->last_write_time(); }
  std::optional<FileStatus> status() override { return real_->status(); }

 private:
  std::unique_ptr<InputFile> real_;
  FaultyFileSystem& owner_;
  int number_;
  bool pending_failure_ = false;
  bool failed_ = false;
};

class FaultyOutputFile final : public OutputFile {
 public:
  FaultyOutputFile(std::unique_ptr<OutputFile> real, FaultyFileSystem& owner, int number)
      : real_(std::move(real)), owner_(owner), number_(number) {}

  bool write(const std::uint8_t* data, std::size_t size) override {
    if (failed_) return false;
    if (owner_.should_fail(Operation::write, number_)) {
      // Part of the block reaches the file, as when a disk fills up midway.
      real_->write(data, size / 2);
      failed_ = true;
      return false;
    }
    return real_->write(data, size);
  }
  bool failed() const override { return failed_ || real_->failed(); }
  bool flush() override {
    if (owner_.should_fail(Operation::flush, number_)) failed_ = true;
    if (failed_) return false;
    return real_->flush();
  }
  bool set_last_write_time(DosDateTime time) override {
    if (owner_.should_fail(Operation::set_last_write_time, number_)) return false;
    return real_->set_last_write_time(time);
  }
  bool set_permissions(std::uint32_t permissions) override {
    if (owner_.should_fail(Operation::set_permissions, number_)) return false;
    return real_->set_permissions(permissions);
  }
  bool close() override {
    const bool fail = owner_.should_fail(Operation::close, number_);
    const bool ok = real_->close();
    if (fail) failed_ = true;
    return ok && !failed_;
  }

 private:
  std::unique_ptr<OutputFile> real_;
  FaultyFileSystem& owner_;
  int number_;
  bool failed_ = false;
};

}  // namespace

int FaultyFileSystem::calls(Operation operation) const {
  const auto it = calls_.find(operation);
  return it == calls_.end() ? 0 : it->second;
}

const Fault* FaultyFileSystem::find(Operation operation, int file, int call) const {
  for (const Fault& f : faults_) {
    if (f.operation != operation || (f.call != 0 && f.call != call)) continue;
    if (file != 0 && f.file != file) continue;
    return &f;
  }
  return nullptr;
}

bool FaultyFileSystem::should_fail(Operation operation, int file) {
  ++calls_[operation];
  const int call = ++file_calls_[{operation, file}];
  return find(operation, file, call) != nullptr;
}

std::unique_ptr<InputFile> FaultyFileSystem::open_for_reading(const std::string& name) {
  const int call = ++calls_[Operation::open_for_reading];
  if (find(Operation::open_for_reading, 0, call)) return nullptr;
  auto real = real_.open_for_reading(name);
  if (!real) return nullptr;
  return std::make_unique<FaultyInputFile>(std::move(real), *this, ++files_opened_);
}

std::unique_ptr<OutputFile> FaultyFileSystem::create_for_writing(const std::string& name,
                                                                 platform::CreateMode mode) {
  create_requests_.push_back(name);
  const int call = ++calls_[Operation::create_for_writing];
  if (find(Operation::create_for_writing, 0, call)) return nullptr;
  auto real = real_.create_for_writing(name, mode);
  if (!real) return nullptr;
  return std::make_unique<FaultyOutputFile>(std::move(real), *this, ++files_created_);
}

bool FaultyFileSystem::exists(const std::string& name) {
  exists_requests_.push_back(name);
  if (temporary_names_taken_ && looks_like_temporary_name(name)) return true;
  return real_.exists(name);
}

platform::RenameResult FaultyFileSystem::rename_over(const std::string& from, const std::string& to) {
  const int call = ++calls_[Operation::rename_over];
  if (const Fault* f = find(Operation::rename_over, 0, call)) return f->rename_result;
  return real_.rename_over(from, to);
}

CurrentDirectory::CurrentDirectory(const std::filesystem::path& directory)
    : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(directory);
}

CurrentDirectory::~CurrentDirectory() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
}

ShmDir::ShmDir() {
  std::string pattern = "/dev/shm/recodia-test-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ShmDir::~ShmDir() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

bool running_as_root() { return ::geteuid() == 0; }

bool permissions_bind() {
  if (!running_as_root()) return true;
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
    ::_exit(dropped ? 0 : 1);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool terminals_available() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return false;
  ::close(master);
  return true;
}

unsigned permission_bits(const std::filesystem::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + p.string());
  return static_cast<unsigned>(st.st_mode & 07777);
}

FileTime modification_time(const std::filesystem::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + p.string());
  return {static_cast<long long>(st.st_mtim.tv_sec), static_cast<long>(st.st_mtim.tv_nsec)};
}

void set_modification_time(const std::filesystem::path& p, FileTime t) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(t.seconds), t.nanoseconds}};
  if (::utimensat(AT_FDCWD, p.c_str(), times, 0) != 0) throw std::runtime_error("cannot set the time of " + p.string());
}

long long local_seconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&local));
}

testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual) {
  if (expected == actual) return testing::AssertionSuccess();
  std::size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
  const std::size_t from = i < 8 ? 0 : i - 8;
  return testing::AssertionFailure() << "expected " << expected.size() << " bytes, got " << actual.size()
                                     << "; first difference at " << i << ": expected ..."
                                     << hex(expected.substr(std::min(from, expected.size()), 24)) << "... got ..."
                                     << hex(actual.substr(std::min(from, actual.size()), 24)) << "...";
}

std::vector<std::string> folder_listing(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

Bytes drain(int fd) {
  Bytes all;
  std::array<char, 65536> buf;
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // a pseudo-terminal reports EIO once the slave is closed
    all.append(buf.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
  return all;
}

}  // namespace

RunResult run_recodia_with(const std::vector<std::string>& arguments,
                           const std::filesystem::path& working_directory, const ProcessSetting& setting) {
  int out_pipe[2] = {-1, -1};
  int err_pipe[2];
  if (::pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
  int terminal_master = -1;
  int terminal_slave = -1;
  if (setting.standard_output_terminal) {
    terminal_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal_master < 0 || ::grantpt(terminal_master) != 0 || ::unlockpt(terminal_master) != 0)
      throw std::runtime_error("no pseudo-terminal");
    // Opened here, before the program starts, so that nothing it writes is
    // lost to a read of the master side while no slave side is open yet.
    terminal_slave = ::open(::ptsname(terminal_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal_slave < 0) throw std::runtime_error("no pseudo-terminal");
    termios raw{};
    if (::tcgetattr(terminal_slave, &raw) == 0) {
      ::cfmakeraw(&raw);
      ::tcsetattr(terminal_slave, TCSANOW, &raw);
    }
  } else if (!setting.standard_output_file) {
    if (::pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  }
  int file_fd = -1;
  if (setting.standard_output_file) {
    const int mode = setting.append_standard_output ? O_APPEND : O_TRUNC;
    file_fd = ::open(setting.standard_output_file->c_str(), O_WRONLY | O_CREAT | mode | O_CLOEXEC, 0666);
    if (file_fd < 0) throw std::runtime_error("cannot open " + setting.standard_output_file->string());
  }

  std::string program = RECODIA_BINARY;
  std::vector<std::string> copies = arguments;
  std::vector<char*> argv{program.data()};
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string locale_variable = setting.locale ? "LC_ALL=" + *setting.locale : std::string();

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (setting.unprivileged && ::geteuid() == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(126);
    }
    if (::chdir(working_directory.c_str()) != 0) ::_exit(127);
    const int null_in = ::open("/dev/null", O_RDONLY);
    ::dup2(null_in, STDIN_FILENO);
    if (terminal_slave >= 0) {
      ::dup2(terminal_slave, STDOUT_FILENO);
    } else if (file_fd >= 0) {
      ::dup2(file_fd, STDOUT_FILENO);
    } else {
      ::dup2(out_pipe[1], STDOUT_FILENO);
      ::close(out_pipe[0]);
    }
    ::dup2(err_pipe[1], STDERR_FILENO);
    ::close(err_pipe[0]);
    for (int fd : setting.closed_descriptors) ::close(fd);
    if (setting.locale) ::putenv(locale_variable.data());
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (file_fd >= 0) ::close(file_fd);
  if (out_pipe[1] >= 0) ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  RunResult result;
  std::thread err_reader([&] { result.err = drain(err_pipe[0]); });
  int status = 0;
  if (terminal_master >= 0) {
    // The messages are far shorter than a terminal's buffer: let the program
    // finish, then read what it left there.
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::close(terminal_slave);
    result.out = drain(terminal_master);
  } else {
    if (out_pipe[0] >= 0) result.out = drain(out_pipe[0]);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  err_reader.join();
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace recodia::test
