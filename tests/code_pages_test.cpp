// Every byte of the seventeen code page maps against glibc's iconv(3) and
// charmaps, Python's codecs and ICU's uconv. Where a source differs on
// purpose (an older form of a Mac code page, a source's own convention for an
// undefined position), the difference is listed with its reason; any other
// difference fails, and so does a listed one that no longer occurs.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "convert/code_pages.hpp"
#include "tables_sources.hpp"

namespace recodia::test {
namespace {

using code_pages::UpperHalf;

struct Difference {
  int byte;
  char32_t ours;    // what the table must hold
  char32_t theirs;  // what the source gives
  const char* reason;
};

struct SourceCase {
  Source source;
  const char* name;  // the source's own name for the code page
  std::vector<Difference> differences;
};

struct PageCase {
  const char* page;  // the table's name in code_pages.hpp
  const UpperHalf* map;
  std::vector<SourceCase> sources;
};

// Microsoft leaves a few positions of its tables undefined; ICU fills them
// with the C1 control of the same value.
std::vector<Difference> icu_c1_fill(std::initializer_list<int> bytes) {
  std::vector<Difference> d;
  for (int b : bytes)
    d.push_back({b, 0, static_cast<char32_t>(b), "undefined in Microsoft's table; ICU maps it to the C1 control"});
  return d;
}

constexpr const char* kOldMacCyrillic =
    "the table follows Apple's Cyrillic form before Mac OS 9 (cent sign at 0xA2, partial "
    "differential at 0xB6, currency sign at 0xFF)";
constexpr const char* kMacUkrainianCurrency =
    "Mac Ukrainian keeps the currency sign at 0xFF, where the Mac OS 9 Cyrillic form has the euro";

const std::vector<PageCase>& page_cases() {
  static const std::vector<PageCase> cases = {
      {"kDos866", &code_pages::kDos866,
       {{Source::iconv, "CP866", {}}, {Source::charmap, "IBM866", {}}, {Source::python, "cp866", {}},
        {Source::uconv, "ibm-866", {}}}},
      {"kWindows1251", &code_pages::kWindows1251,
       {{Source::iconv, "CP1251", {}}, {Source::charmap, "CP1251", {}}, {Source::python, "cp1251", {}},
        {Source::uconv, "windows-1251", icu_c1_fill({0x98})}}},
      {"kKoi8r", &code_pages::kKoi8r,
       {{Source::iconv, "KOI8-R", {}}, {Source::charmap, "KOI8-R", {}}, {Source::python, "koi8_r", {}},
        {Source::uconv, "KOI8-R", {}}}},
      {"kKoi8u", &code_pages::kKoi8u,
       {{Source::iconv, "KOI8-U", {}}, {Source::charmap, "KOI8-U", {}}, {Source::python, "koi8_u", {}},
        {Source::uconv, "KOI8-U", {}}}},
      {"kDos855", &code_pages::kDos855,
       {{Source::iconv, "IBM855", {}}, {Source::charmap, "IBM855", {}}, {Source::python, "cp855", {}},
        {Source::uconv, "ibm-855", {}}}},
      {"kMacCyrillic", &code_pages::kMacCyrillic,
       {// glibc's MAC-CYRILLIC converter has Ukrainian ghe at both places, its
        // charmap only at 0xB6; Microsoft's CP10007 agrees with the charmap.
        {Source::iconv, "MAC-CYRILLIC",
         {{0xA2, 0x00A2, 0x0490, kOldMacCyrillic}, {0xB6, 0x2202, 0x0491, kOldMacCyrillic}}},
        {Source::charmap, "MAC-CYRILLIC", {{0xB6, 0x2202, 0x0491, kOldMacCyrillic}}},
        {Source::iconv, "CP10007", {{0xB6, 0x2202, 0x0491, kOldMacCyrillic}}},
        {Source::charmap, "CP10007", {{0xB6, 0x2202, 0x0491, kOldMacCyrillic}}},
        {Source::python, "mac_cyrillic",
         {{0xA2, 0x00A2, 0x0490, kOldMacCyrillic},
          {0xB6, 0x2202, 0x0491, kOldMacCyrillic},
          {0xFF, 0x00A4, 0x20AC, kOldMacCyrillic}}},
        {Source::uconv, "x-mac-cyrillic",
         {{0xA2, 0x00A2, 0x0490, kOldMacCyrillic},
          {0xB6, 0x2202, 0x0491, kOldMacCyrillic},
          {0xFF, 0x00A4, 0x20AC, kOldMacCyrillic}}}}},
      {"kMacUkrainian", &code_pages::kMacUkrainian,
       {{Source::iconv, "MAC-UK", {}},
        {Source::charmap, "MAC-UK", {}},
        {Source::python, "mac_cyrillic", {{0xFF, 0x00A4, 0x20AC, kMacUkrainianCurrency}}},
        {Source::uconv, "x-MacUkraine", {{0xFF, 0x00A4, 0x20AC, kMacUkrainianCurrency}}}}},
      {"kIso8859_5", &code_pages::kIso8859_5,
       {{Source::iconv, "ISO-8859-5", {}}, {Source::charmap, "ISO-8859-5", {}},
        {Source::python, "iso8859_5", {}}, {Source::uconv, "ISO-8859-5", {}}}},
      // Neither Python nor ICU has ISO-IR-111; glibc has it twice.
      {"kIsoIr111", &code_pages::kIsoIr111,
       {{Source::iconv, "ISO-IR-111", {}}, {Source::charmap, "ECMA-CYRILLIC", {}}}},
      {"kWindows1254", &code_pages::kWindows1254,
       {{Source::iconv, "CP1254", {}}, {Source::charmap, "CP1254", {}}, {Source::python, "cp1254", {}},
        {Source::uconv, "windows-1254", icu_c1_fill({0x81, 0x8D, 0x8E, 0x8F, 0x90, 0x9D, 0x9E})}}},
      {"kDos857", &code_pages::kDos857,
       {{Source::iconv, "IBM857", {}}, {Source::charmap, "IBM857", {}}, {Source::python, "cp857", {}},
        {Source::uconv, "ibm-857", {}}}},
      // glibc has no Mac Turkish.
      {"kMacTurkish", &code_pages::kMacTurkish,
       {{Source::python, "mac_turkish", {}}, {Source::uconv, "x-mac-turkish", {}}}},
      {"kIso8859_9", &code_pages::kIso8859_9,
       {{Source::iconv, "ISO-8859-9", {}}, {Source::charmap, "ISO-8859-9", {}},
        {Source::python, "iso8859_9", {}}, {Source::uconv, "ISO-8859-9", {}}}},
      {"kDos850", &code_pages::kDos850,
       {{Source::iconv, "IBM850", {}}, {Source::charmap, "IBM850", {}}, {Source::python, "cp850", {}},
        {Source::uconv, "ibm-850", {}}}},
      {"kWindows1252", &code_pages::kWindows1252,
       {{Source::iconv, "CP1252", {}}, {Source::charmap, "CP1252", {}}, {Source::python, "cp1252", {}},
        {Source::uconv, "windows-1252", icu_c1_fill({0x81, 0x8D, 0x8F, 0x90, 0x9D})}}},
      {"kIso8859_15", &code_pages::kIso8859_15,
       {{Source::iconv, "ISO-8859-15", {}}, {Source::charmap, "ISO-8859-15", {}},
        {Source::python, "iso8859_15", {}}, {Source::uconv, "ISO-8859-15", {}}}},
      {"kMacRoman", &code_pages::kMacRoman,
       {{Source::iconv, "MACINTOSH",
         {{0xC6, 0x2206, 0x0394, "glibc has Greek capital delta for the increment sign; Apple maps it to U+2206"},
          {0xF0, 0xF8FF, 0xE01E, "the Apple logo has no standard character; Apple uses U+F8FF, glibc U+E01E"}}},
        {Source::charmap, "MACINTOSH",
         {{0xC6, 0x2206, 0x0394, "glibc has Greek capital delta for the increment sign; Apple maps it to U+2206"},
          {0xF0, 0xF8FF, 0xE01E, "the Apple logo has no standard character; Apple uses U+F8FF, glibc U+E01E"}}},
        {Source::python, "mac_roman", {}},
        {Source::uconv, "macintosh", {}}}},
  };
  return cases;
}

std::string cp_text(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

struct SourceParam {
  std::size_t page;
  std::size_t source;
};

std::vector<SourceParam> all_sources() {
  std::vector<SourceParam> out;
  for (std::size_t p = 0; p < page_cases().size(); ++p) {
    for (std::size_t s = 0; s < page_cases()[p].sources.size(); ++s) {
      out.push_back({p, s});
      prefetch(page_cases()[p].sources[s].source, page_cases()[p].sources[s].name);
    }
  }
  return out;
}

std::string param_name(const testing::TestParamInfo<SourceParam>& info) {
  const PageCase& page = page_cases()[info.param.page];
  const SourceCase& src = page.sources[info.param.source];
  std::string name = std::string(page.page + 1) + "_" + source_name(src.source) + "_" + src.name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

void PrintTo(const SourceParam& p, std::ostream* os) {
  const PageCase& page = page_cases()[p.page];
  *os << page.page << " against " << source_name(page.sources[p.source].source) << " "
      << page.sources[p.source].name;
}

class CodePageAgainstSource : public testing::TestWithParam<SourceParam> {};

TEST_P(CodePageAgainstSource, EveryByteAgrees) {
  const PageCase& page = page_cases()[GetParam().page];
  const SourceCase& src = page.sources[GetParam().source];
  std::string why;
  const std::optional<SourceHalf> theirs = upper_half_from(src.source, src.name, why);
  if (!theirs) {
    // iconv(3) belongs to the C library; a charset it lacks is a fault here,
    // not a missing tool.
    ASSERT_NE(src.source, Source::iconv) << why;
    GTEST_SKIP() << why;
  }
  std::vector<bool> listed(128, false);
  for (const Difference& d : src.differences) {
    ASSERT_GE(d.byte, 0x80);
    ASSERT_LE(d.byte, 0xFF);
    const std::size_t i = static_cast<std::size_t>(d.byte - 0x80);
    listed[i] = true;
    EXPECT_EQ(cp_text((*page.map)[i]), cp_text(d.ours))
        << page.page << " byte " << std::hex << d.byte << ": the table lost a deliberate difference (" << d.reason
        << ")";
    EXPECT_EQ(cp_text((*theirs)[i]), cp_text(d.theirs))
        << src.name << " byte " << std::hex << d.byte << " no longer differs as listed (" << d.reason << ")";
  }
  for (std::size_t i = 0; i < 128; ++i) {
    if (listed[i]) continue;
    EXPECT_EQ(cp_text((*page.map)[i]), cp_text((*theirs)[i]))
        << page.page << " byte 0x" << std::hex << (0x80 + i) << " against " << source_name(src.source) << " "
        << src.name;
  }
}

INSTANTIATE_TEST_SUITE_P(AllTables, CodePageAgainstSource, testing::ValuesIn(all_sources()), param_name);

// Each table needs two sources that agree with it, and at least one of them
// must be part of every glibc system, so that no machine leaves a table
// unchecked. Mac Turkish is the one code page that glibc lacks.
TEST(CodePageSources, EveryTableHasTwoSourcesOneOfThemAlwaysThere) {
  ASSERT_EQ(page_cases().size(), 17u);
  for (const PageCase& page : page_cases()) {
    EXPECT_GE(page.sources.size(), 2u) << page.page;
    bool has_glibc = false;
    for (const SourceCase& s : page.sources) has_glibc |= s.source == Source::iconv || s.source == Source::charmap;
    if (std::string(page.page) != "kMacTurkish") {
      EXPECT_TRUE(has_glibc) << page.page;
    }
  }
}

// The maps hold the upper halves only: Recodia takes the lower half of every
// code page for ASCII. glibc agrees for each of them.
TEST(CodePageSources, LowerHalfIsAsciiEverywhere) {
  for (const char* charset : {"CP866", "CP1251", "KOI8-R", "KOI8-U", "IBM855", "MAC-CYRILLIC", "MAC-UK",
                              "ISO-8859-5", "ISO-IR-111", "CP1254", "IBM857", "ISO-8859-9", "IBM850", "CP1252",
                              "ISO-8859-1", "ISO-8859-15", "MACINTOSH"}) {
    for (int b = 0; b < 0x80; ++b) {
      EXPECT_EQ(iconv_decode(charset, static_cast<std::uint8_t>(b)), static_cast<char32_t>(b))
          << charset << " byte " << b;
    }
  }
}

// A character that appears at two bytes of one code page would make the
// reverse direction ambiguous; none of these has one.
TEST(CodePageSources, NoCharacterAppearsTwiceInATable) {
  for (const PageCase& page : page_cases()) {
    for (std::size_t i = 0; i < 128; ++i) {
      const char32_t c = (*page.map)[i];
      if (c == 0) continue;
      for (std::size_t j = i + 1; j < 128; ++j) {
        EXPECT_NE((*page.map)[j], c) << page.page << " has " << cp_text(c) << " twice";
      }
    }
  }
}

}  // namespace
}  // namespace recodia::test
