// The command line on its own: switch lookup, what each switch sets, and how
// the settings are settled afterwards. A whole run would hide which of these
// went wrong.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.hpp"

namespace recodia {
namespace {

// The switch texts in index order, written out here independently of the
// program's own table.
const std::vector<std::string_view> kExpectedSwitches = {
    "/?",          "-?",           "-w",           "-ni",           "-todos",      "-u",
    "-koi8",       "-nec",         "-32",          "-nstr",         "-src",        "-en",
    "-855",        "-mac",         "-iso",         "-win",          "-koi8r",      "-tow",
    "-to866",      "-towin",       "-tokoi8",      "-tokoi8r",      "-tou",        "-to855",
    "-tomac",      "-toiso",       "-kx",          "-dos",          "-866",        "-tokx",
    "-nta",        "-tokoi7",      "-koi7",        "-iso8859_5",    "-toiso8859_5", "-translit",
    "-totl",       "-nqt",         "-rus",         "-koi8u",        "-tokoi8u",    "-macu",
    "-mac_u",      "-tomacu",      "-tomac_u",     "-iso_ir_111",   "-isoir111",   "-toiso_ir_111",
    "-toisoir111", "-1251",        "-to1251",      "-857",          "-to857",      "-1254",
    "-to1254",     "-iso8859_9",   "-toiso8859_9", "-macturk",      "-tomacturk",  "-lf",
    "-crlf",       "-noenc",       "-850",         "-1252",         "-iso8859_1",  "-iso8859_15",
    "-macroman",   "-to850",       "-to1252",      "-toiso8859_1",  "-toiso8859_15", "-tomacroman",
    "-noaltlf",    "-html",        "-dhcs",        "-pdt",
};

struct Parsed {
  ConversionSettings settings;
  CommandLine command_line;
};

Parsed parse(const std::vector<std::string_view>& arguments) {
  Parsed p;
  parse_arguments(arguments, p.settings, p.command_line);
  return p;
}

Parsed parse_and_resolve(const std::vector<std::string_view>& arguments) {
  Parsed p = parse(arguments);
  resolve_settings(p.settings, p.command_line);
  return p;
}

TEST(FindSwitch, EveryTextHasItsIndex) {
  ASSERT_EQ(kExpectedSwitches.size(), 76u);
  std::set<std::string_view> distinct(kExpectedSwitches.begin(), kExpectedSwitches.end());
  EXPECT_EQ(distinct.size(), 76u);
  for (std::size_t i = 0; i < kExpectedSwitches.size(); ++i)
    EXPECT_EQ(find_switch(kExpectedSwitches[i]), static_cast<int>(i)) << kExpectedSwitches[i];
}

TEST(FindSwitch, AnythingElseIsNoSwitch) {
  // Exact bytes only: no case folding, no prefixes, no abbreviations, no
  // marker that ends the switches.
  for (std::string_view text :
       {"", "-", "/", "--", "-KOI8", "-Towin", "-TOWIN", "-Rus", "-EN", "-noENC", "/?x", "-?x", "?", "-tokoi",
        "-tokoi8rr", "-koi", "-to", "-to-koi8", "koi8", "tokoi8", "-koi8 ", " -koi8", "--koi8", "/ni", "/rus",
        "-iso8859-5", "-iso_8859_5", "-isoir-111", "-pdt=1", "-translit8", "-h", "-help", "--help"}) {
    EXPECT_EQ(find_switch(text), -1) << '"' << text << '"';
  }
  // A NUL inside the argument is part of it.
  EXPECT_EQ(find_switch(std::string_view("-ni\0x", 5)), -1);
}

TEST(Parsing, DefaultsWithoutArguments) {
  const Parsed p = parse({});
  EXPECT_EQ(p.settings.language, Language::english);
  EXPECT_EQ(p.settings.source, kDos866);
  EXPECT_EQ(p.settings.target, kKx);
  EXPECT_EQ(p.settings.line_style, LineStyle::automatic);
  EXPECT_TRUE(p.settings.special_symbols);
  EXPECT_TRUE(p.settings.strings_allowed);
  EXPECT_TRUE(p.settings.smart_quotes);
  EXPECT_FALSE(p.settings.source_text);
  EXPECT_FALSE(p.settings.html);
  EXPECT_FALSE(p.settings.no_quote_signs);
  EXPECT_FALSE(p.settings.no_html_entities);
  EXPECT_FALSE(p.settings.preserve_time);
  EXPECT_EQ(p.settings.dash_byte, 0x16);
  EXPECT_EQ(p.settings.section_byte, 0x15);
  EXPECT_EQ(p.settings.paragraph_byte, 0x14);
  EXPECT_EQ(p.settings.bullet_byte, 0x07);
  EXPECT_EQ(p.settings.double_quote_byte, 0x22);
  EXPECT_FALSE(p.command_line.help_requested);
  EXPECT_TRUE(p.command_line.show_version);
  EXPECT_FALSE(p.command_line.no_encoding);
  EXPECT_EQ(p.command_line.target_line_style, LineStyle::keep);
  EXPECT_EQ(p.command_line.file_name_count, 0);
}

struct SourceCase {
  std::string_view text;
  EncodingId source;
};

TEST(Parsing, SourceSwitches) {
  const SourceCase cases[] = {
      {"-kx", kKx},           {"-dos", kDos866},          {"-866", kDos866},          {"-w", kWindows1251},
      {"-win", kWindows1251}, {"-1251", kWindows1251},    {"-u", kKoi8r},             {"-koi8", kKoi8r},
      {"-koi8r", kKoi8r},     {"-855", kDos855},          {"-mac", kMacCyrillic},     {"-iso", kIso8859_5},
      {"-iso8859_5", kIso8859_5}, {"-koi7", kKoi7},       {"-iso_ir_111", kIsoIr111}, {"-isoir111", kIsoIr111},
      {"-koi8u", kKoi8u},     {"-macu", kMacUkrainian},   {"-mac_u", kMacUkrainian},  {"-1254", kWindows1254},
      {"-857", kDos857},      {"-macturk", kMacTurkish},  {"-iso8859_9", kIso8859_9}, {"-850", kDos850},
      {"-1252", kWindows1252}, {"-iso8859_1", kIso8859_1}, {"-iso8859_15", kIso8859_15},
      {"-macroman", kMacRoman},
  };
  EXPECT_EQ(std::size(cases), 28u);
  for (const SourceCase& c : cases) {
    // Start from another source, so that a switch that does nothing shows.
    const Parsed p = parse({c.text == "-kx" ? "-dos" : "-kx", c.text});
    EXPECT_EQ(p.settings.source, c.source) << c.text;
    EXPECT_EQ(p.settings.target, kKx) << c.text;
    EXPECT_EQ(p.command_line.target_line_style, LineStyle::keep) << c.text << " must not touch the line style";
    EXPECT_EQ(p.command_line.file_name_count, 0) << c.text;
  }
}

struct TargetCase {
  std::string_view text;
  EncodingId target;
  LineStyle target_line_style;
};

TEST(Parsing, TargetSwitches) {
  const LineStyle crlf = LineStyle::crlf;
  const LineStyle lf = LineStyle::lf;
  const TargetCase cases[] = {
      {"-tokx", kKx, crlf},
      {"-todos", kDos866, crlf},           {"-to866", kDos866, crlf},
      {"-tow", kWindows1251, crlf},        {"-towin", kWindows1251, crlf},   {"-to1251", kWindows1251, crlf},
      {"-tou", kKoi8r, lf},                {"-tokoi8", kKoi8r, lf},          {"-tokoi8r", kKoi8r, lf},
      {"-to855", kDos855, crlf},           {"-tomac", kMacCyrillic, lf},
      {"-toiso", kIso8859_5, lf},          {"-toiso8859_5", kIso8859_5, lf},
      {"-tokoi7", kKoi7, crlf},
      {"-toiso_ir_111", kIsoIr111, lf},    {"-toisoir111", kIsoIr111, lf},
      {"-tokoi8u", kKoi8u, lf},            {"-tomacu", kMacUkrainian, lf},   {"-tomac_u", kMacUkrainian, lf},
      {"-to1254", kWindows1254, crlf},     {"-to857", kDos857, crlf},        {"-tomacturk", kMacTurkish, lf},
      {"-toiso8859_9", kIso8859_9, lf},    {"-to850", kDos850, crlf},        {"-to1252", kWindows1252, crlf},
      {"-toiso8859_1", kIso8859_1, lf},    {"-toiso8859_15", kIso8859_15, lf}, {"-tomacroman", kMacRoman, lf},
  };
  EXPECT_EQ(std::size(cases), 28u);  // and the two transliteration switches below
  for (const TargetCase& c : cases) {
    const Parsed p = parse({c.text});
    EXPECT_EQ(p.settings.target, c.target) << c.text;
    EXPECT_EQ(p.settings.source, kDos866) << c.text;
    EXPECT_EQ(p.command_line.target_line_style, c.target_line_style) << c.text;
    EXPECT_EQ(p.settings.line_style, LineStyle::automatic) << c.text;
    // A later target switch replaces the line style of an earlier one.
    const Parsed after = parse({c.target_line_style == lf ? "-towin" : "-tokoi8", c.text});
    EXPECT_EQ(after.command_line.target_line_style, c.target_line_style) << c.text;
  }
  for (std::string_view text : {"-translit", "-totl"}) {
    const Parsed p = parse({text});
    EXPECT_EQ(p.settings.target, kTransliteration) << text;
    EXPECT_EQ(p.command_line.target_line_style, LineStyle::keep) << text;
    EXPECT_EQ(parse({"-tokoi8", text}).command_line.target_line_style, LineStyle::lf) << text;
    EXPECT_EQ(parse({"-tow", text}).command_line.target_line_style, LineStyle::crlf) << text;
  }
}

TEST(Parsing, OtherSwitches) {
  EXPECT_TRUE(parse({"/?"}).command_line.help_requested);
  EXPECT_TRUE(parse({"-?"}).command_line.help_requested);
  EXPECT_FALSE(parse({"-ni"}).command_line.show_version);
  EXPECT_EQ(parse({"-rus"}).settings.language, Language::russian);
  EXPECT_EQ(parse({"-rus", "-en"}).settings.language, Language::english);
  EXPECT_EQ(parse({"-en", "-rus"}).settings.language, Language::russian);
  EXPECT_EQ(parse({"-lf"}).settings.line_style, LineStyle::lf);
  EXPECT_EQ(parse({"-crlf"}).settings.line_style, LineStyle::crlf);
  EXPECT_EQ(parse({"-noaltlf"}).settings.line_style, LineStyle::keep);
  EXPECT_TRUE(parse({"-noenc"}).command_line.no_encoding);
  EXPECT_FALSE(parse({"-32"}).settings.special_symbols);
  EXPECT_FALSE(parse({"-nstr"}).settings.strings_allowed);
  EXPECT_FALSE(parse({"-nta"}).settings.smart_quotes);
  EXPECT_TRUE(parse({"-src"}).settings.source_text);
  EXPECT_TRUE(parse({"-src"}).settings.smart_quotes);
  EXPECT_FALSE(parse({"-src"}).settings.html);
  EXPECT_TRUE(parse({"-nqt"}).settings.no_quote_signs);
  EXPECT_TRUE(parse({"-dhcs"}).settings.no_html_entities);
  EXPECT_TRUE(parse({"-pdt"}).settings.preserve_time);
  const Parsed html = parse({"-html"});
  EXPECT_TRUE(html.settings.source_text);
  EXPECT_TRUE(html.settings.html);
  EXPECT_FALSE(html.settings.smart_quotes);
  EXPECT_FALSE(html.settings.no_html_entities);
}

// Compares everything parsing can change.
void expect_same(const Parsed& a, const Parsed& b, const std::string& what) {
  const ConversionSettings& x = a.settings;
  const ConversionSettings& y = b.settings;
  EXPECT_EQ(x.language, y.language) << what;
  EXPECT_EQ(x.source, y.source) << what;
  EXPECT_EQ(x.target, y.target) << what;
  EXPECT_EQ(x.line_style, y.line_style) << what;
  EXPECT_EQ(x.special_symbols, y.special_symbols) << what;
  EXPECT_EQ(x.strings_allowed, y.strings_allowed) << what;
  EXPECT_EQ(x.smart_quotes, y.smart_quotes) << what;
  EXPECT_EQ(x.source_text, y.source_text) << what;
  EXPECT_EQ(x.html, y.html) << what;
  EXPECT_EQ(x.no_quote_signs, y.no_quote_signs) << what;
  EXPECT_EQ(x.no_html_entities, y.no_html_entities) << what;
  EXPECT_EQ(x.preserve_time, y.preserve_time) << what;
  EXPECT_EQ(x.dash_byte, y.dash_byte) << what;
  EXPECT_EQ(x.section_byte, y.section_byte) << what;
  EXPECT_EQ(x.paragraph_byte, y.paragraph_byte) << what;
  EXPECT_EQ(x.bullet_byte, y.bullet_byte) << what;
  EXPECT_EQ(x.double_quote_byte, y.double_quote_byte) << what;
  EXPECT_EQ(a.command_line.help_requested, b.command_line.help_requested) << what;
  EXPECT_EQ(a.command_line.show_version, b.command_line.show_version) << what;
  EXPECT_EQ(a.command_line.no_encoding, b.command_line.no_encoding) << what;
  EXPECT_EQ(a.command_line.target_line_style, b.command_line.target_line_style) << what;
  EXPECT_EQ(a.command_line.file_name_count, b.command_line.file_name_count) << what;
  EXPECT_EQ(a.command_line.input_name, b.command_line.input_name) << what;
  EXPECT_EQ(a.command_line.output_name, b.command_line.output_name) << what;
}

TEST(Parsing, NecChangesNothing) {
  expect_same(parse({"-nec"}), parse({}), "-nec");
  expect_same(parse({"-w", "-nec", "-tokoi8", "a", "b"}), parse({"-w", "-tokoi8", "a", "b"}), "-nec among others");
}

TEST(Parsing, EverySwitchIsSeenAsASwitch) {
  // Whatever a switch does, it is never taken for a file name.
  for (std::string_view text : kExpectedSwitches) {
    const Parsed p = parse({text});
    EXPECT_EQ(p.command_line.file_name_count, 0) << text;
  }
}

TEST(Parsing, FileNames) {
  {
    const Parsed p = parse({"a.txt"});
    EXPECT_EQ(p.command_line.file_name_count, 1);
    EXPECT_EQ(p.command_line.input_name, "a.txt");
    EXPECT_EQ(p.command_line.output_name, "");
  }
  {
    // A third name replaces the output; the input never changes.
    const Parsed p = parse({"a.txt", "b.txt", "c.txt"});
    EXPECT_EQ(p.command_line.file_name_count, 2);
    EXPECT_EQ(p.command_line.input_name, "a.txt");
    EXPECT_EQ(p.command_line.output_name, "c.txt");
  }
  {
    const Parsed p = parse({"a", "b", "c", "d", "e"});
    EXPECT_EQ(p.command_line.file_name_count, 2);
    EXPECT_EQ(p.command_line.input_name, "a");
    EXPECT_EQ(p.command_line.output_name, "e");
  }
  {
    // Capitals make a file name; the switch beside it still counts.
    const Parsed p = parse({"-KOI8", "-towin"});
    EXPECT_EQ(p.command_line.file_name_count, 1);
    EXPECT_EQ(p.command_line.input_name, "-KOI8");
    EXPECT_EQ(p.settings.target, kWindows1251);
    EXPECT_EQ(p.settings.source, kDos866);
  }
  {
    // Switches and names mixed; names are kept byte for byte.
    const Parsed p = parse({"-w", "in put.txt", "-tokoi8", "/tmp/x/\xff\x01.txt", "-ni"});
    EXPECT_EQ(p.command_line.input_name, "in put.txt");
    EXPECT_EQ(p.command_line.output_name, "/tmp/x/\xff\x01.txt");
    EXPECT_EQ(p.command_line.file_name_count, 2);
    EXPECT_FALSE(p.command_line.show_version);
  }
  {
    // An empty argument is a file name too.
    const Parsed p = parse({"", "b"});
    EXPECT_EQ(p.command_line.file_name_count, 2);
    EXPECT_EQ(p.command_line.input_name, "");
    EXPECT_EQ(p.command_line.output_name, "b");
  }
}

TEST(Parsing, SwitchesAfterTheNamesCountTheSame) {
  expect_same(parse({"a", "b", "-w", "-tokoi8", "-rus", "-32"}), parse({"-w", "-tokoi8", "-rus", "-32", "a", "b"}),
              "switches after the names");
}

TEST(Parsing, MembersOfAGroupAreInterchangeable) {
  const std::vector<std::vector<std::string_view>> groups = {
      {"/?", "-?"},
      {"-dos", "-866"},
      {"-w", "-win", "-1251"},
      {"-u", "-koi8", "-koi8r"},
      {"-iso", "-iso8859_5"},
      {"-iso_ir_111", "-isoir111"},
      {"-macu", "-mac_u"},
      {"-todos", "-to866"},
      {"-tow", "-towin", "-to1251"},
      {"-tou", "-tokoi8", "-tokoi8r"},
      {"-toiso", "-toiso8859_5"},
      {"-translit", "-totl"},
      {"-toiso_ir_111", "-toisoir111"},
      {"-tomacu", "-tomac_u"},
  };
  for (const auto& group : groups) {
    for (std::string_view member : group) {
      for (std::string_view context : {"", "-tow", "-tokoi8"}) {
        std::vector<std::string_view> a, b;
        if (!context.empty()) a.push_back(context), b.push_back(context);
        a.push_back(group.front());
        b.push_back(member);
        expect_same(parse_and_resolve(a), parse_and_resolve(b),
                    std::string(group.front()) + " vs " + std::string(member) + " after '" + std::string(context) + "'");
      }
    }
  }
}

struct ResolutionCase {
  std::vector<std::string_view> arguments;
  EncodingId target;
  LineStyle line_style;
  bool strings_allowed;
};

TEST(Resolution, LineStyleAndStrings) {
  const LineStyle lf = LineStyle::lf, crlf = LineStyle::crlf, keep = LineStyle::keep;
  const ResolutionCase cases[] = {
      {{}, kKx, keep, true},                         // no target switch: keep
      {{"-tokx"}, kKx, crlf, true},                  // the same target, named: CR LF
      {{"-towin", "-totl"}, kTransliteration, crlf, true},
      {{"-totl"}, kTransliteration, keep, true},
      {{"-tokoi8", "-translit"}, kTransliteration, lf, true},
      {{"-crlf", "-tokoi8"}, kKoi8r, crlf, true},
      {{"-tokoi8", "-crlf"}, kKoi8r, crlf, true},
      {{"-lf", "-crlf"}, kKx, crlf, true},
      {{"-crlf", "-lf"}, kKx, lf, true},
      {{"-noaltlf", "-towin"}, kWindows1251, keep, true},
      {{"-towin", "-noaltlf"}, kWindows1251, keep, true},
      {{"-lf", "-towin"}, kWindows1251, lf, true},
      {{"-towin", "-tokoi8"}, kKoi8r, lf, true},
      {{"-tokoi8", "-towin"}, kWindows1251, crlf, true},
      {{"-tomac"}, kMacCyrillic, lf, true},          // Macintosh targets get LF, not CR
      {{"-tomacroman"}, kMacRoman, lf, true},
      {{"-nstr", "-translit"}, kTransliteration, keep, true},
      {{"-translit", "-nstr"}, kTransliteration, keep, true},
      {{"-nstr", "-towin"}, kWindows1251, crlf, false},
      {{"-nstr"}, kKx, keep, false},
      {{"-translit", "-towin", "-nstr"}, kWindows1251, crlf, false},
  };
  for (const ResolutionCase& c : cases) {
    std::string what;
    for (std::string_view a : c.arguments) what += std::string(a) + " ";
    const Parsed p = parse_and_resolve(c.arguments);
    EXPECT_EQ(p.settings.target, c.target) << what;
    EXPECT_EQ(p.settings.line_style, c.line_style) << what;
    EXPECT_EQ(p.settings.strings_allowed, c.strings_allowed) << what;
  }
}

TEST(Resolution, SpecialSymbolBytes) {
  const Parsed plain = parse_and_resolve({});
  EXPECT_EQ(plain.settings.dash_byte, 0x16);
  EXPECT_EQ(plain.settings.section_byte, 0x15);
  EXPECT_EQ(plain.settings.paragraph_byte, 0x14);
  EXPECT_EQ(plain.settings.bullet_byte, 0x07);
  for (std::vector<std::string_view> args : {std::vector<std::string_view>{"-32"}, {"-32", "-towin", "-html"}}) {
    const Parsed p = parse_and_resolve(args);
    EXPECT_FALSE(p.settings.special_symbols);
    EXPECT_EQ(p.settings.dash_byte, 0x2D);
    EXPECT_EQ(p.settings.section_byte, 0x24);
    EXPECT_EQ(p.settings.paragraph_byte, 0xB7);
    EXPECT_EQ(p.settings.bullet_byte, 0xF9);
  }
}

TEST(Resolution, DoubleQuoteByte) {
  EXPECT_EQ(parse_and_resolve({}).settings.double_quote_byte, 0x22);
  EXPECT_EQ(parse_and_resolve({"-nta"}).settings.double_quote_byte, 0x22);
  EXPECT_EQ(parse_and_resolve({"-src"}).settings.double_quote_byte, 0x60);
  const Parsed html = parse_and_resolve({"-html"});
  EXPECT_EQ(html.settings.double_quote_byte, 0x60);
  EXPECT_TRUE(html.settings.source_text);
  EXPECT_TRUE(html.settings.html);
  EXPECT_FALSE(html.settings.smart_quotes);
}

TEST(Resolution, LeavesTheRestAlone) {
  // Resolution only fills in what depends on other settings.
  Parsed p = parse({"-w", "-tokoi8", "-rus", "-pdt", "-nqt", "-dhcs", "-ni", "-noenc", "a", "b"});
  const Parsed before = p;
  resolve_settings(p.settings, p.command_line);
  Parsed expected = before;
  expected.settings.line_style = LineStyle::lf;
  expect_same(p, expected, "resolution");
}

}  // namespace
}  // namespace recodia
