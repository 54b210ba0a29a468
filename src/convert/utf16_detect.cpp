#include "convert/utf16_detect.hpp"

#include <algorithm>
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
// many no text holds; and its ill-formed units. The same for its start.
struct Census {
  std::uint64_t characters = 0, text = 0, latin_or_cyrillic = 0, never = 0, ill_formed = 0;
  std::uint64_t start = 0, start_text = 0, start_latin_or_cyrillic = 0;
};

// The start that must read as text on its own, so that a sample that does
// not is given up after a few characters.
constexpr std::uint64_t kStart = 256;

template <int kUnit, bool kBigEndian>
std::uint32_t unit_at(const std::uint8_t* p) {
  std::uint32_t unit = 0;
  for (int i = 0; i < kUnit; ++i) unit |= std::uint32_t{p[i]} << 8 * (kBigEndian ? kUnit - 1 - i : i);
  return unit;
}

// Counts the characters after `skip` bytes (a byte-order mark); a unit or a
// surrogate pair cut by the end of the sample is forgiven. Without
// `to_the_end` it stops once the sample can no longer read as plain text.
template <int kUnit, bool kBigEndian>
Census census_of(std::span<const std::uint8_t> sample, std::size_t skip, bool to_the_end) {
  Census c;
  constexpr std::size_t size = kUnit;
  const std::uint64_t units = sample.size() / size;
  for (std::size_t i = skip; i + size <= sample.size(); i += size) {
    std::uint32_t u = unit_at<kUnit, kBigEndian>(&sample[i]);
    if (kUnit == 2 && is_high_surrogate(u)) {
      if (i + 2 * size > sample.size()) break;
      const std::uint32_t low = unit_at<kUnit, kBigEndian>(&sample[i + size]);
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
    if (c.characters <= kStart) c.start = c.characters, c.start_text = c.text, c.start_latin_or_cyrillic = c.latin_or_cyrillic;
    const std::uint64_t bound = c.characters <= kStart ? std::min(units, kStart) : units;
    if (!to_the_end && (c.ill_formed > 0 || (c.characters - c.text) * 16 > bound ||
                        (c.characters - c.latin_or_cyrillic) * 2 > bound))
      break;
  }
  return c;
}

Census take_census(std::span<const std::uint8_t> sample, std::size_t skip, int unit, bool big_endian, bool to_the_end) {
  if (unit == 4) return big_endian ? census_of<4, true>(sample, skip, to_the_end) : census_of<4, false>(sample, skip, to_the_end);
  return big_endian ? census_of<2, true>(sample, skip, to_the_end) : census_of<2, false>(sample, skip, to_the_end);
}

// After a byte-order mark: anything but a sample whose characters are mostly
// what no text holds (a single-byte text that happens to begin with the
// bytes of one, "яю" in Windows 1251, reads as the private use area).
bool reads_after_mark(const Census& c) { return (c.never + c.ill_formed) * 2 <= c.characters; }

// Without one: well-formed, hardly a character outside text, and mostly
// ASCII, Latin-1 or Cyrillic, at the start and in the whole sample.
bool reads_as_plain_text(const Census& c) {
  const auto plain = [](std::uint64_t characters, std::uint64_t text, std::uint64_t latin_or_cyrillic) {
    return (characters - text) * 16 <= characters && latin_or_cyrillic * 2 >= characters;
  };
  return c.characters > 0 && c.ill_formed == 0 && plain(c.characters, c.text, c.latin_or_cyrillic) &&
         plain(c.start, c.start_text, c.start_latin_or_cyrillic);
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
  const auto answer = [](EncodingId id, bool marked) {
    Detection d;
    d.kind = TextKind::utf16_or_32;
    d.encoding = id;
    d.byte_order_mark = marked;
    return d;
  };
  if (const auto marked = by_byte_order_mark(sample)) return answer(*marked, true);
  for (const Candidate& f : kCandidates)
    if (reads_as_plain_text(take_census(sample, 0, f.unit, f.big_endian, false))) return answer(f.id, false);
  return std::nullopt;
}

bool reads_as_named(const Detection& found, EncodingId named) {
  return found.encoding == named || (found.byte_order_mark && encoding(named).form == encoding(found.encoding).form);
}

}  // namespace recodia
