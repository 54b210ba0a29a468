#include "convert/entities.hpp"

#include <algorithm>
#include <array>

namespace recodia {
namespace {

struct EntityRow {
  Character character;
  std::u32string_view entity;
};

// HTML 4's entities, and a few stand-ins: Ё ё take those of Ë ë, ≈ that of ≅,
// and the look-alikes º and ∙ those of ° and ·. The euro sign is written by
// its number in Windows 1252.
constexpr EntityRow kEntities[] = {
    {U'«', U"&laquo;"}, {U'»', U"&raquo;"}, {U'€', U"&#128;"}, {U'¡', U"&iexcl;"}, {U'¢', U"&cent;"},
    {U'£', U"&pound;"}, {U'¤', U"&curren;"}, {U'¥', U"&yen;"}, {U'¦', U"&brvbar;"}, {U'§', U"&sect;"},
    {U'¨', U"&uml;"}, {U'©', U"&copy;"}, {U'ª', U"&ordf;"}, {U'¬', U"&not;"}, {U'®', U"&reg;"},
    {U'¯', U"&macr;"}, {U'°', U"&deg;"}, {U'º', U"&deg;"}, {U'±', U"&plusmn;"}, {U'²', U"&sup2;"},
    {U'³', U"&sup3;"}, {U'´', U"&acute;"}, {U'µ', U"&micro;"}, {U'¶', U"&para;"}, {U'·', U"&middot;"},
    {U'∙', U"&middot;"}, {U'¸', U"&cedil;"}, {U'¹', U"&sup1;"}, {U'¼', U"&frac14;"}, {U'½', U"&frac12;"},
    {U'¾', U"&frac34;"}, {U'¿', U"&iquest;"}, {U'À', U"&Agrave;"}, {U'Á', U"&Aacute;"}, {U'Â', U"&Acirc;"},
    {U'Ã', U"&Atilde;"}, {U'Ä', U"&Auml;"}, {U'Å', U"&Aring;"}, {U'Æ', U"&AElig;"}, {U'Ç', U"&Ccedil;"},
    {U'È', U"&Egrave;"}, {U'É', U"&Eacute;"}, {U'Ê', U"&Ecirc;"}, {U'Ë', U"&Euml;"}, {U'Ё', U"&Euml;"},
    {U'Ì', U"&Igrave;"}, {U'Í', U"&Iacute;"}, {U'Î', U"&Icirc;"}, {U'Ï', U"&Iuml;"}, {U'Ð', U"&ETH;"},
    {U'Ñ', U"&Ntilde;"}, {U'Ò', U"&Ograve;"}, {U'Ó', U"&Oacute;"}, {U'Ô', U"&Ocirc;"}, {U'Õ', U"&Otilde;"},
    {U'Ö', U"&Ouml;"}, {U'×', U"&times;"}, {U'Ø', U"&Oslash;"}, {U'Ù', U"&Ugrave;"}, {U'Ú', U"&Uacute;"},
    {U'Û', U"&Ucirc;"}, {U'Ü', U"&Uuml;"}, {U'Ý', U"&Yacute;"}, {U'Þ', U"&THORN;"}, {U'ß', U"&szlig;"},
    {U'à', U"&agrave;"}, {U'á', U"&aacute;"}, {U'â', U"&acirc;"}, {U'ã', U"&atilde;"}, {U'ä', U"&auml;"},
    {U'å', U"&aring;"}, {U'æ', U"&aelig;"}, {U'ç', U"&ccedil;"}, {U'è', U"&egrave;"}, {U'é', U"&eacute;"},
    {U'ê', U"&ecirc;"}, {U'ë', U"&euml;"}, {U'ё', U"&euml;"}, {U'ì', U"&igrave;"}, {U'í', U"&iacute;"},
    {U'î', U"&icirc;"}, {U'ï', U"&iuml;"}, {U'ð', U"&eth;"}, {U'ñ', U"&ntilde;"}, {U'ò', U"&ograve;"},
    {U'ó', U"&oacute;"}, {U'ô', U"&ocirc;"}, {U'õ', U"&otilde;"}, {U'ö', U"&ouml;"}, {U'÷', U"&divide;"},
    {U'ø', U"&oslash;"}, {U'ù', U"&ugrave;"}, {U'ú', U"&uacute;"}, {U'û', U"&ucirc;"}, {U'ü', U"&uuml;"},
    {U'ý', U"&yacute;"}, {U'þ', U"&thorn;"}, {U'ÿ', U"&yuml;"}, {U'ƒ', U"&fnof;"}, {U'•', U"&bull;"},
    {U'…', U"&hellip;"}, {U'⁄', U"&frasl;"}, {U'∂', U"&part;"}, {U'∏', U"&prod;"}, {U'√', U"&radic;"},
    {U'∞', U"&infin;"}, {U'∫', U"&int;"}, {U'≈', U"&cong;"}, {U'≠', U"&ne;"}, {U'≤', U"&le;"},
    {U'≥', U"&ge;"}, {U'™', U"&trade;"}, {U'Š', U"&Scaron;"}, {U'š', U"&scaron;"}, {U'Ÿ', U"&Yuml;"},
    {U'ˆ', U"&circ;"}, {U'˜', U"&tilde;"}, {U'–', U"&ndash;"}, {U'—', U"&mdash;"}, {U'‘', U"&lsquo;"},
    {U'’', U"&rsquo;"}, {U'‚', U"&sbquo;"}, {U'“', U"&ldquo;"}, {U'”', U"&rdquo;"}, {U'„', U"&bdquo;"},
    {U'†', U"&dagger;"}, {U'‡', U"&Dagger;"}, {U'‰', U"&permil;"}, {U'‹', U"&lsaquo;"}, {U'›', U"&rsaquo;"},
};

}  // namespace

std::u32string_view html_entity(Character c) {
  const EntityRow* row = std::find_if(std::begin(kEntities), std::end(kEntities), [c](const EntityRow& r) {
    return r.character == c;
  });
  return row == std::end(kEntities) ? std::u32string_view() : row->entity;
}

}  // namespace recodia
