// Names that hold control characters are shown as ls shows them for the
// shell: compared with ls itself on real files, and read back by the shell.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "cli/quoting.hpp"

namespace recodia {
namespace {

std::string output_of(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

TEST(Quoting, NamesWithControlCharactersAsLsQuotesThem) {
  if (output_of("ls --quoting-style=shell-escape / 2>/dev/null").empty()) GTEST_SKIP() << "no GNU ls";
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("recodia-quoting-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  // A line forged, an escape sequence, a quote beside a tab, a leading line
  // break, a C1 control in UTF-8, a stray C1 byte before a Cyrillic letter, DEL.
  for (const std::string name : {"a\nb: -koi8 KOI8-R", "x\x1b[31my", "it's\tz", "\nlead", "c\xc2\x9b" "d", "z\x9b\xd0\x96", "del\x7f"}) {
    SCOPED_TRACE(name);
    std::ofstream(dir / name).put('x');
    const std::string shown = shown_name(name, false);
    EXPECT_EQ(shown, shown_name(name, true)) << "quoted alike in messages";
    EXPECT_EQ(shown.find_first_of("\n\r\x1b\x7f"), std::string::npos);
    // bash reads the name back ($'...' is not POSIX sh), and ls shows it as shown here.
    std::ofstream(dir / "show.sh") << "cd " << dir.string() << " && LC_ALL=C.UTF-8 ls --quoting-style=shell-escape -- " << shown << "\n";
    EXPECT_EQ(shown + "\n", output_of("bash " + (dir / "show.sh").string()));
    std::filesystem::remove(dir / name);
  }
  std::filesystem::remove_all(dir);
  // Without a control character a name stays as it was, in quotes in messages.
  EXPECT_EQ(shown_name("письмо 'a'.txt", false), "письмо 'a'.txt");
  EXPECT_EQ(shown_name("a.txt", true), "'a.txt'");
}

}  // namespace
}  // namespace recodia
