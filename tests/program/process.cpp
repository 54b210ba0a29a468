#include "process.hpp"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

namespace recodia::test {

namespace fs = std::filesystem;

TempDir::TempDir(const fs::path& base) {
  std::string pattern = (base / "recodia-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests take permissions away; they are given back so that removal works.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void write_file(const fs::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

namespace {

// The words of the command that runs the program under test.
std::vector<std::string> program_under_test() {
  const char* chosen = std::getenv("RECODIA_TEST_PROGRAM");
  std::vector<std::string> command = words(chosen != nullptr && *chosen != '\0' ? chosen : RECODIA_TEST_PROGRAM);
  if (command.empty()) command.push_back(RECODIA_BINARY);
  return command;
}

Bytes drain(int fd) {
  Bytes all;
  std::array<char, 65536> buf;
  for (ssize_t n; (n = ::read(fd, buf.data(), buf.size())) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    all.append(buf.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
  return all;
}

// A pseudo-terminal: its master, and its other side opened.
std::pair<int, int> terminal() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) throw std::runtime_error("no terminal");
  return {master, ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC)};
}

}  // namespace

bool windows_program() {
  static const bool windows = program_under_test().back().ends_with(".exe");
  return windows;
}

RunResult run_recodia(const std::vector<std::string>& arguments, const fs::path& directory,
                      const ProcessSetting& setting) {
  int out[2] = {-1, -1}, err[2];  // the program's side is [1], the test's [0]
  if (::pipe(err) != 0) throw std::runtime_error("pipe failed");
  if (setting.standard_output_terminal) {
    std::tie(out[0], out[1]) = terminal();  // opened before the program starts, so that nothing it writes is lost
    termios raw{};
    ::tcgetattr(out[1], &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(out[1], TCSANOW, &raw);
  } else if (setting.standard_output_file) {
    const int mode = setting.append_standard_output ? O_APPEND : O_TRUNC;
    out[1] = ::open(setting.standard_output_file->c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0666);
  } else if (::pipe(out) == 0 && setting.standard_output_broken_pipe) {
    ::close(std::exchange(out[0], -1));
  } else if (setting.interrupt) {  // filled, so that the program waits at its first message
    ::fcntl(out[1], F_SETFL, O_NONBLOCK);
    for (const std::string filler(4096, 'x'); ::write(out[1], filler.data(), filler.size()) > 0;) continue;
    ::fcntl(out[1], F_SETFL, 0);
  }
  int in = -1, in_master = -1;  // a terminal's master stays open until the end
  if (setting.standard_input_terminal) std::tie(in_master, in) = terminal();
  if (setting.standard_input_file) in = ::open(setting.standard_input_file->c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<std::string> words = program_under_test();
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::string locale = "LC_ALL=" + setting.locale.value_or("");
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (setting.unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(126);
    if (::chdir(directory.c_str()) != 0) ::_exit(127);
    ::dup2(in >= 0 ? in : ::open("/dev/null", O_RDONLY), STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(setting.standard_error_to_output ? out[1] : err[1], STDERR_FILENO);
    for (int fd : {out[0], err[0]})
      if (fd >= 0) ::close(fd);
    for (int fd : setting.closed_descriptors) ::close(fd);
    if (setting.locale) ::putenv(locale.data());
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(err[1]);
  if (in >= 0) ::close(in);
  RunResult result;
  // Both streams are drained at once, so that neither can fill up and block the program.
  std::thread err_reader([&] { result.err = drain(err[0]); });
  int status = 0;
  // The replacement is made beside the file, nameless where the file system allows.
  const fs::path temporary = directory / "TMP1.$$$";
  const auto replacement_made = [&] {
    if (fs::exists(temporary)) return true;
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
      if (fs::read_symlink(fd.path(), error).string().ends_with(" (deleted)")) return true;
    return false;
  };
  for (int tries = 0; setting.interrupt && tries < 500 && !replacement_made(); ++tries) ::usleep(10000);
  if (setting.interrupt) ::usleep(50000), ::kill(pid, *setting.interrupt);
  // A terminal is read when the program has ended (its master reports EIO then); a pipe while it runs.
  const bool wait_first = setting.standard_output_terminal || setting.interrupt;
  rusage usage{};
  if (wait_first) ::wait4(pid, &status, 0, &usage);
  ::close(out[1]);
  if (out[0] >= 0) result.out = setting.interrupt ? (::close(out[0]), "") : drain(out[0]);
  if (!wait_first) ::wait4(pid, &status, 0, &usage);
  result.peak_memory_kib = usage.ru_maxrss;
  // Under wine a file goes when its server has closed the ended program's files, a moment later.
  for (int tries = 0; setting.interrupt && windows_program() && tries < 100 && fs::exists(temporary); ++tries) ::usleep(10000);
  err_reader.join();
  if (in_master >= 0) ::close(in_master);
  // Ended by a signal, as a shell gives it: 128 and the signal's number.
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  return result;
}

bool permissions_bind() {
  // Root can hand the program to "nobody" only where setuid is allowed (and
  // wine runs only for the owner of its prefix).
  static const bool bind = !windows_program() && (::geteuid() != 0 ||
                           run_recodia({"--version"}, "/", {.unprivileged = true}).exit_code == 0);
  return bind;
}

long long modification_time(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + p.string());
  return st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
}

void set_modification_time(const fs::path& p, long long ns) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(ns / 1000000000), ns % 1000000000}};
  if (::utimensat(AT_FDCWD, p.c_str(), times, 0) != 0) throw std::runtime_error("cannot set the time of " + p.string());
}

long long local_seconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
  t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second, t.tm_isdst = -1;
  return static_cast<long long>(std::mktime(&t));
}

Tree tree(const fs::path& root) {
  Tree t;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const fs::file_status s = e.symlink_status();
    const std::string mode = (std::ostringstream() << std::oct << (static_cast<unsigned>(s.permissions()) & 0777u)).str();
    std::string& v = t[e.path().lexically_relative(root).string()];
    if (fs::is_symlink(s)) v = "-> " + fs::read_symlink(e.path()).string();
    else if (fs::is_directory(s)) v = "dir " + mode;
    else if (fs::is_regular_file(s)) v = mode + " " + (::access(e.path().c_str(), R_OK) == 0 ? read_file(e.path()) : "?");
    else v = "special";
  }
  return t;
}

