#include "convert/utf16_detect.hpp"

#include <array>
#include <initializer_list>

#include "convert/pages.hpp"
#include "convert/registry.hpp"
#include "convert/utf16.hpp"

namespace recodia {
namespace {

// The characters of text: white space, and every character that one of the
// single-byte code pages has but the controls, as a set over the Basic
// Multilingual Plane.
using CharacterSet = std::array<std::uint64_t, 0x10000 / 64>;

constexpr bool is_control(Character c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

constexpr CharacterSet characters_of_text() {
  CharacterSet set{};
  const auto add = [&](Character c) { set[c / 64] |= std::uint64_t{1} << (c % 64); };
  for (Character c : {U'\t', U'\n', U'\f', U'\r'}) add(c);
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) continue;
    for (const Character c : read_page_of(e).characters)
      if (c < 0x10000 && !is_control(c)) add(c);
  }
  return set;
}

constexpr CharacterSet kTextCharacters = characters_of_text();

constexpr bool is_text_character(Character c) {
  return c < 0x10000 && (kTextCharacters[c / 64] >> (c % 64) & 1) != 0;
}

// What no text holds: NUL, the private use area, the noncharacters U+FFFE
// and U+FFFF (and ill-formed units, counted apart).
constexpr bool never_text(Character c) { return c == 0 || (c >= 0xE000 && c <= 0xF8FF) || c == 0xFFFE || c == 0xFFFF; }

// How a sample reads in one form: its characters, and of those how many are
// characters of text, how many have 0x00 or 0x04 as their high byte, and how
// many no text holds; and its ill-formed units.
struct Census {
  std::uint64_t characters = 0, text = 0, latin_or_cyrillic = 0, never = 0, ill_formed = 0;
};

std::uint32_t unit_at(const std::uint8_t* p, int size, bool big_endian) {
  std::uint32_t unit = 0;
  for (int i = 0; i < size; ++i) unit |= std::uint32_t{p[i]} << 8 * (big_endian ? size - 1 - i : i);
  return unit;
}

// Counts the characters after `skip` bytes (a byte-order mark); a unit or a
// surrogate pair cut by the end of the sample is forgiven. Without
// `to_the_end` it stops once the sample can no longer read as plain text.
Census take_census(std::span<const std::uint8_t> sample, std::size_t skip, int unit, bool big_endian, bool to_the_end) {
  Census c;
  const std::size_t size = static_cast<std::size_t>(unit);
  const std::uint64_t units = sample.size() / size;
  for (std::size_t i = skip; i + size <= sample.size(); i += size) {
    std::uint32_t u = unit_at(&sample[i], unit, big_endian);
    if (unit == 2 && is_high_surrogate(u)) {
      if (i + 2 * size > sample.size()) break;
      const std::uint32_t low = unit_at(&sample[i + size], unit, big_endian);
      if (is_low_surrogate(low)) u = from_surrogates(u, low), i += size;
    }
    if (!is_scalar_value(u)) {
      ++c.ill_formed;
    } else {
      ++c.characters;
      c.text += is_text_character(u);
      c.latin_or_cyrillic += (u >> 8) == 0 || (u >> 8) == 4;
      c.never += never_text(u);
    }
    if (!to_the_end && (c.ill_formed > 0 || (c.characters - c.text) * 16 > units ||
                        (c.characters - c.latin_or_cyrillic) * 2 > units))
      break;
  }
  return c;
}

// After a byte-order mark: anything but a sample whose characters are mostly
// what no text holds (a single-byte text that happens to begin with the
// bytes of one, "яю" in Windows 1251, reads as the private use area).
bool reads_after_mark(const Census& c) { return (c.never + c.ill_formed) * 2 <= c.characters; }

// Without one: well-formed, hardly a character outside text, and mostly
// ASCII, Latin-1 or Cyrillic.
bool reads_as_plain_text(const Census& c) {
  return c.characters > 0 && c.ill_formed == 0 && (c.characters - c.text) * 16 <= c.characters &&
         c.latin_or_cyrillic * 2 >= c.characters;
}

struct Candidate {
  EncodingId id;
  int unit;
  bool big_endian;
};
constexpr Candidate kCandidates[] = {{kUtf32, 4, false}, {kUtf32be, 4, true}, {kUtf16, 2, false}, {kUtf16be, 2, true}};

bool starts_with(std::span<const std::uint8_t> s, std::initializer_list<std::uint8_t> bytes) {
  if (s.size() < bytes.size()) return false;
  std::size_t i = 0;
  for (const std::uint8_t b : bytes)
    if (s[i++] != b) return false;
  return true;
}

std::optional<EncodingId> by_byte_order_mark(std::span<const std::uint8_t> sample) {
  const bool utf32le = starts_with(sample, {0xFF, 0xFE, 0, 0}), utf32be = starts_with(sample, {0, 0, 0xFE, 0xFF});
  if (utf32le || utf32be) {
    const Census c = take_census(sample, 4, 4, utf32be, true);
    if (c.ill_formed == 0 && reads_after_mark(c)) return utf32be ? kUtf32be : kUtf32;
  }
  const bool utf16le = starts_with(sample, {0xFF, 0xFE}), utf16be = starts_with(sample, {0xFE, 0xFF});
  if ((utf16le || utf16be) && reads_after_mark(take_census(sample, 2, 2, utf16be, true))) return utf16be ? kUtf16be : kUtf16;
  return std::nullopt;
}

}  // namespace

std::optional<Detection> detect_utf16_or_32(std::span<const std::uint8_t> sample) {
  if (const auto marked = by_byte_order_mark(sample)) return Detection{TextKind::utf16_or_32, *marked, true, 0};
  for (const Candidate& f : kCandidates)
    if (reads_as_plain_text(take_census(sample, 0, f.unit, f.big_endian, false)))
      return Detection{TextKind::utf16_or_32, f.id, false, 0};
  return std::nullopt;
}

bool reads_as_named(const Detection& found, EncodingId named) {
  return found.encoding == named || (found.byte_order_mark && encoding(named).form == encoding(found.encoding).form);
}

}  // namespace recodia
