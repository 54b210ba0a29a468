// The two message sets byte for byte, against texts written out here (the
// Russian ones in UTF-8, turned into DOS 866 by glibc's iconv), and which of
// them the program prints when, with what exit code.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cli/messages.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

// Messages 1 to 19; 15 to 17 (authorship, web, e-mail) are the program's own.
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
    // The Latin capital B, escaped so that no editor turns it into the Cyrillic look-alike.
    "\x42озвращает коды завершения:",
    "0 -файл преобразован; 1 -файл не преобразован.",
    "", "", "",
    "Подождите...",
    " Готово.",
};

const Language en = Language::english, ru = Language::russian;

std::string expected_message(Language language, int n) {
  if (n >= 15 && n <= 17) return std::string(select_messages(language)[n - 1]);
  return language == en ? kEnglish[n - 1] : iconv_convert("UTF-8", "CP866", kRussianUtf8[n - 1]);
}

std::string lines(Language language, int first, int last) {
  std::string s;
  for (int n = first; n <= last; ++n) s += expected_message(language, n) + "\n";
  return s;
}

TEST(Messages, BothSetsByteForByte) {
  for (Language language : {en, ru}) {
    const MessageSet& set = select_messages(language);
    for (int n = 1; n <= 19; ++n) {
      const std::string_view m = set[n - 1];
      if (n < 15 || n > 17) {
        EXPECT_EQ(hex(m), hex(expected_message(language, n))) << (language == en ? "English " : "Russian ") << n;
        continue;
      }
      // The program's own lines: one line each, honest about having no address.
      EXPECT_FALSE(m.empty()) << n;
      for (unsigned char c : m) EXPECT_TRUE(c >= 0x20 && (c < 0x80 || language == ru)) << n;
    }
    EXPECT_NE(set[15].find("README"), std::string_view::npos);
    EXPECT_NE(set[16].find("README"), std::string_view::npos);
    EXPECT_EQ(set[15].find("http"), std::string_view::npos);
    EXPECT_EQ(set[16].find('@'), std::string_view::npos);
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(hex(dos866_to_utf8(all)), hex(iconv_convert("CP866", "UTF-8", all)));
}

TEST(Messages, WhatIsPrintedWhenAndTheExitCode) {
  struct Case {
    std::vector<std::string> arguments;  // the file "in" exists unless "missing" is named
    std::string printed;
    std::string err = {};
    bool terminal = true;  // standard input a terminal, as when typed
    int exit_code = -1;    // -1: 0 when the done message ends what is printed, else 1
  };
  const std::string help = lines(en, 1, 17), done = lines(en, 18, 19), banner = lines(en, 1, 1);
  const Case cases[] = {
      {{}, help},  // nineteen lines
      {{"in"}, banner, "recodia: no output file name; give two names (- for standard output)\n"},
      {{"-ni", "in"}, "", "recodia: no output file name; give two names (- for standard output)\n"},
      {{"-nec"}, banner, "recodia: no file names; give two, or see recodia --help\n"},
      // Not typed at a terminal: a filter, whose messages keep out of the text.
      {{}, "", banner + done, false, 0},
      {{"-nec"}, "", banner + done, false, 0},
      {{"in", "out"}, banner + done},
      {{"-ni", "in", "out"}, done},
      {{"-?"}, help},
      {{"/?"}, help},
      {{"-?"}, help, "", false},  // asked for help: no filter
      {{"in", "out", "-?"}, help + done},  // the help does not end the program
      {{"-ni", "-?", "in", "out"}, help + done},
      {{"-rus", "in", "out"}, lines(ru, 1, 1) + lines(ru, 18, 19)},
      {{"-rus", "-?"}, lines(ru, 1, 17)},
      {{"-rus", "-en", "in", "out"}, banner + done},
      {{"missing", "out"}, banner, "recodia: cannot open 'missing': No such file or directory\n"},  // no wait message
      {{"--version", "-ni"}, "recodia 0.8.3\n", "", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments) + (c.terminal ? "" : " from /dev/null"));
    TempDir dir;
    write_file(dir / "in", "text\n");
    Tree expected = tree(dir.path());
    const RunResult r = run_recodia(c.arguments, dir.path(), {.standard_input_terminal = c.terminal});
    const bool converted = c.printed.ends_with(done) || c.printed.ends_with(lines(ru, 18, 19));
    EXPECT_EQ(r.exit_code, c.exit_code >= 0 ? c.exit_code : converted ? 0 : 1);
    EXPECT_EQ(hex(r.out), hex(c.printed));
    EXPECT_TRUE(same_messages(c.err, r.err));
    if (converted) expected["out"] = expected["in"];
    EXPECT_TRUE(same_tree(expected, tree(dir.path())));
  }
}

// "--help" is the complete reference: every switch of the table in it, as a word.
TEST(Messages, FullHelpNamesEverySwitch) {
  const TempDir dir;
  const RunResult r = run_recodia({"--help"}, dir.path());
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  std::set<std::string> words;
  std::string word;
  for (char c : r.out + "\n") {
    if (c != ' ' && c != ',' && c != '\n') word += c;
    else if (!word.empty()) words.insert(word), word.clear();
  }
  for (const Switch& s : switch_table()) EXPECT_TRUE(words.contains(std::string(s.text))) << s.text;
  for (const char* part : {"Usage: recodia", "Exit codes: 0", "Source encodings:", "Other switches:"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part;
}

}  // namespace
}  // namespace recodia::test
