// Every byte of the seventeen code page maps against glibc's iconv(3) and
// charmaps, Python's codecs and ICU's uconv, at least two of them per map.
// Where a source differs on purpose the difference is listed with its reason;
// any other difference fails, and so does a listed one that no longer occurs.
#include <gtest/gtest.h>

#include <vector>

#include "convert/code_pages.hpp"
#include "tables_support.hpp"

namespace recodia::test {
namespace {

struct Difference {
  int byte;
  char32_t ours;    // what the map must hold
  char32_t theirs;  // what the source gives
  const char* reason;
};

struct SourceCase {
  Source source;
  const char* name;  // the source's own name for the code page
  std::vector<Difference> differences = {};
};

struct PageCase {
  const char* page;
  const code_pages::UpperHalf* map;
  std::vector<SourceCase> sources;
};

// Microsoft leaves a few positions undefined; ICU fills them with the C1
// control of the same value.
std::vector<Difference> icu_c1_fill(std::initializer_list<int> bytes) {
  std::vector<Difference> d;
  for (int b : bytes) d.push_back({b, 0, static_cast<char32_t>(b), "undefined by Microsoft; ICU has the C1 control"});
  return d;
}

constexpr const char* kOldMac = "the map follows Apple's Cyrillic before Mac OS 9: ¢ at 0xA2, ∂ at 0xB6, ¤ at 0xFF";
const Difference kGhe{0xA2, 0x00A2, 0x0490, kOldMac}, kSmallGhe{0xB6, 0x2202, 0x0491, kOldMac},
    kEuro{0xFF, 0x00A4, 0x20AC, kOldMac},
    kUkrainianCurrency{0xFF, 0x00A4, 0x20AC, "Mac Ukrainian keeps ¤ at 0xFF, where Mac OS 9 Cyrillic has €"};
const Difference kDelta{0xC6, 0x2206, 0x0394, "glibc has Greek capital delta for the increment sign, Apple U+2206"},
    kLogo{0xF0, 0xF8FF, 0xE01E, "the Apple logo: Apple uses U+F8FF, glibc U+E01E"};

// The same four sources, named alike by most of the code pages.
std::vector<SourceCase> four(const char* glibc, const char* python, const char* icu,
                             std::vector<Difference> icu_differences = {}) {
  return {{Source::iconv, glibc}, {Source::charmap, glibc}, {Source::python, python},
          {Source::uconv, icu, std::move(icu_differences)}};
}

const std::vector<PageCase>& page_cases() {
  namespace cp = code_pages;
  static const std::vector<PageCase> cases = {
      {"DOS 866", &cp::kDos866, four("IBM866", "cp866", "ibm-866")},
      {"Windows 1251", &cp::kWindows1251, four("CP1251", "cp1251", "windows-1251", icu_c1_fill({0x98}))},
      {"KOI8-R", &cp::kKoi8r, four("KOI8-R", "koi8_r", "KOI8-R")},
      {"KOI8-U", &cp::kKoi8u, four("KOI8-U", "koi8_u", "KOI8-U")},
      {"DOS 855", &cp::kDos855, four("IBM855", "cp855", "ibm-855")},
      // glibc's MAC-CYRILLIC converter has Ukrainian ghe at both places, its
      // charmap and Microsoft's CP10007 only at 0xB6.
      {"Mac Cyrillic", &cp::kMacCyrillic,
       {{Source::iconv, "MAC-CYRILLIC", {kGhe, kSmallGhe}}, {Source::charmap, "MAC-CYRILLIC", {kSmallGhe}},
        {Source::iconv, "CP10007", {kSmallGhe}}, {Source::charmap, "CP10007", {kSmallGhe}},
        {Source::python, "mac_cyrillic", {kGhe, kSmallGhe, kEuro}},
        {Source::uconv, "x-mac-cyrillic", {kGhe, kSmallGhe, kEuro}}}},
      {"Mac Ukrainian", &cp::kMacUkrainian,
       {{Source::iconv, "MAC-UK"}, {Source::charmap, "MAC-UK"}, {Source::python, "mac_cyrillic", {kUkrainianCurrency}},
        {Source::uconv, "x-MacUkraine", {kUkrainianCurrency}}}},
      {"ISO 8859-5", &cp::kIso8859_5, four("ISO-8859-5", "iso8859_5", "ISO-8859-5")},
      // Neither Python nor ICU has ISO-IR-111; glibc has it twice.
      {"ISO-IR-111", &cp::kIsoIr111, {{Source::iconv, "ISO-IR-111"}, {Source::charmap, "ECMA-CYRILLIC"}}},
      {"Windows 1254", &cp::kWindows1254,
       four("CP1254", "cp1254", "windows-1254", icu_c1_fill({0x81, 0x8D, 0x8E, 0x8F, 0x90, 0x9D, 0x9E}))},
      {"DOS 857", &cp::kDos857, four("IBM857", "cp857", "ibm-857")},
      // glibc has no Mac Turkish.
      {"Mac Turkish", &cp::kMacTurkish, {{Source::python, "mac_turkish"}, {Source::uconv, "x-mac-turkish"}}},
      {"ISO 8859-9", &cp::kIso8859_9, four("ISO-8859-9", "iso8859_9", "ISO-8859-9")},
      {"DOS 850", &cp::kDos850, four("IBM850", "cp850", "ibm-850")},
      {"Windows 1252", &cp::kWindows1252,
       four("CP1252", "cp1252", "windows-1252", icu_c1_fill({0x81, 0x8D, 0x8F, 0x90, 0x9D}))},
      {"ISO 8859-15", &cp::kIso8859_15, four("ISO-8859-15", "iso8859_15", "ISO-8859-15")},
      {"Mac Roman", &cp::kMacRoman,
       {{Source::iconv, "MACINTOSH", {kDelta, kLogo}}, {Source::charmap, "MACINTOSH", {kDelta, kLogo}},
        {Source::python, "mac_roman"}, {Source::uconv, "macintosh"}}},
  };
  return cases;
}

struct Param {
  std::size_t page, source;
};

// Names each case in test listings ("DOS 866 against python cp866").
void PrintTo(const Param& p, std::ostream* os) {
  const SourceCase& src = page_cases()[p.page].sources[p.source];
  *os << page_cases()[p.page].page << " against " << kSourceNames[static_cast<int>(src.source)] << " " << src.name;
}

std::vector<Param> params() {
  std::vector<Param> out;
  for (std::size_t p = 0; p < page_cases().size(); ++p)
    for (std::size_t s = 0; s < page_cases()[p].sources.size(); ++s) out.push_back({p, s});
  return out;
}

class CodePageAgainstSource : public testing::TestWithParam<Param> {};

TEST_P(CodePageAgainstSource, EveryByteAgrees) {
  const PageCase& page = page_cases()[GetParam().page];
  const SourceCase& src = page.sources[GetParam().source];
  SCOPED_TRACE(testing::PrintToString(GetParam()));
  std::string why;
  const std::optional<SourceHalf> theirs = upper_half_from(src.source, src.name, why);
  if (!theirs) GTEST_SKIP() << why;
  std::vector<bool> listed(128, false);
  for (const Difference& d : src.differences) {
    const int i = d.byte - 0x80;
    listed[i] = true;
    EXPECT_EQ(cp_text((*page.map)[i]), cp_text(d.ours)) << byte_text(d.byte) << " must stay as listed: " << d.reason;
    EXPECT_EQ(cp_text((*theirs)[i]), cp_text(d.theirs)) << byte_text(d.byte) << " no longer differs: " << d.reason;
  }
  for (int b = 0x80; b <= 0xFF; ++b) {
    if (!listed[b - 0x80]) { EXPECT_EQ(cp_text((*page.map)[b - 0x80]), cp_text((*theirs)[b - 0x80])) << byte_text(b); }
  }
}

INSTANTIATE_TEST_SUITE_P(AllTables, CodePageAgainstSource, testing::ValuesIn(params()));

}  // namespace
}  // namespace recodia::test
