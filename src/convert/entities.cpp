#include "convert/entities.hpp"

#include <algorithm>

#include "convert/html_entities.hpp"

namespace recodia {
namespace {

struct StandIn {
  Character character;
  std::u32string_view entity;
};

// Recodia's own, for characters HTML 4 names no entity for, which its users
// have always had: Ё ё read as Ë ë, and the euro sign by its number in Windows
// 1252. Every other entity names its own character.
constexpr StandIn kStandIns[] = {{U'Ё', U"&Euml;"}, {U'ё', U"&euml;"}, {U'€', U"&#128;"}};

}  // namespace

std::u32string_view html_entity(Character c) {
  for (const StandIn& s : kStandIns)
    if (s.character == c) return s.entity;
  const auto& rows = html_entities::kRows;
  const auto* row = std::lower_bound(rows.begin(), rows.end(), c,
                                     [](const html_entities::Row& r, Character v) { return r.character < v; });
  return row != rows.end() && row->character == c ? row->entity : std::u32string_view();
}

bool has_numeric_reference(Character c) {
  // A reference to a C1 control is read by browsers as a Windows 1252 sign
  // (&#128; shows €), and the replacement character stands for no character.
  return !(c >= 0x80 && c <= 0x9F) && c != kReplacementCharacter;
}

}  // namespace recodia
