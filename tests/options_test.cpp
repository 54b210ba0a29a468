// The command line on its own, where a whole run would hide which step went
// wrong: what each switch sets (and that it sets nothing else), file names,
// and how the settings are settled afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "cli/options.hpp"

namespace recodia {
namespace {

using Args = std::vector<std::string_view>;

struct Parsed {
  ConversionSettings s;
  CommandLine cl;
};

Parsed parse(const Args& args, bool resolve = false) {
  Parsed p;
  parse_arguments(args, p.s, p.cl);
  if (resolve) resolve_settings(p.s, p.cl);
  return p;
}

// Everything parsing and resolution can set, to compare two results whole.
auto state(const Parsed& p) {
  const ConversionSettings& s = p.s;
  return std::tuple(p.cl.language, s.source, s.target, s.line_style, s.special_symbols, s.strings_allowed, s.smart_quotes,
                    s.source_text, s.html, s.no_quote_signs, s.no_html_entities, p.cl.preserve_time,
                    s.double_quote_byte, p.cl.help_requested,
                    p.cl.show_version, s.no_encoding, p.cl.target_line_style, p.cl.file_names, p.cl.in_place,
                    p.cl.full_help, p.cl.version, p.cl.source_choice, p.cl.detect_only);
}

using Change = std::function<void(Parsed&)>;

// Parsing `args` gives what parsing all but the last gives, changed by `change`
// and by nothing else.
void expect_last_switch(const Args& args, const Change& change) {
  Parsed expected = parse(Args(args.begin(), args.end() - 1));
  change(expected);
  EXPECT_EQ(state(parse(args)), state(expected)) << args.back() << " after " << args.size() - 1 << " others";
}

const LineStyle lf = LineStyle::lf, crlf = LineStyle::crlf, keep = LineStyle::keep;

struct EncodingSwitches {
  EncodingId id;
  Args sources, targets;
  LineStyle target_line_style;
};

const EncodingSwitches kEncodings[] = {
    {kKx, {"-kx"}, {"-tokx"}, crlf},
    {kDos866, {"-dos", "-866"}, {"-todos", "-to866"}, crlf},
    {kWindows1251, {"-w", "-win", "-1251"}, {"-tow", "-towin", "-to1251"}, crlf},
    {kKoi8r, {"-u", "-koi8", "-koi8r"}, {"-tou", "-tokoi8", "-tokoi8r"}, lf},
    {kDos855, {"-855"}, {"-to855"}, crlf},
    {kMacCyrillic, {"-mac"}, {"-tomac"}, lf},  // LF, not CR, for the Macintosh targets
    {kIso8859_5, {"-iso", "-iso8859_5"}, {"-toiso", "-toiso8859_5"}, lf},
    {kKoi7, {"-koi7"}, {"-tokoi7"}, crlf},
    {kIsoIr111, {"-iso_ir_111", "-isoir111"}, {"-toiso_ir_111", "-toisoir111"}, lf},
    {kKoi8u, {"-koi8u"}, {"-tokoi8u"}, lf},
    {kMacUkrainian, {"-macu", "-mac_u"}, {"-tomacu", "-tomac_u"}, lf},
    {kWindows1254, {"-1254"}, {"-to1254"}, crlf},
    {kDos857, {"-857"}, {"-to857"}, crlf},
    {kMacTurkish, {"-macturk"}, {"-tomacturk"}, lf},
    {kIso8859_9, {"-iso8859_9"}, {"-toiso8859_9"}, lf},
    {kDos850, {"-850"}, {"-to850"}, crlf},
    {kWindows1252, {"-1252"}, {"-to1252"}, crlf},
    {kIso8859_1, {"-iso8859_1"}, {"-toiso8859_1"}, lf},
    {kIso8859_15, {"-iso8859_15"}, {"-toiso8859_15"}, lf},
    {kMacRoman, {"-macroman"}, {"-tomacroman"}, lf},
    {kUtf8, {"-utf8"}, {"-toutf8"}, lf},
};

// The other switches, each after the arguments before it.
const std::pair<Args, Change> kOthers[] = {
    {{"/?"}, [](Parsed& p) { p.cl.help_requested = true; }},
    {{"-?"}, [](Parsed& p) { p.cl.help_requested = true; }},
    {{"-ni"}, [](Parsed& p) { p.cl.show_version = false; }},
    {{"-rus"}, [](Parsed& p) { p.cl.language = Language::russian; }},
    {{"-rus", "-en"}, [](Parsed& p) { p.cl.language = Language::english; }},
    {{"-lf"}, [](Parsed& p) { p.s.line_style = lf; }},
    {{"-lf", "-crlf"}, [](Parsed& p) { p.s.line_style = crlf; }},
    {{"-crlf", "-noaltlf"}, [](Parsed& p) { p.s.line_style = keep; }},
    {{"-noenc"}, [](Parsed& p) { p.s.no_encoding = true; }},
    {{"-32"}, [](Parsed& p) { p.s.special_symbols = false; }},
    {{"-nstr"}, [](Parsed& p) { p.s.strings_allowed = false; }},
    {{"-nta"}, [](Parsed& p) { p.s.smart_quotes = false; }},
    {{"-src"}, [](Parsed& p) { p.s.source_text = true; }},
    {{"-html"}, [](Parsed& p) { p.s.source_text = p.s.html = true, p.s.smart_quotes = false; }},
    {{"-nqt"}, [](Parsed& p) { p.s.no_quote_signs = true; }},
    {{"-dhcs"}, [](Parsed& p) { p.s.no_html_entities = true; }},
    {{"-pdt"}, [](Parsed& p) { p.cl.preserve_time = true; }},
    {{"-i"}, [](Parsed& p) { p.cl.in_place = true; }},
    {{"--help"}, [](Parsed& p) { p.cl.full_help = true; }},
    {{"--version"}, [](Parsed& p) { p.cl.version = true; }},
    {{"-w", "-auto"}, [](Parsed& p) { p.cl.source_choice = SourceChoice::detected; }},
    {{"-detect"}, [](Parsed& p) { p.cl.detect_only = true; }},
    {{"-w", "-tokoi8", "a", "b", "-nec"}, [](Parsed&) {}},
};

TEST(Switches, EachSetsWhatItShouldAndNothingElse) {
  std::set<std::string_view> texts;
  for (const EncodingSwitches& e : kEncodings) {
    for (std::string_view text : e.sources) {
      texts.insert(text);
      // From another source; the target and its line style stay.
      expect_last_switch({"-tomac", e.id == kKx ? "-dos" : "-kx", text}, [&](Parsed& p) { p.s.source = e.id; });
      // After "-auto": the later wins.
      expect_last_switch({"-auto", text}, [&](Parsed& p) {
        p.s.source = e.id;
        p.cl.source_choice = SourceChoice::named;
      });
    }
    for (std::string_view text : e.targets) {
      texts.insert(text);
      // A later target switch replaces the line style of an earlier one.
      expect_last_switch({"-koi7", e.target_line_style == lf ? "-towin" : "-tokoi8", text}, [&](Parsed& p) {
        p.s.target = e.id;
        p.cl.target_line_style = e.target_line_style;
      });
    }
  }
  for (std::string_view text : {"-translit", "-totl"}) {
    texts.insert(text);
    // The only targets that leave the target line style as it was.
    for (std::string_view before : {"-tokoi8", "-towin", "-ni"})
      expect_last_switch({before, text}, [](Parsed& p) { p.s.target = kTransliteration; });
  }
  for (const auto& [args, change] : kOthers) {
    texts.insert(args.back());
    expect_last_switch(args, change);
  }
  EXPECT_EQ(texts.size(), switch_table().size()) << "every switch once";
}

TEST(Switches, FileNamesUnknownSwitchesAndTheEndOfSwitches) {
  using K = ArgumentError::Kind;
  struct Case {
    Args arguments;
    std::vector<std::string> names;
    std::optional<K> error = std::nullopt;
    std::string detail = {};  // the unknown switch and its hint, or the count
  };
  const Case cases[] = {
      {{"a.txt", "-w", "b.txt"}, {"a.txt", "b.txt"}},
      {{"-", "-"}, {"-", "-"}},
      {{"/tmp/x", "-towin"}, {"/tmp/x"}},  // a path, not a switch
      {{"-w", "--", "-tokoi8", "-"}, {"-tokoi8", "-"}},
      {{"--", "--"}, {"--"}},
      {{"-i", "a", "b", "c"}, {"a", "b", "c"}},
      {{"-w", "a.txt", "-tokoi"}, {"a.txt"}, K::unknown_switch, "-tokoi -tokoi8"},
      {{"-TOKOI8", "a", "b"}, {"a", "b"}, K::unknown_switch, "-TOKOI8 -tokoi8"},  // exact bytes only
      {{"-koi8 "}, {}, K::unknown_switch, "-koi8  -koi8"},
      {{"-iso8859-5"}, {}, K::unknown_switch, "-iso8859-5 -iso8859_5"},
      {{"-zzzzzzzzzz"}, {}, K::unknown_switch, "-zzzzzzzzzz "},  // nothing near
      {{"-x", "-y"}, {}, K::unknown_switch, "-x -?"},  // the first one, hinted at the first nearest
      {{"a", "b", "c"}, {"a", "b", "c"}, K::too_many_names, "3"},
      {{"a", "-q", "b", "c"}, {"a", "b", "c"}, K::unknown_switch, "-q -?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    Parsed p;
    const auto error = parse_arguments(c.arguments, p.s, p.cl);
    EXPECT_EQ(p.cl.file_names, c.names);
    ASSERT_EQ(error.has_value(), c.error.has_value());
    if (!error) continue;
    EXPECT_EQ(error->kind, *c.error);
    EXPECT_EQ(error->kind == K::unknown_switch ? error->argument + " " + error->suggestion : std::to_string(error->count),
              c.detail);
  }
  EXPECT_EQ(state(parse({"a", "b", "-w", "-tokoi8", "-rus", "-32"})),
            state(parse({"-w", "-tokoi8", "-rus", "-32", "a", "b"})))
      << "switches after the names count the same";
}

TEST(Resolution, SettlesWhatDependsOnOtherSettingsAndNothingElse) {
  auto style = [](LineStyle l, bool strings = true) {
    return [=](Parsed& p) { p.s.line_style = l, p.s.strings_allowed = strings; };
  };
  const std::pair<Args, Change> cases[] = {
      {{}, style(keep)},  // no target switch: the lines are kept
      {{"-tokx"}, style(crlf)},
      {{"-towin", "-totl"}, style(crlf)},
      {{"-totl"}, style(keep)},
      {{"-crlf", "-tokoi8"}, style(crlf)},  // an explicit line switch wins wherever it stands
      {{"-tokoi8", "-crlf"}, style(crlf)},
      {{"-noaltlf", "-towin"}, style(keep)},
      {{"-lf", "-towin", "-ni", "-pdt", "-rus", "-noenc", "-nqt", "a", "b"}, style(lf)},
      {{"-nstr", "-translit"}, style(keep)},  // strings always for transliteration
      {{"-translit", "-nstr"}, style(keep)},
      {{"-nstr", "-towin"}, style(crlf, false)},
      {{"-translit", "-towin", "-nstr"}, style(crlf, false)},
      {{"-32", "-nta"}, style(keep)},
      {{"-src"}, [](Parsed& p) { p.s.line_style = keep, p.s.double_quote_byte = 0x60; }},
      {{"-html", "-tow"}, [](Parsed& p) { p.s.line_style = crlf, p.s.double_quote_byte = 0x60; }},
  };
  for (const auto& [args, change] : cases) {
    Parsed expected = parse(args);
    change(expected);
    EXPECT_EQ(state(parse(args, true)), state(expected)) << testing::PrintToString(args);
  }
}

}  // namespace
}  // namespace recodia
