// HTML entity output ("-html"): every entity that reaches a file is one that
// HTML 4 defines for the character read, the rows for Ё and ё against the
// code rows, where the target's own byte or "-dhcs" wins, and "-dhcs" alone.
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "convert/entities.hpp"
#include "engine_support.hpp"

namespace recodia::test {
namespace {

// The character entities of HTML 4.01 (HTMLlat1, HTMLsymbol, HTMLspecial)
// with the characters they name.
const std::map<std::string, char32_t>& html4_entities() {
  static const std::map<std::string, char32_t> entities = [] {
    std::map<std::string, char32_t> m;
    // Names of consecutive characters; "-" skips one.
    auto run = [&](char32_t c, const char* names) {
      std::istringstream in(names);
      for (std::string name; in >> name; ++c)
        if (name != "-") m[name] = c;
    };
    run(0xA0, "nbsp iexcl cent pound curren yen brvbar sect uml copy ordf laquo not shy reg macr deg plusmn sup2 "
              "sup3 acute micro para middot cedil sup1 ordm raquo frac14 frac12 frac34 iquest Agrave Aacute Acirc "
              "Atilde Auml Aring AElig Ccedil Egrave Eacute Ecirc Euml Igrave Iacute Icirc Iuml ETH Ntilde Ograve "
              "Oacute Ocirc Otilde Ouml times Oslash Ugrave Uacute Ucirc Uuml Yacute THORN szlig agrave aacute acirc "
              "atilde auml aring aelig ccedil egrave eacute ecirc euml igrave iacute icirc iuml eth ntilde ograve "
              "oacute ocirc otilde ouml divide oslash ugrave uacute ucirc uuml yacute thorn yuml");
    run(0x391, "Alpha Beta Gamma Delta Epsilon Zeta Eta Theta Iota Kappa Lambda Mu Nu Xi Omicron Pi Rho - Sigma Tau "
               "Upsilon Phi Chi Psi Omega");
    run(0x3B1, "alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigmaf sigma "
               "tau upsilon phi chi psi omega");
    std::istringstream rest(
        "quot 22 amp 26 lt 3C gt 3E OElig 152 oelig 153 Scaron 160 scaron 161 Yuml 178 fnof 192 circ 2C6 tilde 2DC "
        "thetasym 3D1 upsih 3D2 piv 3D6 ensp 2002 emsp 2003 thinsp 2009 zwnj 200C zwj 200D lrm 200E rlm 200F "
        "ndash 2013 mdash 2014 lsquo 2018 rsquo 2019 sbquo 201A ldquo 201C rdquo 201D bdquo 201E dagger 2020 "
        "Dagger 2021 bull 2022 hellip 2026 permil 2030 prime 2032 Prime 2033 lsaquo 2039 rsaquo 203A oline 203E "
        "frasl 2044 euro 20AC image 2111 weierp 2118 real 211C trade 2122 alefsym 2135 larr 2190 uarr 2191 "
        "rarr 2192 darr 2193 harr 2194 crarr 21B5 lArr 21D0 uArr 21D1 rArr 21D2 dArr 21D3 hArr 21D4 forall 2200 "
        "part 2202 exist 2203 empty 2205 nabla 2207 isin 2208 notin 2209 ni 220B prod 220F sum 2211 minus 2212 "
        "lowast 2217 radic 221A prop 221D infin 221E ang 2220 and 2227 or 2228 cap 2229 cup 222A int 222B "
        "there4 2234 sim 223C cong 2245 asymp 2248 ne 2260 equiv 2261 le 2264 ge 2265 sub 2282 sup 2283 "
        "nsub 2284 sube 2286 supe 2287 oplus 2295 otimes 2297 perp 22A5 sdot 22C5 lceil 2308 rceil 2309 "
        "lfloor 230A rfloor 230B lang 2329 rang 232A loz 25CA spades 2660 clubs 2663 hearts 2665 diams 2666");
    for (std::string name, code; rest >> name >> code;) m[name] = static_cast<char32_t>(std::stoul(code, nullptr, 16));
    return m;
  }();
  return entities;
}

// What an entity of the output stands for: the HTML 4 named ones, and
// "&#128;", the euro sign's position in the Windows code pages.
std::optional<char32_t> entity_character(const std::string& entity) {
  if (entity == "&#128;") return 0x20AC;
  if (entity.size() < 3 || entity.front() != '&' || entity.back() != ';') return std::nullopt;
  const auto it = html4_entities().find(entity.substr(1, entity.size() - 2));
  if (it == html4_entities().end()) return std::nullopt;
  return it->second;
}

// The character of one byte by iconv; 0 where the code page has none.
char32_t decoded(const char* charset, unsigned byte) {
  try {
    const Bytes u = iconv_convert(charset, "UTF-32LE", B({byte}));
    char32_t c = 0;
    for (std::size_t i = u.size(); i-- > 0;) c = c << 8 | static_cast<unsigned char>(u[i]);
    return u.size() == 4 ? c : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

// Where the entity written for a byte names another character than the
// byte's, and why.
std::optional<std::string> expected_other_entity(std::string_view source, unsigned byte, char32_t c) {
  // The pivot letters Ё and ё carry the entities of Ë and ë; ≈ that of ≅;
  // º and ∙ share the codes of ° and ·.
  const std::map<char32_t, std::string> others = {
      {0x401, "&Euml;"}, {0x451, "&euml;"}, {0x2248, "&cong;"}, {0xBA, "&deg;"}, {0x2219, "&middot;"}};
  if (const auto it = others.find(c); it != others.end()) return it->second;
  // The Turkish and West-European sources carry their bytes 0xF0 and 0xF1 as
  // working bytes, which the rows for Ё and ё match unless a fallback has
  // replaced the byte (± becomes '+') or a later code row matches (ð, ñ).
  const bool latin = source == "-1254" || source == "-857" || source == "-iso8859_9" || source == "-850" ||
                     source == "-macroman";
  if (latin && byte == 0xF0) return "&Euml;";                            // ğ, soft hyphen, the Apple logo
  if (latin && byte == 0xF1 && c != 0xF1 && c != 0xB1) return "&euml;";  // Ò
  // The Mac Cyrillic form read here has ¢ and ∂ where glibc reads Ґ and ґ.
  if (source == "-mac" && byte == 0xA2) return "&cent;";
  if (source == "-mac" && byte == 0xB6) return "&part;";
  return std::nullopt;
}

// All 128 upper bytes of every source that glibc knows, one to a line, to KX,
// which looks nothing up, so every entity set reaches the file. ISO 8859-1 is
// read with the Windows 1252 signs in 0x80..0x9F.
TEST(Entities, EveryUpperByteOfEverySourceToKx) {
  const std::pair<const char*, const char*> sources[] = {
      {"-866", "CP866"},         {"-w", "CP1251"},          {"-koi8", "KOI8-R"},         {"-855", "IBM855"},
      {"-mac", "MAC-CYRILLIC"},  {"-iso", "ISO-8859-5"},    {"-isoir111", "ISO-IR-111"}, {"-koi8u", "KOI8-U"},
      {"-macu", "MAC-UK"},       {"-1254", "CP1254"},       {"-857", "IBM857"},          {"-iso8859_9", "ISO-8859-9"},
      {"-850", "IBM850"},        {"-1252", "CP1252"},       {"-iso8859_1", "CP1252"},    {"-iso8859_15", "ISO-8859-15"},
      {"-macroman", "MACINTOSH"}};
  Bytes input;
  for (unsigned b = 0x80; b <= 0xFF; ++b) input += B({b, '\n'});
  std::set<std::string> seen;
  for (const auto& [source, charset] : sources) {
    const std::vector<Bytes> lines = lines_of(convert({source, "-html"}, input));
    ASSERT_EQ(lines.size(), 128u) << source;
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
      const Bytes& line = lines[b - 0x80];
      if (line.empty() || line.front() != '&') continue;
      SCOPED_TRACE(std::string(source) + " byte " + hex(B({b})) + " gave " + line);
      seen.insert(line);
      const std::optional<char32_t> named = entity_character(line);
      ASSERT_TRUE(named.has_value()) << "not an HTML 4 entity";
      const char32_t c = decoded(charset, b);
      ASSERT_NE(c, 0u) << "an entity for a byte that the code page leaves undefined";
      if (const auto other = expected_other_entity(source, b, c)) EXPECT_EQ(line, *other);
      else EXPECT_EQ(*named, c);
    }
  }
  for (const EntityRow& row : entity_table()) EXPECT_TRUE(seen.count(row.entity)) << row.entity << " never written";
  EXPECT_EQ(html4_entities().size(), 252u);
}

// For every source and target, no output of "-html" holds '<' or '>', and
// every '&' starts an HTML 4 entity that the target's re-encoding left whole.
TEST(Entities, OnlyHtml4EntitiesAndNoMarkupInAnyOutput) {
  Bytes upper;
  for (unsigned b = 0x80; b <= 0xFF; ++b) upper += B({b});
  int entities = 0;
  for (std::string_view source : kSourceSwitches) {
    // KOI-7 has its own ASCII punctuation, '<', '>' and '&' among it, in 0xA0..0xBF.
    const Bytes input = source == "-koi7" ? upper.substr(0x40) : upper;
    for (std::string_view target : kTargetSwitches) {
      for (std::string_view extra : {"-ni", "-dhcs", "-nstr"}) {
        const Bytes out = written_by({source, target, "-html", extra}, input);
        SCOPED_TRACE(std::string(source) + " " + std::string(target) + " " + std::string(extra) + ": " + out);
        EXPECT_EQ(out.find_first_of("<>"), Bytes::npos);
        for (std::size_t at = out.find('&'); at != Bytes::npos; at = out.find('&', at + 1), ++entities) {
          const std::size_t end = out.find(';', at);
          ASSERT_NE(end, Bytes::npos);
          EXPECT_TRUE(entity_character(out.substr(at, end - at + 1)).has_value()) << out.substr(at, end - at + 1);
        }
      }
    }
  }
  EXPECT_GT(entities, 5000);
}

TEST(Entities, DhcsAloneChangesNothing) {
  Bytes input;
  for (unsigned b = 0; b <= 0xFF; ++b) input += B({b});
  input += "\"a\" 'b' \"c\"\n";
  for (std::string_view source : kSourceSwitches)
    for (std::string_view target : kTargetSwitches)
      for (std::string_view extra : {"-ni", "-nstr", "-32", "-src"})
        EXPECT_EQ(hex(written_by({source, target, extra, "-dhcs"}, input)),
                  hex(written_by({source, target, extra}, input)))
            << source << " " << target << " " << extra;
  EXPECT_EQ(hex(convert({"-w", "-to866", "-dhcs"}, input)), hex(convert({"-w", "-to866"}, input)));
}

TEST(Entities, WhichRowAndWhichStepWins) {
  expect_runs({
      // Ё and ё match their byte rows, which have no code to look up, so the
      // entity stays whatever the target has.
      {"866 to KOI8-R", {"-tokoi8", "-html"}, B({0xF0, 0xF1}), "&Euml;&euml;"},
      {"KOI8-R to 1251", {"-koi8", "-tow", "-html"}, B({0xB3, 0xA3}), "&Euml;&euml;"},
      {"1251 to 1251", {"-w", "-tow", "-html"}, B({0xA8, 0xB8}), "&Euml;&euml;"},
      {"1251 to 1251 -nstr", {"-w", "-tow", "-html", "-nstr"}, B({0xA8, 0xB8}), B({0xA8, 0xB8})},
      {"1251 to 1251 -dhcs", {"-w", "-tow", "-html", "-dhcs"}, B({0xA8, 0xB8}), B({0xA8, 0xB8})},
      // The raw bytes 0xF0 and 0xF1 of the Latin code pages: a later code row
      // wins, an earlier one or none loses; a fallback ('+' for ±) replaces
      // the working byte before the rows see it.
      {"1252 eth, n tilde", {"-1252", "-tokoi8", "-html"}, B({0xF0, 0xF1}), "&eth;&ntilde;"},
      {"Mac Roman logo, O grave", {"-macroman", "-tokoi8", "-html"}, B({0xF0, 0xF1}), "&Euml;&euml;"},
      {"850 soft hyphen, plus-minus", {"-850", "-tokoi8", "-html"}, B({0xF0, 0xF1}), "&Euml;&plusmn;"},
      {"850 soft hyphen, plus-minus -nstr", {"-850", "-tokoi8", "-html", "-nstr"}, B({0xF0, 0xF1}), B({0xB3, '+'})},
      {"1254 g breve, n tilde", {"-1254", "-tokoi8", "-html"}, B({0xF0, 0xF1}), "&Euml;&ntilde;"},
      {"1252 eth, n tilde to ISO 8859-15", {"-1252", "-toiso8859_15", "-html"}, B({0xF0, 0xF1}), B({0xF0, 0xF1})},
      // The target's own byte wins over an entity.
      {"1252 to 1251", {"-1252", "-tow", "-html"}, B({0xAB, 0xE9, 0x80}), B({0xAB}) + "&eacute;" + B({0x88})},
      {"1252 to KOI8-R", {"-1252", "-tokoi8", "-html"}, B({0xA8, 0xDD, 0xEC, 0xED}), "&uml;&Yacute;&igrave;&iacute;"},
      {"KOI-7 looks nothing up", {"-w", "-tokoi7", "-html"}, B({0xA9, 0xB0}), "&copy;&deg;"},
      {"-dhcs keeps the other effects", {"-w", "-to866", "-html", "-dhcs"}, B({0xAB, 0xA9, 0x84, 0x93}), "``(C)``"},
      {"-nstr: the double-quote byte is the grave accent", {"-w", "-to866", "-html", "-nstr"}, B({0x84, 0x93, 0x94}),
       "```"},
      // The DOS control symbols get their codes after the entity step.
      {"DOS control symbols to KX", {"-html"}, B({0x15, 0x14, 0x07, 0x16}), B({0x15, 0x14, 0x07, '_'})},
      {"DOS control symbols to 1251", {"-tow", "-html"}, B({0x15, 0x14, 0x07, 0x16}), B({0xA7, 0xB6, 0xB7, 0x97})},
  });
}

}  // namespace
}  // namespace recodia::test
