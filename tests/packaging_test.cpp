// What a user installs besides the program: the manual page, the bash
// completion, and the install rules and the Debian package run for real.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/options.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

const fs::path kSourceDir = RECODIA_SOURCE_DIR;
const fs::path kManPage = kSourceDir / "man" / "recodia.1";
const fs::path kBuildDir = fs::path(RECODIA_BINARY).parent_path();

std::string lines(const Words& words) {
  std::string s;
  for (const auto& w : words) s += w + "\n";
  return s;
}

// Runs a command in `directory` without standard input; gives its exit code
// and what it wrote (standard error too, unless sent elsewhere).
std::pair<int, Bytes> shell(const Words& words, const fs::path& directory, const std::string& redirect = "2>&1") {
  const auto quoted = [](const std::string& w) { return "'" + std::regex_replace(w, std::regex("'"), "'\\''").append("'"); };
  std::string line = "cd " + quoted(directory) + " &&";
  for (const auto& w : words) line.append(" ").append(quoted(w));
  FILE* pipe = ::popen((line + " </dev/null " + redirect).c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("popen failed");
  Bytes out;
  for (int c; (c = std::fgetc(pipe)) != EOF;) out += static_cast<char>(c);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

bool installed(const std::string& program) { return shell({"command", "-v", program}, kSourceDir).first == 0; }

// The version that the program itself prints in its banner.
std::string banner_version() {
  const std::string out = shell({RECODIA_BINARY, "only-one-name"}, kSourceDir).second;
  std::smatch m;
  return std::regex_search(out, m, std::regex(" Recodia version ([0-9][0-9.]*);")) ? m[1].str() : "none in " + out;
}

// A list of switch texts against the program's table; the failure shows the
// lines that differ (a switch listed twice among them).
void expect_program_switches(Words listed, const std::string& where) {
  Words expected;
  for (const Switch& s : switch_table()) expected.emplace_back(s.text);
  std::sort(listed.begin(), listed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines(listed), lines(expected)) << where << " lists other switches than the program has";
}

// The switch lists themselves are written from the switch table (the
// Documents test holds them to it); here: the page carries the program's
// version and formats without a warning.
TEST(Packaging, ManPageFormatsAndCarriesTheVersion) {
  std::smatch version;
  const std::string page = read_file(kManPage);
  ASSERT_TRUE(std::regex_search(page, version, std::regex(R"re(\n\.TH RECODIA 1 "[^"]*" "Recodia ([0-9.]+)")re")));
  EXPECT_EQ(version[1], banner_version());
  if (!installed("groff")) GTEST_SKIP() << "groff is not installed, so the page cannot be checked";
  for (const char* device : {"-Tps", "-Tutf8"})  // groff's default, and what man(1) uses on a terminal
    EXPECT_EQ(shell({"groff", "-ww", "-man", "-z", device, kManPage}, kSourceDir), std::pair(0, Bytes())) << device;
}

// What the completion function that the file registers offers for the last
// word of a command line, called the way bash calls it.
Words complete(const Words& words, const fs::path& directory) {
  static const std::string kScript = R"(source "$1" || exit 3; shift
registered=$(complete -p recodia) || exit 4; function=${registered##*-F }; function=${function%% *}
COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; COMPREPLY=()
"$function" recodia "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"; printf '%s\0' "${COMPREPLY[@]}")";
  Words command = {"bash", "--norc", "--noprofile", "-c", kScript, "bash", kSourceDir / "completion/recodia"};
  command.insert(command.end(), words.begin(), words.end());
  const Bytes out = shell(command, directory, "2>/dev/null").second;
  Words offered;
  for (std::size_t start = 0, nul; (nul = out.find('\0', start)) != std::string::npos; start = nul + 1)
    if (nul > start) offered.push_back(out.substr(start, nul - start));
  return offered;
}

TEST(Packaging, CompletionGivesSwitchesAfterADashOtherwiseFileNames) {
  const TempDir dir;
  for (const char* name : {"report.txt", "report old.txt", "-KOI8.txt", "-x", "*"}) write_file(dir / name, "");
  fs::create_directory(dir / "reports");
  write_file(dir / "reports" / "a.txt", "");
  expect_program_switches(complete({"recodia", "-"}, dir.path()), "the completion after \"-\"");
  const std::pair<Words, Words> cases[] = {
      {{"recodia", "-w", "-tok"}, {"-tokoi7", "-tokoi8", "-tokoi8r", "-tokoi8u", "-tokx"}},
      {{"recodia", "-?"}, {"-?"}},           // not globbed to "-x"
      {{"recodia", "-KOI"}, {"-KOI8.txt"}},  // a dash word that no switch begins with, capitals too
      {{"recodia", "-w", "report "}, {"report old.txt"}},
      {{"recodia", "-w", ""}, {"*", "-KOI8.txt", "-x", "report old.txt", "report.txt", "reports"}},  // "*" is a name
      {{"recodia", "in.txt", (dir / "reports/").string()}, {(dir / "reports/a.txt").string()}},  // and no "/?"
  };
  for (const auto& [words, expected] : cases) {
    Words offered = complete(words, dir.path());
    std::sort(offered.begin(), offered.end());
    EXPECT_EQ(offered, expected) << lines(words);
  }
}

// The three files under `prefix`, and the program there converting a Windows
// 1251 file to KOI8-R, against glibc's iconv.
void expect_installed_under(const fs::path& prefix) {
  EXPECT_EQ(shell({"sh", "-c", "find . ! -type d | sort"}, prefix).second,
            "./bin/recodia\n./share/bash-completion/completions/recodia\n./share/doc/recodia/README.md\n"
            "./share/doc/recodia/changelog.gz\n./share/doc/recodia/copyright\n./share/man/man1/recodia.1.gz\n");
  const TempDir dir;
  const Bytes text = "Съешь же ещё этих мягких французских булок, да выпей чаю. ЁЖ\n";
  write_file(dir / "in.txt", iconv_convert("UTF-8", "CP1251", text));
  const Words command = {(prefix / "bin/recodia").string(), "-ni", "-w", "-tokoi8", "in.txt", "out.txt"};
  EXPECT_EQ(shell(command, dir.path()), std::pair(0, Bytes("Wait...\n Done.\n")));
  EXPECT_EQ(hex(read_file(dir / "out.txt")), hex(iconv_convert("UTF-8", "KOI8-R", text)));
}

// An install into a temporary prefix; then, where dpkg-deb is, the Debian
// package made by cpack from the build's CPack configuration and that install,
// so that a test run never rebuilds the tree as cpack's own install step
// would. `cmake --install` writes its record into the build tree: the user's
// own is put back, and installs from one build tree take turns.
TEST(Packaging, InstallIntoAPrefixAndTheDebianPackage) {
  const std::string cache = read_file(kBuildDir / "CMakeCache.txt");
  std::smatch cmake;
  ASSERT_TRUE(std::regex_search(cache, cmake, std::regex("\nCMAKE_COMMAND:INTERNAL=(.*)")));
  const TempDir work;
  const auto [installed_code, install_output] = shell({"flock", kBuildDir.string(), "sh", "-c", R"(
    m=$1/install_manifest.txt; if [ -e "$m" ]; then cp -p "$m" saved; fi; "$2" --install "$1" --strip --prefix "$3"; r=$?
    if [ -e saved ]; then mv saved "$m"; else rm -f "$m"; fi; exit $r)", "sh", kBuildDir.string(), cmake[1],
    (work / "root/usr").string()}, work.path());
  ASSERT_EQ(installed_code, 0) << install_output;
  expect_installed_under(work / "root/usr");

  if (!installed("dpkg-deb")) GTEST_SKIP() << "dpkg-deb is not installed, so no Debian package is built";
  std::ofstream(work / "config.cmake") << "include(\"" << (kBuildDir / "CPackConfig.cmake").string() << "\")\n"
                                       << "set(CPACK_INSTALL_CMAKE_PROJECTS \"\")\n"
                                       << "set(CPACK_INSTALLED_DIRECTORIES \"" << (work / "root").string() << ";.\")\n";
  const Words cpack = {fs::path(cmake[1].str()).replace_filename("cpack"), "-G", "DEB", "--config", "config.cmake",
                       "-B", "out"};
  const auto [made_code, made_output] = shell(cpack, work.path());
  ASSERT_EQ(made_code, 0) << made_output;
  // The file's name says the package, its version and the machine's architecture.
  Bytes architecture = shell({"dpkg", "--print-architecture"}, work.path()).second;
  std::erase(architecture, '\n');
  const std::string deb = "out/recodia_" + banner_version() + "_" + architecture + ".deb";
  ASSERT_TRUE(fs::exists(work / deb)) << deb << " is not among what cpack made:\n" << made_output;
  const Bytes depends = shell({"dpkg-deb", "--field", deb, "Depends"}, work.path()).second;
  EXPECT_NE(depends.find("libc6"), std::string::npos) << "Depends: " << depends;
  ASSERT_EQ(shell({"dpkg-deb", "-x", deb, "unpacked"}, work.path()).first, 0);
  expect_installed_under(work / "unpacked/usr");
  // What a Debian user expects of a package: no error from lintian.
  if (!installed("lintian")) GTEST_SKIP() << "lintian is not installed, so the package is not checked";
  const Bytes report = shell({"lintian", deb}, work.path(), "2>/dev/null").second;
  EXPECT_EQ(report.find("E: "), std::string::npos) << report;
}

}  // namespace
}  // namespace recodia::test
