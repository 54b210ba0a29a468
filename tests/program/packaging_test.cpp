// What a user installs besides the program: the manual page, the bash
// completion, and the install rules and the Debian package, run for real.
#include <algorithm>
#include <fstream>

#include "cli/options.hpp"
#include "process.hpp"

namespace recodia::test {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

const fs::path kSourceDir = RECODIA_SOURCE_DIR, kBuildDir = fs::path(RECODIA_BINARY).parent_path();

// A command's words quoted for the shell, run in `directory`, with standard error too.
std::optional<std::string> run(const Words& words, const fs::path& directory = kSourceDir) {
  std::string line = "{ cd '" + directory.string() + "' &&";
  for (const std::string& word : words) line.append(" '").append(replace_all(word, "'", "'\\''")).append("'");
  return command_output(line + " 2>&1; } </dev/null");
}

std::string version() { return run({RECODIA_BINARY, "--version"}).value_or("recodia ?").substr(8, 5); }  // "recodia 0.8.3"

// The page carries the program's version and formats without a warning (its
// switch lists are the Documents test's).
TEST(Packaging, ManPageFormatsAndCarriesTheVersion) {
  EXPECT_NE(read_file(kSourceDir / "man/recodia.1").find("\"Recodia " + version() + "\""), std::string::npos);
  if (!command_output("command -v groff")) GTEST_SKIP() << "groff is not installed";
  for (const char* device : {"-Tps", "-Tutf8"})  // groff's default, and what man(1) uses on a terminal
    EXPECT_EQ(run({"groff", "-ww", "-man", "-z", device, "man/recodia.1"}), "") << device;
}

// What the completion that the file registers offers for the last word,
// called the way bash calls it.
TEST(Packaging, CompletionGivesSwitchesAfterADashOtherwiseFileNames) {
  const TempDir dir;
  for (const char* name : {"report.txt", "report old.txt", "-KOI8.txt", "-x", "*"}) write_file(dir / name, "");
  fs::create_directory(dir / "reports");
  write_file(dir / "reports/a.txt", "");
  Words switches;
  for (const Switch& s : switch_table()) switches.emplace_back(s.text);
  const std::pair<Words, Words> cases[] = {
      {{"recodia", "-"}, switches},
      {{"recodia", "-w", "-tok"}, {"-tokoi7", "-tokoi8", "-tokoi8r", "-tokoi8u", "-tokx"}},
      {{"recodia", "-?"}, {"-?"}},           // not globbed to "-x"
      {{"recodia", "-KOI"}, {"-KOI8.txt"}},  // a dash word that no switch begins with, capitals too
      {{"recodia", "-w", "report "}, {"report old.txt"}},
      {{"recodia", "-w", ""}, {"*", "-KOI8.txt", "-x", "report old.txt", "report.txt", "reports"}},  // "*" is a name
      {{"recodia", "in.txt", (dir / "reports/").string()}, {(dir / "reports/a.txt").string()}},  // and no "/?"
      {{"recodia", "-w", "--", "-"}, {"-KOI8.txt", "-x"}},  // after "--" names only
      {{"recodia", "--", "-w", ""}, {"*", "-KOI8.txt", "-x", "report old.txt", "report.txt", "reports"}},
  };
  for (auto [words, expected] : cases) {
    words.insert(words.begin(), {"bash", "--norc", "--noprofile", "-c", R"(source "$1" && shift &&
        registered=$(complete -p recodia) && function=${registered##*-F } && function=${function%% *} &&
        COMP_WORDS=("$@") && COMP_CWORD=$(($# - 1)) && COMP_LINE="$*" && COMP_POINT=${#COMP_LINE} && COMPREPLY=() &&
        "$function" recodia "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" && printf '%s\n' "${COMPREPLY[@]}")",
                                 "bash", (kSourceDir / "completion/recodia").string()});
    std::istringstream lines(run(words, dir.path()).value_or("(failed)"));
    Words offered;
    for (std::string line; std::getline(lines, line);) offered.push_back(line);
    std::ranges::sort(offered), std::ranges::sort(expected);
    EXPECT_EQ(offered, expected) << testing::PrintToString(words.back());
  }
}

// The files under `prefix`, and the program there converting a file.
void expect_installed_under(const fs::path& prefix) {
  EXPECT_EQ(run({"sh", "-c", "find . ! -type d ! -path './share/doc/recodia/docs/*' | sort"}, prefix),
            "./bin/recodia\n./share/bash-completion/completions/recodia\n./share/doc/recodia/README.md\n"
            "./share/doc/recodia/changelog.gz\n./share/doc/recodia/copyright\n./share/man/man1/recodia.1.gz\n");
  // Every document the installed README links to is installed beside it.
  EXPECT_EQ(run({"sh", "-c", "grep -o '](docs/[^)#]*' README.md | cut -c3- | sort -u | while read -r f; do "
                             "[ -f \"$f\" ] || echo \"$f\"; done"},
                prefix / "share/doc/recodia"),
            "");
  const TempDir dir;
  write_file(dir / "in.txt", field_bytes("CP1251:@russian.txt"));
  EXPECT_EQ(run({(prefix / "bin/recodia").string(), "-ni", "-w", "-tokoi8", "in.txt", "out.txt"}, dir.path()), "Wait...\n Done.\n");
  EXPECT_EQ(hex(read_file(dir / "out.txt")), hex(field_bytes("KOI8-R:@russian.txt")));
}

// An install into a temporary prefix; then, where dpkg-deb is, the Debian
// package that cpack makes from it (so that the test never rebuilds the tree,
// as cpack's own install step would), checked by lintian where it is.
// `cmake --install` writes its record into the build tree: the user's own is
// put back, and installs from one build tree take turns.
TEST(Packaging, InstallIntoAPrefixAndTheDebianPackage) {
  const fs::path cmake = RECODIA_CMAKE;  // the cmake that configured this build
  const TempDir work;
  const auto installed = run({"flock", kBuildDir.string(), "sh", "-c", R"(
    m=$1/install_manifest.txt; if [ -e "$m" ]; then cp -p "$m" saved; fi; "$2" --install "$1" --strip --prefix "$3"; r=$?
    if [ -e saved ]; then mv saved "$m"; else rm -f "$m"; fi; exit $r)", "sh", kBuildDir.string(), cmake.string(),
    (work / "root/usr").string()}, work.path());
  ASSERT_TRUE(installed);
  expect_installed_under(work / "root/usr");
  if (!command_output("command -v dpkg-deb")) GTEST_SKIP() << "dpkg-deb is not installed, so no Debian package is made";
  std::ofstream(work / "config.cmake") << "include(\"" << (kBuildDir / "CPackConfig.cmake").string() << "\")\n"
                                       << "set(CPACK_INSTALL_CMAKE_PROJECTS \"\")\n"
                                       << "set(CPACK_INSTALLED_DIRECTORIES \"" << (work / "root").string() << ";.\")\n";
  const auto made = run({fs::path(cmake).replace_filename("cpack"), "-G", "DEB", "--config", "config.cmake", "-B", "out"}, work.path());
  // The file's name says the package, its version and the machine's architecture.
  const std::string architecture = run({"dpkg", "--print-architecture"}).value_or("?\n");
  const std::string deb = "out/recodia_" + version() + "_" + architecture.substr(0, architecture.size() - 1) + ".deb";
  ASSERT_TRUE(run({"dpkg-deb", "-x", deb, "unpacked"}, work.path())) << made.value_or("");
  expect_installed_under(work / "unpacked/usr");
  if (!command_output("command -v lintian")) GTEST_SKIP() << "lintian is not installed, so the package is not checked";
  EXPECT_EQ(run({"sh", "-c", "lintian " + deb + " 2>/dev/null | grep '^E: '"}, work.path()), std::nullopt);
}

}  // namespace
}  // namespace recodia::test
