#include "convert/converter.hpp"

#include "convert/entities.hpp"
#include "convert/fallbacks.hpp"
#include "convert/pages.hpp"
#include "convert/registry.hpp"
#include "convert/transliteration.hpp"
#include "convert/utf16.hpp"
#include "convert/utf8.hpp"

namespace recodia {

// What a byte or character of the source stands for.
struct Converter::Read {
  Character character = kNoCharacter;
  std::uint8_t byte = 0;
  // A substitute of the byte's own (the DOS control symbols): written where
  // the target lacks the character, and always when there is none.
  const Substitute* own = nullptr;
  bool ascii_as_is = false;  // written as the very byte where the target reads it alike
  bool entity = true;        // may be written as an HTML entity
};

namespace {

// DOS text writes these signs with the glyphs of control bytes; a smiley or a
// double exclamation mark is spelled out, and no entity stands for any of them.
constexpr Substitute kSmiley{U":-)", 'O'};
constexpr Substitute kDoubleExclamation{U"!!", '!'};
constexpr Substitute kUnderscore{{}, '_'};

struct ControlSymbol {
  std::uint8_t byte;
  Character character;
  const Substitute* own;
};
constexpr ControlSymbol kControlSymbols[] = {
    {0x01, kNoCharacter, &kSmiley}, {0x02, kNoCharacter, &kSmiley}, {0x13, kNoCharacter, &kDoubleExclamation},
    {0x1C, kNoCharacter, &kUnderscore}, {kDashGlyph, U'—', &kUnderscore}, {kBulletGlyph, U'•', nullptr},
    {kParagraphGlyph, U'¶', nullptr}, {kSectionGlyph, U'§', nullptr},
};

// A quotation mark after a space or a control byte below 0x0E opens; so it
// does after the signs that DOS text writes with its bullet glyph 0x07.
bool opens_quotation_after(Character c, bool special_symbols) {
  return c == ' ' || c < 0x0E || (special_symbols && (c == U'•' || c == U'·' || c == U'∙'));
}

// Renders characters in the target's bytes.
class Writer {
 public:
  Writer(const Encoding& target, const ConversionSettings& s)
      : target_(target),
        read_(read_page(target.id)),
        settings_(s),
        no_quote_signs_(s.no_quote_signs && target.form == Form::transliteration) {}

  bool has(Character c) const {
    if (is_unicode(target_)) return is_scalar_value(c);
    if (target_.form == Form::transliteration) return c < 0x80 || !transliteration_of(c).empty();
    return written_byte(target_.id, c).has_value();
  }

  // Whether the target reads this ASCII byte as itself (KOI-7 reads 0x24 as ¤).
  bool reads_as_itself(Character c) const { return c < 0x80 && read_.characters[c] == c; }

  bool writes_unicode() const { return is_unicode(target_); }

  // A byte of the target's own; in UTF-16 the unit of that ASCII character.
  void byte(std::uint8_t b) {
    if (target_.form == Form::utf16) character(b);
    else out_.put(b);
  }

  // A character that the target has, as the target writes it.
  void character(Character c) {
    const auto put = [this](std::uint8_t b) { out_.put(b); };
    if (target_.form == Form::utf8) {
      encode_utf8(c, put);
    } else if (target_.form == Form::utf16) {
      encode_utf16(c, has_trait(target_, kBigEndian), put);
    } else if (target_.form == Form::transliteration && c >= 0x80) {
      for (Character latin : transliteration_of(c, no_quote_signs_)) byte(static_cast<std::uint8_t>(latin));
    } else if (const auto b = written_byte(target_.id, c)) {
      byte(*b);
    }
  }

  // A string keeps its ASCII as it is: KOI-7 writes the punctuation of a
  // string in its Latin half, that of a character in its Cyrillic half.
  void text(std::u32string_view s) {
    for (Character c : s) {
      if (reads_as_itself(c)) byte(static_cast<std::uint8_t>(c));
      else character(c);
    }
  }

  void latin(Character c) { text(transliteration_of(c, no_quote_signs_)); }

  void substitute(const Substitute& sub) {
    const bool whole = settings_.strings_allowed && !sub.text.empty();
    if (sub.latin) {
      const std::u32string_view letters = sub.text.empty() ? std::u32string_view(&sub.single, 1) : sub.text;
      if (whole) {
        for (Character c : letters) latin(c);
      } else {
        character(transliteration_of(letters.front(), no_quote_signs_).front());
      }
    } else if (whole && sub.text.size() > 1) {
      text(sub.text);
    } else if (const Character one = whole ? sub.text.front() : sub.single; one != kNoCharacter) {
      character(one);  // a substitute of one character is written as that character
    }
  }

  const Converted& result() const { return out_; }

