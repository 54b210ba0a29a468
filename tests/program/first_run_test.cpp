// What a new user meets first: the reference that --help and -h print, and
// the README, short enough to read and with recipes that work as printed.
#include <algorithm>
#include <fstream>

#include "cli/options.hpp"
#include "process.hpp"

namespace recodia::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// -h is --help; every line fits 80 columns; the commands it opens with are
// command lines that the program takes.
TEST(FirstRun, HelpFitsEightyColumnsAndOpensWithCommandsThatWork) {
  const TempDir dir;
  const RunResult full = run_recodia({"--help"}, dir.path()), h = run_recodia({"-h"}, dir.path());
  EXPECT_EQ(full.exit_code, 0);
  EXPECT_EQ(h.exit_code, 0);
  EXPECT_EQ(h.out, full.out);
  EXPECT_EQ(h.err, "");
  const std::vector<std::string> lines = lines_of(full.out);
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80u) << line;
  // The commands before the first blank line, up to their comment.
  std::size_t commands = 0;
  for (std::size_t i = 0; i < lines.size() && !lines[i].empty(); ++i) {
    if (!lines[i].starts_with("  recodia ")) continue;
    std::string command = lines[i].substr(10, lines[i].find("  ", 10) - 10);
    command = command.substr(0, command.find(" <"));  // the shell's redirections
    std::vector<std::string> words_of_command = words(command);
    const std::vector<std::string_view> arguments(words_of_command.begin(), words_of_command.end());
    ConversionSettings settings;
    CommandLine command_line;
    EXPECT_FALSE(parse_arguments(arguments, settings, command_line)) << command;
    ++commands;
  }
  EXPECT_EQ(commands, 5u);
}

// The README is read in five minutes, and its recipe for reading -detect's
// answers whatever the names hold works as printed.
TEST(FirstRun, TheReadmeIsShortAndItsDetectRecipeWorks) {
  const std::string readme = read_file(fs::path(RECODIA_SOURCE_DIR) / "README.md");
  EXPECT_LE(lines_of(readme).size(), 250u);
  const std::string recipe =
      R"sh(for f in *.txt; do printf '%s\t%s\n' "$(recodia -detect < "$f" | cut -d' ' -f2)" "$f"; done)sh";
  EXPECT_NE(readme.find("    " + recipe + "\n"), std::string::npos) << "the README no longer holds the recipe";
  if (windows_program()) GTEST_SKIP() << "the recipe runs the program by its name, which wine does not give";
  const TempDir dir;
  fs::create_directory(dir / "bin");
  fs::create_symlink(RECODIA_BINARY, dir / "bin/recodia");
  write_file(dir / "my letter.txt", field_bytes("KOI8-R:@russian.txt"));
  write_file(dir / "notes: 1.txt", "plain\n");
  const auto out = command_output("cd '" + dir.path().string() + "' && PATH=\"$PWD/bin:$PATH\" && " + recipe);
  EXPECT_EQ(out, "-koi8\tmy letter.txt\nascii\tnotes: 1.txt\n");
}

}  // namespace
}  // namespace recodia::test
