// The two message sets byte for byte, and which of them the program prints
// when. The Russian texts are written here in UTF-8 and turned into DOS 866
// by glibc's iconv, independently of the program's own conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <string_view>
#include <vector>

#include "cli/messages.hpp"
#include "cli/run.hpp"
#include "fault_injection.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

// Messages 1 to 14, 18 and 19; 15 to 17 (authorship, web, e-mail) are the
// program's own and are checked for their form only.
const std::vector<std::string> kEnglish = {
    "Converter of texts in different encodings (with lf style adjustment)\n"
    " Recodia version 0.8.3; Build date Nov 30 2014\n"
    "For RUSSIAN help type: recodia -? -rus",
    "   Languages supported:",
    "     east-european (Cyrillic, e.g. Russian);",
    "     Turkish; west-european;",
    "Program call syntax: recodia [swithces] [file1 file2]",
    "Some swithces (FULL LIST SEE IN readme FILE):",
    "       -32     do not work with special symbols (<32);",
    "       -ni     dont show version info;",
    "       -rus    use Russian interface;",
    "       -? or /?  help;",
    "file1  name of input file;",
    "file2  name of output file.",
    "Returns exit codes:",
    "0 -file's been converted; 1 -file's not been converted.",
    "", "", "",
    "Wait...",
    " Done.",
};

const std::vector<std::string> kRussianUtf8 = {
    "Преобразование текстов в разных кодировках (с настройкой перевода строки)\n"
    " Recodia версия 0.8.3; Дата сборки Nov 30 2014\n"
    "For ENGLISH help type: recodia -? -en",
    "   Поддерживаемые языки:",
    "     восточно-европейские (кириллица);",
    "     турецкий; западно-европейские;",
    "Синтаксис вызова программы: recodia [ключи] [файл1 файл2]",
    "Некоторые ключи (полный список см. в файле README):",
    "       -32     не обрабатывать служебные символы;",
    "       -ni     не выводить сведения о версии;",
    "       -en     USE ENGLISH LANGUAGE;",
    "       -? или /?  помощь;",
    "файл1  имя исходного файла;",
    "файл2  имя файла, куда записать результат.",
    // The first letter is the Latin capital B, written as an escape so that
    // no editor can turn it into its Cyrillic look-alike.
    "\x42озвращает коды завершения:",
    "0 -файл преобразован; 1 -файл не преобразован.",
    "", "", "",
    "Подождите...",
    " Готово.",
};

bool is_own_message(int number) { return number >= 15 && number <= 17; }

std::string expected_message(Language language, int number) {
  if (is_own_message(number)) return std::string(select_messages(language)[number - 1]);
  if (language == Language::english) return kEnglish[number - 1];
  return iconv_convert("UTF-8", "CP866", kRussianUtf8[number - 1]);
}

std::string expected_lines(Language language, std::initializer_list<int> numbers) {
  std::string s;
  for (int n : numbers) s += expected_message(language, n) + "\n";
  return s;
}

std::string expected_help(Language language) {
  return expected_lines(language, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17});
}

TEST(MessageSets, EnglishByteForByte) {
  const MessageSet& set = select_messages(Language::english);
  for (int n = 1; n <= 19; ++n) {
    if (is_own_message(n)) continue;
    EXPECT_EQ(set[n - 1], kEnglish[n - 1]) << "English message " << n;
  }
}

TEST(MessageSets, RussianByteForByteAsDos866) {
  const MessageSet& set = select_messages(Language::russian);
  for (int n = 1; n <= 19; ++n) {
    if (is_own_message(n)) continue;
    EXPECT_EQ(hex(set[n - 1]), hex(iconv_convert("UTF-8", "CP866", kRussianUtf8[n - 1]))) << "Russian message " << n;
  }
}

TEST(MessageSets, LatinBOfRussianMessage13) {
  const std::string_view m = select_messages(Language::russian)[12];
  ASSERT_GE(m.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(m[0]), 0x42);   // not 0x82, the Cyrillic В
  EXPECT_EQ(static_cast<unsigned char>(m[1]), 0xAE);   // о
  EXPECT_EQ(m.find('\x82'), std::string_view::npos);
}

