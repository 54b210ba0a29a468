// The substitutes as data: every entity is the one HTML 4 has for its
// character (a few stand-ins listed), and every fallback is what the
// converter of old wrote for the character (tests/data/legacy-outcomes.txt.gz).
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "rule.hpp"

namespace recodia::test {
namespace {

TEST(Substitutes, EntitiesAreThoseOfHtml4ForTheirCharacter) {
  std::map<std::u32string, Character> html4;
  std::ifstream file(std::string(RECODIA_SOURCE_DIR) + "/tests/data/html4-entities.txt");
  for (std::string name, code; file >> name;) {
    if (name.starts_with("#")) {
      std::getline(file, code);
      continue;
    }
    file >> code;
    std::u32string entity = U"&";
    entity.append(name.begin(), name.end()).push_back(';');
    html4[entity] = static_cast<Character>(std::stoul(code, nullptr, 16));
  }
  ASSERT_EQ(html4.size(), 252u);
  // Entities that name a look-alike: Ё ё those of Ë ë, ≈ that of ≅, º and ∙
  // those of ° and ·; and the euro sign by its Windows 1252 number.
  const std::map<Character, std::u32string> stand_ins = {{U'Ё', U"&Euml;"}, {U'ё', U"&euml;"}, {U'≈', U"&cong;"},
                                                         {U'º', U"&deg;"},  {U'∙', U"&middot;"}, {U'€', U"&#128;"}};
  int with_entity = 0;
  for (const Encoding& e : kEncodings) {
    for (int b = 0x80; b < 0x100; ++b) {
      const Character c = read_page(e.id).characters[static_cast<std::size_t>(b)];
      const std::u32string entity(html_entity(c));
      if (entity.empty()) continue;
      ++with_entity;
      if (const auto it = stand_ins.find(c); it != stand_ins.end()) {
        EXPECT_EQ(entity == it->second, true) << e.name << " " << b;
      } else {
        EXPECT_EQ(html4.count(entity) == 1 && html4[entity] == c, true) << e.name << " byte " << b;
      }
    }
  }
  EXPECT_GT(with_entity, 500);
}

// The converter of old did no lookup for KX, so what it wrote there for a
// character beyond ASCII that it spelled in ASCII (or, for a Cyrillic letter,
// in Russian letters) was that character's fallback, under every switch that
// picks one: the strings, "-nstr", "-32", and "-html -dhcs" (the HTML forms).
TEST(Substitutes, FallbacksAreWhatTheOldConverterWrote) {
  int compared = 0;
  for (const LegacyRun& run : legacy_runs()) {
    const std::vector<std::string>& sw = run.switches;
    const bool picks_fallbacks = sw.size() == 2 || sw[2] == "-32" || sw[2] == "-nstr" ||
                                 (sw[2] == "-html" && sw.size() > 3 && sw[3] == "-dhcs");
    if (sw[1] != "-tokx" || sw[0] == "-kx" || sw[0] == "-koi7" || !picks_fallbacks) continue;
    const auto s = resolved(std::vector<std::string_view>(run.switches.begin(), run.switches.end()));
    for (int b = 0x80; b < 0x100; ++b) {
      const Character c = read_page(s.source).characters[static_cast<std::size_t>(b)];
      const std::u32string old = read_back(kKx, run.outcomes[static_cast<std::size_t>(b)]);
      const bool russian = (c >= U'А' && c <= U'я') || c == U'Ё' || c == U'ё';
      // "-32" of old wrote the bytes 0xB7 and 0xF9 as '$' and '.', whatever they were.
      const bool remapped = !s.special_symbols && (b == 0xB7 || b == 0xF9);
      if (russian || remapped || old.empty() || !std::ranges::all_of(old, [c](Character x) {
            return is_printable_ascii(x) || is_dos_glyph(x) || (is_cyrillic_letter(c) && is_cyrillic_letter(x));
          }))
        continue;
      const auto fallback = apply_fallback(c, s, true);
      ASSERT_TRUE(fallback.has_value()) << run.switches[0] << " byte " << b;
      const std::u32string written = s.strings_allowed && !fallback->text.empty() ? std::u32string(fallback->text)
                                                                                  : std::u32string(1, fallback->single);
      EXPECT_EQ(written == old, true) << run.switches[0] << " " << run.switches.back() << " byte " << b;
      ++compared;
    }
  }
  EXPECT_GT(compared, 2000);
}

}  // namespace
}  // namespace recodia::test
