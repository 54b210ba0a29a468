#include "convert/entities.hpp"

#include <cstddef>
#include <cstdint>

namespace recodia {
namespace {

constexpr std::array<EntityRow, kEntityRowCount> kEntities = {{
    {543, 0, "&laquo;"},  {559, 0, "&raquo;"},  {500, 0, "&#128;"},   {533, 0, "&iexcl;"},
    {534, 0, "&cent;"},   {535, 0, "&pound;"},  {536, 0, "&curren;"}, {537, 0, "&yen;"},
    {538, 0, "&brvbar;"}, {539, 0, "&sect;"},   {540, 0, "&uml;"},    {541, 0, "&copy;"},
    {542, 0, "&ordf;"},   {544, 0, "&not;"},    {545, 0, "&reg;"},    {546, 0, "&macr;"},
    {548, 0, "&deg;"},    {549, 0, "&plusmn;"}, {550, 0, "&sup2;"},   {551, 0, "&sup3;"},
    {552, 0, "&acute;"},  {860, 0, "&micro;"},  {554, 0, "&para;"},   {555, 0, "&middot;"},
    {556, 0, "&cedil;"},  {557, 0, "&sup1;"},   {560, 0, "&frac14;"}, {561, 0, "&frac12;"},
    {562, 0, "&frac34;"}, {563, 0, "&iquest;"}, {700, 0, "&Agrave;"}, {701, 0, "&Aacute;"},
    {702, 0, "&Acirc;"},  {703, 0, "&Atilde;"}, {704, 0, "&Auml;"},   {705, 0, "&Aring;"},
    {706, 0, "&AElig;"},  {707, 0, "&Ccedil;"}, {708, 0, "&Egrave;"}, {709, 0, "&Eacute;"},
    {710, 0, "&Ecirc;"},  {711, 0, "&Euml;"},
    {0, 0xF0, "&Euml;"},  // the pivot letter Ё, given the entity of Ë
    {712, 0, "&Igrave;"}, {713, 0, "&Iacute;"}, {714, 0, "&Icirc;"},  {715, 0, "&Iuml;"},
    {570, 0, "&ETH;"},    {717, 0, "&Ntilde;"}, {718, 0, "&Ograve;"}, {719, 0, "&Oacute;"},
    {720, 0, "&Ocirc;"},  {721, 0, "&Otilde;"}, {722, 0, "&Ouml;"},   {723, 0, "&times;"},
    {724, 0, "&Oslash;"}, {725, 0, "&Ugrave;"}, {726, 0, "&Uacute;"}, {727, 0, "&Ucirc;"},
    {728, 0, "&Uuml;"},   {571, 0, "&Yacute;"}, {572, 0, "&THORN;"},  {731, 0, "&szlig;"},
    {732, 0, "&agrave;"}, {733, 0, "&aacute;"}, {734, 0, "&acirc;"},  {735, 0, "&atilde;"},
    {736, 0, "&auml;"},   {737, 0, "&aring;"},  {738, 0, "&aelig;"},  {739, 0, "&ccedil;"},
    {740, 0, "&egrave;"}, {741, 0, "&eacute;"}, {742, 0, "&ecirc;"},  {743, 0, "&euml;"},
    {0, 0xF1, "&euml;"},  // the pivot letter ё, given the entity of ë
    {744, 0, "&igrave;"}, {745, 0, "&iacute;"}, {746, 0, "&icirc;"},  {747, 0, "&iuml;"},
    {573, 0, "&eth;"},    {749, 0, "&ntilde;"}, {750, 0, "&ograve;"}, {751, 0, "&oacute;"},
    {752, 0, "&ocirc;"},  {753, 0, "&otilde;"}, {754, 0, "&ouml;"},   {331, 0, "&divide;"},
    {756, 0, "&oslash;"}, {757, 0, "&ugrave;"}, {758, 0, "&uacute;"}, {759, 0, "&ucirc;"},
    {760, 0, "&uuml;"},   {574, 0, "&yacute;"}, {575, 0, "&thorn;"},  {763, 0, "&yuml;"},
    {503, 0, "&fnof;"},   {521, 0, "&bull;"},   {505, 0, "&hellip;"}, {658, 0, "&frasl;"},
    {622, 0, "&part;"},   {624, 0, "&prod;"},   {322, 0, "&radic;"},  {616, 0, "&infin;"},
    {626, 0, "&int;"},
    {323, 0, "&cong;"},  // almost equal to, under the entity HTML has for approximately equal
    {613, 0, "&ne;"},     {324, 0, "&le;"},     {325, 0, "&ge;"},     {525, 0, "&trade;"},
    {510, 0, "&Scaron;"}, {526, 0, "&scaron;"}, {531, 0, "&Yuml;"},   {689, 0, "&circ;"},
    {690, 0, "&tilde;"},  {522, 0, "&ndash;"},  {523, 0, "&mdash;"},  {517, 0, "&lsquo;"},
    {518, 0, "&rsquo;"},  {502, 0, "&sbquo;"},  {519, 0, "&ldquo;"},  {520, 0, "&rdquo;"},
    {504, 0, "&bdquo;"},  {506, 0, "&dagger;"}, {507, 0, "&Dagger;"}, {509, 0, "&permil;"},
    {511, 0, "&lsaquo;"}, {527, 0, "&rsaquo;"},
}};

constexpr std::size_t kIndexSize = kLastSymbolCode - kFirstSymbolCode + 1;
constexpr std::int16_t kNoRow = -1;

struct EntityIndex {
  std::array<std::int16_t, kIndexSize> row_of_code{};
  std::array<std::int16_t, 256> row_of_byte{};
};

constexpr EntityIndex build_index() {
  EntityIndex index{};
  for (auto& r : index.row_of_code) r = kNoRow;
  for (auto& r : index.row_of_byte) r = kNoRow;
  for (std::size_t i = 0; i < kEntities.size(); ++i) {
    const EntityRow& row = kEntities[i];
    auto& slot = row.code != 0 ? index.row_of_code[static_cast<std::size_t>(row.code - kFirstSymbolCode)]
                               : index.row_of_byte[row.byte];
    if (slot != kNoRow) throw "an entity row matches twice";
    slot = static_cast<std::int16_t>(i);
  }
  return index;
}

constexpr EntityIndex kIndex = build_index();

}  // namespace

const std::array<EntityRow, kEntityRowCount>& entity_table() { return kEntities; }

void apply_html_entity(ByteInProgress& byte) {
  std::int16_t row = kIndex.row_of_byte[byte.working];
  if (byte.code >= kFirstSymbolCode && byte.code <= kLastSymbolCode) {
    const std::int16_t code_row = kIndex.row_of_code[static_cast<std::size_t>(byte.code - kFirstSymbolCode)];
    if (code_row > row) row = code_row;  // the later row in the table wins
  }
  if (row != kNoRow) byte.attach(kEntities[static_cast<std::size_t>(row)].entity);
}

}  // namespace recodia
