// HTML entity output ("-html"): the entity table in its order, the two rows
// that match the letters Ё and ё and their precedence against the code rows,
// the other effects of "-html", "-dhcs", and every entity that reaches a file
// checked against HTML 4's own entity set.
#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.hpp"
#include "convert/converter.hpp"
#include "convert/entities.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

Bytes B(std::initializer_list<unsigned> values) {
  Bytes s;
  for (unsigned v : values) s.push_back(static_cast<char>(v));
  return s;
}

// The character entities of HTML 4.01 (HTMLlat1, HTMLsymbol, HTMLspecial)
// with the characters they name.
const std::map<std::string, char32_t>& html4_entities() {
  static const std::map<std::string, char32_t> entities = [] {
    std::map<std::string, char32_t> m;
    // HTMLlat1: U+00A0..U+00FF in order.
    const char* latin1[] = {
        "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",
        "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",
        "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12",
        "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
        "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde",
        "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",
        "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",
        "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
        "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
        "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};
    char32_t c = 0xA0;
    for (const char* name : latin1) m[name] = c++;
    // HTMLsymbol: Greek capitals U+0391..U+03A9 (no U+03A2), small letters
    // U+03B1..U+03C9, and the rest.
    const char* greek_capitals[] = {"Alpha", "Beta", "Gamma",   "Delta", "Epsilon", "Zeta", "Eta", "Theta",
                                    "Iota",  "Kappa", "Lambda", "Mu",    "Nu",      "Xi",   "Omicron", "Pi",
                                    "Rho",   "Sigma", "Tau",    "Upsilon", "Phi",   "Chi",  "Psi", "Omega"};
    c = 0x391;
    for (const char* name : greek_capitals) {
      if (c == 0x3A2) ++c;
      m[name] = c++;
    }
    const char* greek_small[] = {"alpha", "beta", "gamma", "delta",  "epsilon", "zeta",    "eta", "theta", "iota",
                                 "kappa", "lambda", "mu",  "nu",     "xi",      "omicron", "pi",  "rho",   "sigmaf",
                                 "sigma", "tau",  "upsilon", "phi",  "chi",     "psi",     "omega"};
    c = 0x3B1;
    for (const char* name : greek_small) m[name] = c++;
    const std::pair<const char*, char32_t> rest[] = {
        {"fnof", 0x192},     {"thetasym", 0x3D1}, {"upsih", 0x3D2},   {"piv", 0x3D6},     {"bull", 0x2022},
        {"hellip", 0x2026},  {"prime", 0x2032},   {"Prime", 0x2033},  {"oline", 0x203E},  {"frasl", 0x2044},
        {"weierp", 0x2118},  {"image", 0x2111},   {"real", 0x211C},   {"trade", 0x2122},  {"alefsym", 0x2135},
        {"larr", 0x2190},    {"uarr", 0x2191},    {"rarr", 0x2192},   {"darr", 0x2193},   {"harr", 0x2194},
        {"crarr", 0x21B5},   {"lArr", 0x21D0},    {"uArr", 0x21D1},   {"rArr", 0x21D2},   {"dArr", 0x21D3},
        {"hArr", 0x21D4},    {"forall", 0x2200},  {"part", 0x2202},   {"exist", 0x2203},  {"empty", 0x2205},
        {"nabla", 0x2207},   {"isin", 0x2208},    {"notin", 0x2209},  {"ni", 0x220B},     {"prod", 0x220F},
        {"sum", 0x2211},     {"minus", 0x2212},   {"lowast", 0x2217}, {"radic", 0x221A},  {"prop", 0x221D},
        {"infin", 0x221E},   {"ang", 0x2220},     {"and", 0x2227},    {"or", 0x2228},     {"cap", 0x2229},
        {"cup", 0x222A},     {"int", 0x222B},     {"there4", 0x2234}, {"sim", 0x223C},    {"cong", 0x2245},
        {"asymp", 0x2248},   {"ne", 0x2260},      {"equiv", 0x2261},  {"le", 0x2264},     {"ge", 0x2265},
        {"sub", 0x2282},     {"sup", 0x2283},     {"nsub", 0x2284},   {"sube", 0x2286},   {"supe", 0x2287},
        {"oplus", 0x2295},   {"otimes", 0x2297},  {"perp", 0x22A5},   {"sdot", 0x22C5},   {"lceil", 0x2308},
        {"rceil", 0x2309},   {"lfloor", 0x230A},  {"rfloor", 0x230B}, {"lang", 0x2329},   {"rang", 0x232A},
        {"loz", 0x25CA},     {"spades", 0x2660},  {"clubs", 0x2663},  {"hearts", 0x2665}, {"diams", 0x2666},
        // HTMLspecial.
        {"quot", 0x22},      {"amp", 0x26},       {"lt", 0x3C},       {"gt", 0x3E},       {"OElig", 0x152},
        {"oelig", 0x153},    {"Scaron", 0x160},   {"scaron", 0x161},  {"Yuml", 0x178},    {"circ", 0x2C6},
        {"tilde", 0x2DC},    {"ensp", 0x2002},    {"emsp", 0x2003},   {"thinsp", 0x2009}, {"zwnj", 0x200C},
        {"zwj", 0x200D},     {"lrm", 0x200E},     {"rlm", 0x200F},    {"ndash", 0x2013},  {"mdash", 0x2014},
        {"lsquo", 0x2018},   {"rsquo", 0x2019},   {"sbquo", 0x201A},  {"ldquo", 0x201C},  {"rdquo", 0x201D},
        {"bdquo", 0x201E},   {"dagger", 0x2020},  {"Dagger", 0x2021}, {"permil", 0x2030}, {"lsaquo", 0x2039},
        {"rsaquo", 0x203A},  {"euro", 0x20AC},
    };
    for (const auto& [name, ch] : rest) m[name] = ch;
    return m;
  }();
  return entities;
}

// The character an entity of the output stands for: the HTML 4 named ones,
// and "&#128;", the euro sign's position in the Windows code pages.
std::optional<char32_t> entity_character(const std::string& entity) {
  if (entity == "&#128;") return 0x20AC;
  if (entity.size() < 3 || entity.front() != '&' || entity.back() != ';') return std::nullopt;
  const auto& all = html4_entities();
  auto it = all.find(entity.substr(1, entity.size() - 2));
  if (it == all.end()) return std::nullopt;
  return it->second;
}

TEST(Entities, Html4ListIsComplete) { EXPECT_EQ(html4_entities().size(), 252u); }

// ---------------------------------------------------------------------------
// The table

struct ExpectedRow {
  int code;            // 0 for the two byte rows
  unsigned byte;       // the working byte of the byte rows
  const char* entity;
  char32_t character;  // what the row's code (or byte) stands for
};

// In the table's order.
const ExpectedRow kExpected[kEntityRowCount] = {
    {543, 0, "&laquo;", 0xAB},   {559, 0, "&raquo;", 0xBB},   {500, 0, "&#128;", 0x20AC},
    {533, 0, "&iexcl;", 0xA1},   {534, 0, "&cent;", 0xA2},    {535, 0, "&pound;", 0xA3},
    {536, 0, "&curren;", 0xA4},  {537, 0, "&yen;", 0xA5},     {538, 0, "&brvbar;", 0xA6},
    {539, 0, "&sect;", 0xA7},    {540, 0, "&uml;", 0xA8},     {541, 0, "&copy;", 0xA9},
    {542, 0, "&ordf;", 0xAA},    {544, 0, "&not;", 0xAC},     {545, 0, "&reg;", 0xAE},
    {546, 0, "&macr;", 0xAF},    {548, 0, "&deg;", 0xB0},     {549, 0, "&plusmn;", 0xB1},
    {550, 0, "&sup2;", 0xB2},    {551, 0, "&sup3;", 0xB3},    {552, 0, "&acute;", 0xB4},
    {860, 0, "&micro;", 0xB5},   {554, 0, "&para;", 0xB6},    {555, 0, "&middot;", 0xB7},
    {556, 0, "&cedil;", 0xB8},   {557, 0, "&sup1;", 0xB9},    {560, 0, "&frac14;", 0xBC},
    {561, 0, "&frac12;", 0xBD},  {562, 0, "&frac34;", 0xBE},  {563, 0, "&iquest;", 0xBF},
    {700, 0, "&Agrave;", 0xC0},  {701, 0, "&Aacute;", 0xC1},  {702, 0, "&Acirc;", 0xC2},
    {703, 0, "&Atilde;", 0xC3},  {704, 0, "&Auml;", 0xC4},    {705, 0, "&Aring;", 0xC5},
    {706, 0, "&AElig;", 0xC6},   {707, 0, "&Ccedil;", 0xC7},  {708, 0, "&Egrave;", 0xC8},
    {709, 0, "&Eacute;", 0xC9},  {710, 0, "&Ecirc;", 0xCA},   {711, 0, "&Euml;", 0xCB},
    {0, 0xF0, "&Euml;", 0x401},  {712, 0, "&Igrave;", 0xCC},  {713, 0, "&Iacute;", 0xCD},
    {714, 0, "&Icirc;", 0xCE},   {715, 0, "&Iuml;", 0xCF},    {570, 0, "&ETH;", 0xD0},
    {717, 0, "&Ntilde;", 0xD1},  {718, 0, "&Ograve;", 0xD2},  {719, 0, "&Oacute;", 0xD3},
    {720, 0, "&Ocirc;", 0xD4},   {721, 0, "&Otilde;", 0xD5},  {722, 0, "&Ouml;", 0xD6},
    {723, 0, "&times;", 0xD7},   {724, 0, "&Oslash;", 0xD8},  {725, 0, "&Ugrave;", 0xD9},
    {726, 0, "&Uacute;", 0xDA},  {727, 0, "&Ucirc;", 0xDB},   {728, 0, "&Uuml;", 0xDC},
    {571, 0, "&Yacute;", 0xDD},  {572, 0, "&THORN;", 0xDE},   {731, 0, "&szlig;", 0xDF},
    {732, 0, "&agrave;", 0xE0},  {733, 0, "&aacute;", 0xE1},  {734, 0, "&acirc;", 0xE2},
    {735, 0, "&atilde;", 0xE3},  {736, 0, "&auml;", 0xE4},    {737, 0, "&aring;", 0xE5},
    {738, 0, "&aelig;", 0xE6},   {739, 0, "&ccedil;", 0xE7},  {740, 0, "&egrave;", 0xE8},
    {741, 0, "&eacute;", 0xE9},  {742, 0, "&ecirc;", 0xEA},   {743, 0, "&euml;", 0xEB},
    {0, 0xF1, "&euml;", 0x451},  {744, 0, "&igrave;", 0xEC},  {745, 0, "&iacute;", 0xED},
    {746, 0, "&icirc;", 0xEE},   {747, 0, "&iuml;", 0xEF},    {573, 0, "&eth;", 0xF0},
    {749, 0, "&ntilde;", 0xF1},  {750, 0, "&ograve;", 0xF2},  {751, 0, "&oacute;", 0xF3},
    {752, 0, "&ocirc;", 0xF4},   {753, 0, "&otilde;", 0xF5},  {754, 0, "&ouml;", 0xF6},
    {331, 0, "&divide;", 0xF7},  {756, 0, "&oslash;", 0xF8},  {757, 0, "&ugrave;", 0xF9},
    {758, 0, "&uacute;", 0xFA},  {759, 0, "&ucirc;", 0xFB},   {760, 0, "&uuml;", 0xFC},
    {574, 0, "&yacute;", 0xFD},  {575, 0, "&thorn;", 0xFE},   {763, 0, "&yuml;", 0xFF},
    {503, 0, "&fnof;", 0x192},   {521, 0, "&bull;", 0x2022},  {505, 0, "&hellip;", 0x2026},
    {658, 0, "&frasl;", 0x2044}, {622, 0, "&part;", 0x2202},  {624, 0, "&prod;", 0x220F},
    {322, 0, "&radic;", 0x221A}, {616, 0, "&infin;", 0x221E}, {626, 0, "&int;", 0x222B},
    {323, 0, "&cong;", 0x2248},  {613, 0, "&ne;", 0x2260},    {324, 0, "&le;", 0x2264},
    {325, 0, "&ge;", 0x2265},    {525, 0, "&trade;", 0x2122}, {510, 0, "&Scaron;", 0x160},
    {526, 0, "&scaron;", 0x161}, {531, 0, "&Yuml;", 0x178},   {689, 0, "&circ;", 0x2C6},
    {690, 0, "&tilde;", 0x2DC},  {522, 0, "&ndash;", 0x2013}, {523, 0, "&mdash;", 0x2014},
    {517, 0, "&lsquo;", 0x2018}, {518, 0, "&rsquo;", 0x2019}, {502, 0, "&sbquo;", 0x201A},
    {519, 0, "&ldquo;", 0x201C}, {520, 0, "&rdquo;", 0x201D}, {504, 0, "&bdquo;", 0x201E},
    {506, 0, "&dagger;", 0x2020}, {507, 0, "&Dagger;", 0x2021}, {509, 0, "&permil;", 0x2030},
    {511, 0, "&lsaquo;", 0x2039}, {527, 0, "&rsaquo;", 0x203A},
};

TEST(Entities, TableInItsOrder) {
  const auto& table = entity_table();
  for (int i = 0; i < kEntityRowCount; ++i) {
    SCOPED_TRACE("row " + std::to_string(i + 1));
    EXPECT_EQ(table[i].code, kExpected[i].code);
    if (kExpected[i].code == 0) {
      EXPECT_EQ(int(table[i].byte), int(kExpected[i].byte));
    }
    EXPECT_STREQ(table[i].entity, kExpected[i].entity);
  }
}

// Every literal is an HTML 4 entity for its row's character; the exceptions
// are the two Cyrillic letters given Latin entities and ≈, given the entity
// of ≅.
TEST(Entities, EveryLiteralIsAnHtml4Entity) {
  for (int i = 0; i < kEntityRowCount; ++i) {
    SCOPED_TRACE("row " + std::to_string(i + 1) + " " + kExpected[i].entity);
    const std::optional<char32_t> c = entity_character(kExpected[i].entity);
    ASSERT_TRUE(c.has_value());
    const int row = i + 1;
    const char32_t named = row == 43 ? 0xCB : row == 76 ? 0xEB : row == 106 ? 0x2245 : kExpected[i].character;
    EXPECT_EQ(*c, named);
  }
}

// ---------------------------------------------------------------------------
// Whole runs over every byte of every source that glibc knows

struct Source {
  const char* source_switch;
  const char* charset;  // for decoding the source bytes independently
};

// ISO 8859-1 is read with the Windows 1252 signs in 0x80..0x9F, so its bytes
// are decoded as Windows 1252.
const Source kSources[] = {
    {"-866", "CP866"},          {"-w", "CP1251"},          {"-koi8", "KOI8-R"},         {"-855", "IBM855"},
    {"-mac", "MAC-CYRILLIC"},   {"-iso", "ISO-8859-5"},    {"-isoir111", "ISO-IR-111"}, {"-koi8u", "KOI8-U"},
    {"-macu", "MAC-UK"},        {"-1254", "CP1254"},       {"-857", "IBM857"},          {"-iso8859_9", "ISO-8859-9"},
    {"-850", "IBM850"},         {"-1252", "CP1252"},       {"-iso8859_1", "CP1252"},    {"-iso8859_15", "ISO-8859-15"},
    {"-macroman", "MACINTOSH"},
};

std::optional<char32_t> decode(const char* charset, unsigned char byte) {
  try {
    const Bytes u = iconv_convert(charset, "UTF-32LE", Bytes(1, static_cast<char>(byte)));
    if (u.size() != 4) return std::nullopt;
    return char32_t(static_cast<unsigned char>(u[0])) | char32_t(static_cast<unsigned char>(u[1])) << 8 |
           char32_t(static_cast<unsigned char>(u[2])) << 16;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Where the entity written for a byte names another character than the
// byte's, and why.
std::optional<std::string> expected_other_entity(const Source& s, unsigned char byte, char32_t c) {
  // The pivot letters Ё and ё carry the entities of Ë and ë.
  if (c == 0x401) return "&Euml;";
  if (c == 0x451) return "&euml;";
  // ≈ carries the entity of ≅; º and ∙ share the codes of ° and ·.
  if (c == 0x2248) return "&cong;";
  if (c == 0xBA) return "&deg;";
  if (c == 0x2219) return "&middot;";
  // The Turkish and West-European sources carry their bytes 0xF0 and 0xF1 as
  // working bytes, which the rows for Ё and ё match unless a fallback has
  // replaced the byte (± becomes '+') or a later code row matches (ð, ñ).
  const std::string sw = s.source_switch;
  const bool latin = sw == "-1254" || sw == "-857" || sw == "-iso8859_9" || sw == "-850" || sw == "-macroman";
  if (latin && byte == 0xF0) return "&Euml;";                            // ğ, soft hyphen, the Apple logo
  if (latin && byte == 0xF1 && c != 0xF1 && c != 0xB1) return "&euml;";  // Ò
  // The Mac Cyrillic form read here has ¢ and ∂ at 0xA2 and 0xB6, where
  // glibc's iconv reads Ґ and ґ.
  if (sw == "-mac" && byte == 0xA2) return "&cent;";
  if (sw == "-mac" && byte == 0xB6) return "&part;";
  return std::nullopt;
}

// All 128 upper bytes, one to a line, to KX (which looks nothing up, so every
// entity set reaches the file): each entity is an HTML 4 one for the byte's
// character, and every row of the table shows up somewhere.
TEST(Entities, EveryUpperByteOfEverySourceToKx) {
  std::set<std::string> seen;
  for (const Source& s : kSources) {
    SCOPED_TRACE(s.source_switch);
    Bytes input;
    for (unsigned b = 0x80; b <= 0xFF; ++b) input += B({b, '\n'});
    const Bytes output = convert({s.source_switch, "-html"}, input);
    std::size_t at = 0;
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
      const std::size_t end = output.find('\n', at);
      ASSERT_NE(end, Bytes::npos);
      const std::string line = output.substr(at, end - at);
      at = end + 1;
      if (line.empty() || line.front() != '&') continue;
      SCOPED_TRACE("byte " + hex(B({b})) + " gave " + line);
      seen.insert(line);
      const std::optional<char32_t> named = entity_character(line);
      ASSERT_TRUE(named.has_value()) << "not an HTML 4 entity";
      const std::optional<char32_t> c = decode(s.charset, static_cast<unsigned char>(b));
      if (!c) {
        ADD_FAILURE() << "an entity for a byte the code page leaves undefined";
        continue;
      }
      if (const auto other = expected_other_entity(s, static_cast<unsigned char>(b), *c)) {
        EXPECT_EQ(line, *other);
      } else {
        EXPECT_EQ(*named, *c);
      }
    }
    EXPECT_EQ(at, output.size());
  }
  for (const ExpectedRow& row : kExpected) EXPECT_TRUE(seen.count(row.entity)) << row.entity << " never written";
}

// ---------------------------------------------------------------------------
// Every entity in any output, through the converter for all sources, targets
// and the "-html" variants, is an HTML 4 one, and no '<' or '>' appears.

ConversionSettings settings_from(const std::vector<std::string_view>& switches) {
  ConversionSettings settings;
  CommandLine command_line;
  parse_arguments(switches, settings, command_line);
  resolve_settings(settings, command_line);
  return settings;
}

Bytes written_by(const ConversionSettings& s, std::string_view input) {
  Converter converter(s);
  Bytes out;
  for (unsigned char b : input) {
    const std::uint8_t r = converter.convert_byte(b);
    if (converter.result().string_pending && s.strings_allowed) out += converter.result().output_string.data();
    else out.push_back(static_cast<char>(r != 0 ? r : b));
  }
  return out;
}

std::vector<std::string_view> switches_for(bool source) {
  std::vector<std::string_view> found;
  for (std::string_view text : kSwitchTexts) {
    const ConversionSettings s = settings_from({text});
    if (source ? (s.source != kDos866 || text == "-866") : (s.target != kKx || text == "-tokx")) {
      // One switch per encoding id.
      bool again = false;
      for (std::string_view f : found) {
        const ConversionSettings t = settings_from({f});
        if (source ? t.source == s.source : t.target == s.target) again = true;
      }
      if (!again) found.push_back(text);
    }
  }
  return found;
}

TEST(Entities, OnlyHtml4EntitiesAndNoMarkupInAnyOutput) {
  const std::vector<std::string_view> sources = switches_for(true);
  const std::vector<std::string_view> targets = switches_for(false);
  ASSERT_EQ(sources.size(), 20u);
  ASSERT_EQ(targets.size(), 21u);
  Bytes upper;
  for (unsigned b = 0x80; b <= 0xFF; ++b) upper.push_back(static_cast<char>(b));
  // KOI-7 carries its own ASCII punctuation in 0xA0..0xBF, '<', '>' and '&'
  // among it; leave those out.
  const Bytes koi7_letters = upper.substr(0x40);
  int entities = 0;
  for (std::string_view source : sources) {
    const Bytes& input = source == "-koi7" ? koi7_letters : upper;
    for (std::string_view target : targets) {
      for (const std::vector<std::string_view>& extra :
           {std::vector<std::string_view>{"-html"}, {"-html", "-dhcs"}, {"-html", "-nstr"}}) {
        std::vector<std::string_view> sw = {source, target};
        sw.insert(sw.end(), extra.begin(), extra.end());
        const Bytes out = written_by(settings_from(sw), input);
        SCOPED_TRACE(std::string(source) + " " + std::string(target) + " " + std::string(extra.back()));
        EXPECT_EQ(out.find('<'), Bytes::npos) << out;
        EXPECT_EQ(out.find('>'), Bytes::npos) << out;
        for (std::size_t at = out.find('&'); at != Bytes::npos; at = out.find('&', at + 1)) {
          const std::size_t end = out.find(';', at);
          ASSERT_NE(end, Bytes::npos) << out.substr(at);
          const std::string entity = out.substr(at, end - at + 1);
          EXPECT_TRUE(entity_character(entity).has_value()) << entity;
          ++entities;
        }
      }
    }
  }
  EXPECT_GT(entities, 5000);
}

// "-dhcs" on its own changes nothing.
TEST(Entities, DhcsAloneChangesNothing) {
  const std::vector<std::string_view> sources = switches_for(true);
  const std::vector<std::string_view> targets = switches_for(false);
  Bytes input;
  for (unsigned b = 0; b <= 0xFF; ++b) input.push_back(static_cast<char>(b));
  input += "\"a\" 'b' \"c\"\n";
  for (std::string_view source : sources) {
    for (std::string_view target : targets) {
      for (const std::vector<std::string_view>& extra :
           {std::vector<std::string_view>{}, {"-nstr"}, {"-32"}, {"-src"}, {"-nta"}}) {
        std::vector<std::string_view> plain = {source, target};
        plain.insert(plain.end(), extra.begin(), extra.end());
        std::vector<std::string_view> with = plain;
        with.push_back("-dhcs");
        SCOPED_TRACE(std::string(source) + " " + std::string(target) + " " + std::to_string(extra.size()));
        EXPECT_EQ(hex(written_by(settings_from(with), input)), hex(written_by(settings_from(plain), input)));
      }
    }
  }
  // And through the program.
  for (const std::vector<std::string>& sw : {std::vector<std::string>{"-w", "-to866"}, {"-1252", "-tokoi8"},
                                             {"-koi8", "-tow"}, {"-866"}}) {
    std::vector<std::string> with = sw;
    with.push_back("-dhcs");
    EXPECT_EQ(hex(convert(with, input)), hex(convert(sw, input)));
  }
}

// ---------------------------------------------------------------------------
// Cases where the order of the steps decides

struct RunCase {
  const char* what;
  std::vector<std::string> switches;
  Bytes input;
  Bytes expected;
};

// Cases with the same switches share one run of the program, one after the
// other in one file: the converter's only history is the byte before a
// quotation mark, so only a case that begins with a quote needs a run of its
// own, where it stands at the start of the file. When a shared run goes
// wrong, each of its cases is run alone to name the one at fault.
void expect_runs(const std::vector<RunCase>& cases) {
  std::vector<std::vector<const RunCase*>> runs;
  for (const RunCase& c : cases) {
    const bool alone = !c.input.empty() && (c.input[0] == '"' || c.input[0] == '\'');
    std::vector<const RunCase*>* run = nullptr;
    for (auto& r : runs)
      if (!alone && r.front()->switches == c.switches && !r.front()->input.empty() && r.front()->input[0] != '"' &&
          r.front()->input[0] != '\'')
        run = &r;
    if (run == nullptr) run = &runs.emplace_back();
    run->push_back(&c);
  }
  for (const auto& run : runs) {
    Bytes input;
    Bytes expected;
    std::string names;
    for (const RunCase* c : run) {
      input += c->input;
      expected += c->expected;
      names += std::string(names.empty() ? "" : "; ") + c->what;
    }
    const Bytes output = convert(run.front()->switches, input);
    EXPECT_EQ(hex(output), hex(expected)) << names;
    if (output != expected && run.size() > 1) {
      for (const RunCase* c : run) {
        SCOPED_TRACE(c->what);
        EXPECT_EQ(hex(convert(c->switches, c->input)), hex(c->expected));
      }
    }
  }
}

TEST(Entities, ByteRowsAgainstCodeRows) {
  expect_runs({
      // Ё and ё from the Cyrillic code pages, whatever the target has.
      {"866 to KOI8-R", {"-tokoi8", "-html"}, B({0xF0, 0xF1}), "&Euml;&euml;"},
      {"1251 to KOI8-R", {"-w", "-tokoi8", "-html"}, B({0xA8, 0xB8}), "&Euml;&euml;"},
      {"KOI8-R to 1251", {"-koi8", "-tow", "-html"}, B({0xB3, 0xA3}), "&Euml;&euml;"},
      {"1251 to 1251", {"-w", "-tow", "-html"}, B({0xA8, 0xB8}), "&Euml;&euml;"},
      {"1251 to 1251 -nstr", {"-w", "-tow", "-html", "-nstr"}, B({0xA8, 0xB8}), B({0xA8, 0xB8})},
      {"1251 to 1251 -dhcs", {"-w", "-tow", "-html", "-dhcs"}, B({0xA8, 0xB8}), B({0xA8, 0xB8})},
      {"866 to 1251", {"-tow", "-html"}, B({0xF0}), "&Euml;"},
      // The raw bytes 0xF0 and 0xF1 of the Latin code pages: a later code row
      // wins, an earlier one or none loses.
      {"1252 eth and n tilde", {"-1252", "-tokoi8", "-html"}, B({0xF0, 0xF1}), "&eth;&ntilde;"},
      {"ISO 8859-15 eth and n tilde", {"-iso8859_15", "-tokoi8", "-html"}, B({0xF0, 0xF1}), "&eth;&ntilde;"},
      {"Mac Roman logo and O grave", {"-macroman", "-tokoi8", "-html"}, B({0xF0, 0xF1}), "&Euml;&euml;"},
      {"850 O grave", {"-850", "-tokoi8", "-html"}, B({0xE3}), "&Ograve;"},
      // ± has a fallback, which replaces the working byte before the entity
      // step looks at it.
      {"850 soft hyphen and plus-minus", {"-850", "-tokoi8", "-html"}, B({0xF0, 0xF1}), "&Euml;&plusmn;"},
      {"850 plus-minus -nstr", {"-850", "-tokoi8", "-html", "-nstr"}, B({0xF0, 0xF1}), B({0xB3, '+'})},
      {"857 soft hyphen and plus-minus", {"-857", "-toiso", "-html"}, B({0xF0, 0xF1}), "&Euml;&plusmn;"},
      {"1254 g breve and n tilde", {"-1254", "-tokoi8", "-html"}, B({0xF0, 0xF1}), "&Euml;&ntilde;"},
      {"ISO 8859-9 g breve", {"-iso8859_9", "-tokoi8", "-html"}, B({0xF0}), "&Euml;"},
      // The target's own byte still wins over a code row.
      {"1252 eth to ISO 8859-15", {"-1252", "-toiso8859_15", "-html"}, B({0xF0, 0xF1}), B({0xF0, 0xF1})},
      {"850 plus-minus to 1252", {"-850", "-to1252", "-html"}, B({0xF1}), B({0xB1})},
  });
}

TEST(Entities, WhereTheyAreWritten) {
  expect_runs({
      {"1251 to KOI8-R", {"-w", "-tokoi8", "-html"}, B({0xAB, 0xBB, 0x97, 0x88, 0xB9}),
       "&laquo;&raquo;&mdash;&#128;No."},
      {"1252 to 1251", {"-1252", "-tow", "-html"}, B({0xAB, 0xE9, 0x80}), B({0xAB}) + "&eacute;" + B({0x88})},
      {"1252 to KOI8-R", {"-1252", "-tokoi8", "-html"}, B({0xA8, 0xDD, 0xEC, 0xED, 0xF0}),
       "&uml;&Yacute;&igrave;&iacute;&eth;"},
      {"1251 to 866 -nstr", {"-w", "-to866", "-html", "-nstr"}, B({0xA9, 0xB1}), "c+"},
      {"1251 to 866 -dhcs", {"-w", "-to866", "-html", "-dhcs"}, B({0xAB, 0xA9}), "``(C)"},
      {"entity over fallback string", {"-w", "-to866", "-html"}, B({0xA9, 0xB1}), "&copy;&plusmn;"},
      {"native byte over entity", {"-w", "-tokoi8", "-html"}, B({0xA9, 0xB0}), B({0xBF, 0x9C})},
      // The targets that look nothing up keep every entity.
      {"KX", {"-w", "-html"}, B({0xA9, 0xB0}), "&copy;&deg;"},
      {"KOI-7", {"-w", "-tokoi7", "-html"}, B({0xA9, 0xB0}), "&copy;&deg;"},
      // The DOS control symbols get their codes after the entity step.
      {"DOS control symbols to KX", {"-html"}, B({0x15, 0x14, 0x07, 0x16}), B({0x15, 0x14, 0x07, '_'})},
      {"DOS control symbols to 1251", {"-tow", "-html"}, B({0x15, 0x14, 0x07, 0x16}), B({0xA7, 0xB6, 0xB7, 0x97})},
      // A sign that the DOS table codes itself does get its entity.
      {"866 degree and middot to KX", {"-html"}, B({0xF8, 0xFA}), "&deg;&middot;"},
  });
}

TEST(Entities, OtherEffectsOfHtml) {
  expect_runs({
      // Straight quotes stay straight, whatever precedes them.
      {"quotes stay", {"-tow", "-html"}, "\"a\" 'b' \"", "\"a\" 'b' \""},
      {"quotes stay -dhcs", {"-tow", "-html", "-dhcs"}, "\"a\" 'b' \"", "\"a\" 'b' \""},
      {"quotes stay from 1251", {"-w", "-to1252", "-html"}, "x \"y\"\r\n\"", "x \"y\"\r\n\""},
      // The double-quote byte is the grave accent.
      {"low and curly quotes", {"-w", "-to866", "-html"}, B({0x84, 0x93, 0x94}), "&bdquo;&ldquo;&rdquo;"},
      {"low and curly quotes -dhcs", {"-w", "-to866", "-html", "-dhcs"}, B({0x84, 0x93, 0x94}), "```"},
      {"low and curly quotes -nstr", {"-w", "-to866", "-html", "-nstr"}, B({0x84, 0x93, 0x94}), "```"},
      {"low and curly quotes plain", {"-w", "-to866"}, B({0x84, 0x93, 0x94}), "\"\"\""},
      // The variants without '<' and '>'.
      {"angle quotes", {"-1252", "-to866", "-html"}, B({0x8B, 0x9B}), "&lsaquo;&rsaquo;"},
      {"angle quotes -dhcs", {"-1252", "-to866", "-html", "-dhcs"}, B({0x8B, 0x9B}), "``"},
      {"angle quotes plain", {"-1252", "-to866"}, B({0x8B, 0x9B}), "<>"},
      {"le ge", {"-koi8", "-to866", "-html"}, B({0x98, 0x99}), "&le;&ge;"},
      {"le ge -dhcs", {"-koi8", "-to866", "-html", "-dhcs"}, B({0x98, 0x99}), "LEGE"},
      {"le ge -nstr", {"-koi8", "-to866", "-html", "-nstr"}, B({0x98, 0x99}), "__"},
      {"le ge plain", {"-koi8", "-to866"}, B({0x98, 0x99}), "<=>="},
      {"le ge plain -nstr", {"-koi8", "-to866", "-nstr"}, B({0x98, 0x99}), "<>"},
      {"guillemets -dhcs", {"-w", "-to866", "-html", "-dhcs"}, B({0xAB, 0xBB}), "````"},
      {"guillemets -nstr", {"-w", "-to866", "-html", "-nstr"}, B({0xAB, 0xBB}), "``"},
      {"guillemets plain -nstr", {"-w", "-to866", "-nstr"}, B({0xAB, 0xBB}), "\"\""},
  });
}

}  // namespace
}  // namespace recodia::test