TEST(MessageSets, LayoutDetails) {
  for (Language language : {Language::english, Language::russian}) {
    const MessageSet& set = select_messages(language);
    auto leading_spaces = [&](int n) { return set[n - 1].find_first_not_of(' '); };
    EXPECT_EQ(leading_spaces(2), 3u);
    EXPECT_EQ(leading_spaces(3), 5u);
    EXPECT_EQ(leading_spaces(4), 5u);
    for (int n = 7; n <= 10; ++n) EXPECT_EQ(leading_spaces(n), 7u) << n;
    for (int n : {1, 5, 6, 11, 12, 13, 14, 15, 16, 17, 18}) EXPECT_EQ(leading_spaces(n), 0u) << n;
    EXPECT_EQ(leading_spaces(19), 1u);
    // The switch padded to eight characters before its description.
    for (int n = 7; n <= 9; ++n) {
      const std::string_view rest = set[n - 1].substr(7);
      const std::size_t end = rest.find(' ');
      EXPECT_EQ(rest.find_first_not_of(' ', end), 8u) << n;
    }
    EXPECT_EQ(set[6].substr(7, 8), "-32     ");
    EXPECT_EQ(set[7].substr(7, 8), "-ni     ");
    EXPECT_EQ(set[8].substr(7, 8), language == Language::english ? "-rus    " : "-en     ");
    // Two spaces before the last word of message 10, after the file in 11 and 12.
    const std::string_view ten = set[9];
    const std::size_t last_space = ten.rfind(' ');
    EXPECT_EQ(ten.substr(last_space - 1, 2), "  ");
    EXPECT_NE(ten[last_space - 2], ' ');
    EXPECT_EQ(set[10].substr(5, 3).find_first_not_of(' '), 2u);
    EXPECT_EQ(set[11].substr(5, 3).find_first_not_of(' '), 2u);
    // Message 1 is three lines, the second beginning with one space; no
    // other message holds a line break.
    const std::string_view banner = set[0];
    EXPECT_EQ(std::count(banner.begin(), banner.end(), '\n'), 2);
    EXPECT_EQ(banner.substr(banner.find('\n') + 1, 9), " Recodia ");
    for (int n = 2; n <= 19; ++n) EXPECT_EQ(set[n - 1].find('\n'), std::string_view::npos) << n;
    // Each set points to the other's switch.
    EXPECT_TRUE(banner.ends_with(language == Language::english ? "recodia -? -rus" : "recodia -? -en"));
  }
}

TEST(MessageSets, OwnMessagesAreOneHonestLineEach) {
  for (Language language : {Language::english, Language::russian}) {
    const MessageSet& set = select_messages(language);
    for (int n = 15; n <= 17; ++n) {
      const std::string_view m = set[n - 1];
      EXPECT_FALSE(m.empty()) << n;
      EXPECT_EQ(m.find('\n'), std::string_view::npos) << n;
      EXPECT_EQ(m.find('\r'), std::string_view::npos) << n;
      for (unsigned char c : m) EXPECT_GE(c, 0x20) << n;
      if (language == Language::english) {
        for (unsigned char c : m) EXPECT_LT(c, 0x80) << "English message " << n << " is ASCII";
      } else {
        // Valid DOS 866 text (iconv throws on anything it cannot read).
        EXPECT_NO_THROW(iconv_convert("CP866", "UTF-8", m)) << n;
      }
    }
    // Where there is no address of the project's own, they send the reader to
    // the README rather than inventing one.
    EXPECT_NE(set[15].find("README"), std::string_view::npos);
    EXPECT_NE(set[16].find("README"), std::string_view::npos);
    EXPECT_EQ(set[15].find("http"), std::string_view::npos);
    EXPECT_EQ(set[16].find('@'), std::string_view::npos);
  }
}

TEST(MessageSets, Dos866ToUtf8AgreesWithIconv) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(hex(dos866_to_utf8(all)), hex(iconv_convert("CP866", "UTF-8", all)));
}

// Which messages the program prints, when, and its exit code.
struct FlowCase {
  const char* name;
  std::vector<std::string> arguments;  // "in" and "out" name the files below
  bool input_exists;
  int exit_code;
  std::string expected_output;  // standard output, whole
};

TEST(MessageFlow, WhatIsPrintedWhen) {
  const Language en = Language::english;
  const Language ru = Language::russian;
  const std::string ok_en = expected_lines(en, {18, 19});
  const std::string ok_ru = expected_lines(ru, {18, 19});
  const std::string banner_en = expected_lines(en, {1});
  const std::string banner_ru = expected_lines(ru, {1});
  const FlowCase cases[] = {
      {"no arguments", {}, true, 1, expected_help(en)},
      {"one file name", {"in"}, true, 1, banner_en},
      {"one file name, -ni", {"-ni", "in"}, true, 1, ""},
      {"one missing file name", {"nothing-here"}, true, 1, banner_en},
      {"only -nec", {"-nec"}, true, 1, banner_en},
      {"two names", {"in", "out"}, true, 0, banner_en + ok_en},
      {"-ni, two names", {"-ni", "in", "out"}, true, 0, ok_en},
      {"-? alone", {"-?"}, true, 1, expected_help(en)},
      {"/? alone", {"/?"}, true, 1, expected_help(en)},
      {"-? with two names", {"-?", "in", "out"}, true, 0, expected_help(en) + ok_en},
      {"-? after the names", {"in", "out", "-?"}, true, 0, expected_help(en) + ok_en},
      {"-ni -?", {"-ni", "-?"}, true, 1, expected_help(en)},
      {"-ni -? with two names", {"-ni", "-?", "in", "out"}, true, 0, expected_help(en) + ok_en},
      {"-rus with two names", {"-rus", "in", "out"}, true, 0, banner_ru + ok_ru},
      {"-rus after the names", {"in", "out", "-rus"}, true, 0, banner_ru + ok_ru},
      {"-rus -?", {"-rus", "-?"}, true, 1, expected_help(ru)},
      {"-rus -en", {"-rus", "-en", "in", "out"}, true, 0, banner_en + ok_en},
      {"-en -rus", {"-en", "-rus", "in", "out"}, true, 0, banner_ru + ok_ru},
      {"-rus -en -?", {"-rus", "-?", "-en"}, true, 1, expected_help(en)},
      {"-rus alone", {"-rus"}, true, 1, banner_ru},
      {"input missing", {"in", "out"}, false, 1, banner_en},
      {"input missing, -rus -ni", {"-rus", "-ni", "in", "out"}, false, 1, ""},
      {"input missing, -?", {"-?", "in", "out"}, false, 1, expected_help(en)},
  };
  for (const FlowCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.input_exists) write_file(dir / "in", "text\n");
    const RunResult r = run_recodia(c.arguments, dir.path());
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_EQ(hex(r.out), hex(c.expected_output));
    EXPECT_EQ(r.err, "");
    const bool converted = c.exit_code == 0;
    EXPECT_EQ(std::filesystem::exists(dir / "out"), converted);
    if (converted) {
      EXPECT_EQ(read_file(dir / "out"), "text\n");
    }
    if (c.input_exists) {
      EXPECT_EQ(read_file(dir / "in"), "text\n");
    }
    // Nothing else appears in the folder.
    EXPECT_EQ(folder_listing(dir.path()).size(), (c.input_exists ? 1u : 0u) + (converted ? 1u : 0u));
  }
}