 private:
  const Encoding& target_;
  const CodePage& read_;
  const ConversionSettings& settings_;
  const bool no_quote_signs_;  // "-nqt" holds for the transliteration target alone
  Converted out_;
};

// Whether a fallback reads as what it stands for in the target: printable
// ASCII, Cyrillic letters that the target has, or a DOS glyph (which the
// fallback holds only for a DOS target).
bool readable(const Substitute& sub, const Writer& w) {
  auto fits = [&](Character c) {
    return is_printable_ascii(c) || is_dos_glyph(c) || (is_cyrillic_letter(c) && w.has(c));
  };
  for (Character c : sub.text)
    if (!fits(c)) return false;
  return sub.single == kNoCharacter || fits(sub.single);
}

// Recodia's own substitute for a character that the target lacks: its
// fallback where it is readable there, or for a Cyrillic letter in a target
// without Cyrillic letters its Latin letters.
std::optional<Substitute> own_substitute(Character c, const Encoding& target, const Writer& w,
                                         const ConversionSettings& s) {
  const std::optional<Substitute> fallback = apply_fallback(c, s, has_trait(target, kDosGlyphs));
  if (fallback && readable(*fallback, w)) return *fallback;
  if (is_cyrillic_letter(c) && !has_cyrillic_letters(target)) {
    if (const std::u32string_view latin = transliteration_of(c); !latin.empty()) return Substitute{latin, latin.front()};
    if (fallback) return Substitute{fallback->text, fallback->single, true};  // Љ as L`
  }
  return std::nullopt;
}

// Where Recodia has nothing of its own: iconv's ASCII transliteration, else "?".
Substitute last_resort(Character c) {
  if (const auto ascii = ascii_transliteration_of(c)) return {*ascii, ascii->empty() ? kNoCharacter : ascii->front()};
  return {U"?", '?'};
}

// "&#N;" for a character that HTML 4 names no entity for: exact in any page.
std::u32string_view numeric_entity(Character c, std::array<Character, 12>& room) {
  std::size_t n = room.size();
  room[--n] = ';';
  do {
    room[--n] = static_cast<Character>('0' + c % 10);
    c /= 10;
  } while (c != 0);
  room[--n] = '#';
  room[--n] = '&';
  return {room.data() + n, room.size() - n};
}

// The one byte that "-nstr" writes for a substitute.
Character single_of(const Substitute& sub) {
  if (!sub.latin) return sub.single;
  return transliteration_of(sub.text.empty() ? sub.single : sub.text.front()).front();
}

}  // namespace

Converter::Converter(const ConversionSettings& settings)
    : settings_(settings),
      turns_quotes_(settings.smart_quotes && !settings.source_text),
      same_page_(read_page(settings.source).characters == read_page(settings.target).characters) {}

bool Converter::history_matters_for(std::uint8_t input) const {
  // (The control symbols that stand in for some bytes are never quotation marks.)
  const Character c = read_page(settings_.source).characters[input];
  return turns_quotes_ && (c == '"' || c == '\'');
}

Converted Converter::convert_byte(std::uint8_t input) {
  const Encoding& source = encoding(settings_.source);
  Read read{read_page(source.id).characters[input], input};
  read.ascii_as_is = has_trait(source, kAsciiAsIs) && input < 0x80;
  if (settings_.special_symbols && has_trait(source, kDosControlSymbols)) {
    for (const ControlSymbol& symbol : kControlSymbols) {
      if (symbol.byte != input) continue;
      read.character = symbol.character;
      read.own = symbol.own;
      read.entity = false;
    }
  }
  return convert(read);
}

Converted Converter::convert_character(Character c) {
  const bool ascii = c < 0x80;
  return convert({c, static_cast<std::uint8_t>(ascii ? c : 0), nullptr,
                  ascii && has_trait(encoding(settings_.source), kAsciiAsIs)});
}

Converted Converter::convert(const Read& read) {
  const ConversionSettings& s = settings_;
  const Encoding& target = encoding(s.target);
  const Character c = read.character;
  const bool opening = opening_;
  opening_ = opens_quotation_after(c, s.special_symbols);

  Writer w(target, s);
  if (c == kNoCharacter) {
    // A byte that stands for no character: kept where the target reads it
    // alike, else a question mark (the replacement character in Unicode).
    if (read.own != nullptr) w.substitute(*read.own);
    else if (w.writes_unicode()) w.character(kReplacementCharacter);
    else if (same_page_) w.byte(read.byte);
    else w.character('?');
    return w.result();
  }
  if (turns_quotes_ && !read.ascii_as_is && (c == '"' || c == '\'')) {
    const Character typographic = c == '"' ? (opening ? U'«' : U'»') : (opening ? U'‘' : U'’');
    if (w.has(typographic) && (!s.final_target || Writer(encoding(*s.final_target), s).has(typographic))) {
      w.character(typographic);
      return w.result();
    }
  }
  if (read.ascii_as_is && w.reads_as_itself(c)) {
    w.byte(read.byte);
  } else if (w.has(c)) {
    w.character(c);
  } else if (read.own != nullptr) {
    w.substitute(*read.own);
  } else {
    const std::optional<Substitute> own = own_substitute(c, target, w, s);
    Substitute sub = own ? *own : last_resort(c);
    std::array<Character, 12> room;
    if (s.html && !s.no_html_entities && read.entity) {
      if (const std::u32string_view entity = html_entity(c); !entity.empty()) sub = {entity, single_of(sub)};
      else if (!own && has_numeric_reference(c)) sub = {numeric_entity(c, room), single_of(sub)};
    }
    w.substitute(sub);
  }
  return w.result();
}

}  // namespace recodia