testing::AssertionResult same_tree(const Tree& expected, const Tree& actual) {
  // Windows keeps no permission bits, only whether a file is read-only.
  const auto as_kept = [](const std::string& value) {
    const std::size_t space = value.find(' ');
    if (!windows_program() || space == std::string::npos || value[0] < '0' || value[0] > '7') return value;
    return ((std::stoul(value.substr(0, space), nullptr, 8) & 0200) ? "writable" : "read-only") + value.substr(space);
  };
  std::string diff;
  Tree all = expected;
  all.insert(actual.begin(), actual.end());
  for (const auto& [name, value] : all) {
    const auto e = expected.find(name), a = actual.find(name);
    if (e == expected.end()) diff += "\n  unexpected " + name + ": " + a->second.substr(0, 40);
    else if (a == actual.end()) diff += "\n  missing " + name;
    else if (as_kept(e->second) != as_kept(a->second)) diff += "\n  " + name + ": " + same_bytes(e->second, a->second).message();
  }
  if (diff.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "the folder differs:" << diff;
}

testing::AssertionResult same_messages(std::string_view expected, std::string_view actual) {
  const auto failure = [&] { return testing::AssertionFailure() << "expected:\n" << expected << "got:\n" << actual; };
  if (expected == actual) return testing::AssertionSuccess();
  if (!windows_program()) return failure();
  // The same lines but for the system's reason, which says something.
  static const std::string_view kReasons[] = {"No such file or directory", "Permission denied", "Is a directory",
                                              "Not a directory", "File name too long", "No space left on device", "Broken pipe"};
  std::istringstream expected_lines{std::string(expected)}, actual_lines{std::string(actual)};
  for (std::string e, a; std::getline(expected_lines, e);) {
    if (!std::getline(actual_lines, a)) return failure();
    const auto but_reason = [&](std::string_view reason) {
      const std::size_t at = e.find(reason);
      if (at == std::string::npos) return false;
      const std::size_t rest = e.size() - at - reason.size();
      return a.size() > at + rest && a.compare(0, at, e, 0, at) == 0 && a.compare(a.size() - rest, rest, e, e.size() - rest, rest) == 0;
    };
    if (e != a && std::ranges::none_of(kReasons, but_reason)) return failure();
  }
  std::string more;
  return std::getline(actual_lines, more) ? failure() : testing::AssertionSuccess();
}

}  // namespace recodia::test