TEST(MessageFlow, NoArgumentsIsNineteenLines) {
  TempDir dir;
  const RunResult r = run_recodia({}, dir.path());
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 19);
  EXPECT_TRUE(r.out.ends_with("\n"));
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

// Russian messages are converted to UTF-8 for a UTF-8 terminal only.
struct ConsoleCase {
  bool terminal;
  bool utf8;
  bool converted;
};

TEST(MessageConsole, RussianAsUtf8OnlyOnAUtf8Terminal) {
  const ConsoleCase cases[] = {
      {false, false, false}, {false, true, false}, {true, false, false}, {true, true, true}};
  TempDir dir;
  write_file(dir / "in", "text\n");
  const std::string in = (dir / "in").string();
  const std::string out = (dir / "out").string();
  for (const ConsoleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "terminal " << c.terminal << ", UTF-8 " << c.utf8);
    std::string expected;
    for (int n : {1, 18, 19}) expected += (c.converted ? kRussianUtf8[n - 1] : expected_message(Language::russian, n)) + "\n";
    FakeConsole console(c.terminal, c.utf8);
    const std::vector<std::string_view> args = {"-rus", in, out};
    EXPECT_EQ(run_program(args, platform::posix_file_system(), console), 0);
    EXPECT_EQ(hex(console.out), hex(expected));
    EXPECT_EQ(console.err, "");

    // The help as well, and English is never touched.
    FakeConsole help_console(c.terminal, c.utf8);
    const std::vector<std::string_view> help_args = {"-rus", "-?"};
    EXPECT_EQ(run_program(help_args, platform::posix_file_system(), help_console), 1);
    std::string expected_help_text;
    for (int n = 1; n <= 17; ++n) {
      const std::string dos = expected_message(Language::russian, n);
      expected_help_text += (c.converted ? iconv_convert("CP866", "UTF-8", dos) : dos) + "\n";
    }
    EXPECT_EQ(hex(help_console.out), hex(expected_help_text));

    FakeConsole english_console(c.terminal, c.utf8);
    const std::vector<std::string_view> english_args = {"-?"};
    EXPECT_EQ(run_program(english_args, platform::posix_file_system(), english_console), 1);
    EXPECT_EQ(english_console.out, expected_help(Language::english));
  }
}

TEST(MessageConsole, RealTerminalFollowsTheLocale) {
  // The program's own console, on a pseudo-terminal.
  if (!terminals_available()) GTEST_SKIP() << "no pseudo-terminals here";
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale here";
  std::setlocale(LC_CTYPE, "C");
  TempDir dir;
  write_file(dir / "in", "text\n");
  for (const char* locale : {"C.UTF-8", "C"}) {
    SCOPED_TRACE(locale);
    ProcessSetting setting;
    setting.standard_output_terminal = true;
    setting.locale = locale;
    const RunResult r = run_recodia_with({"-rus", "in", "out"}, dir.path(), setting);
    EXPECT_EQ(r.exit_code, 0);
    std::string expected;
    for (int n : {1, 18, 19}) expected += expected_message(Language::russian, n) + "\n";
    if (std::string_view(locale) == "C.UTF-8") expected = iconv_convert("CP866", "UTF-8", expected);
    EXPECT_EQ(hex(r.out), hex(expected));
  }
  // Through a pipe the stored bytes go out unchanged, whatever the locale.
  ProcessSetting piped;
  piped.locale = "C.UTF-8";
  const RunResult r = run_recodia_with({"-rus", "in", "out"}, dir.path(), piped);
  EXPECT_EQ(hex(r.out), hex(expected_lines(Language::russian, {1, 18, 19})));
}

}  // namespace
}  // namespace recodia::test
