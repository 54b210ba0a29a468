#include "convert/pages.hpp"

#include <algorithm>
#include <cstddef>


namespace recodia {
namespace {

// The bytes that an encoding writes, each for one character.
constexpr CodePage written_page_of(const Encoding& e) {
  CodePage p = read_page_of(e);
  if (e.form == Form::kx) {
    for (std::size_t b : {0x86, 0xA6, 0xF0, 0xF1}) p.characters[b] = kNoCharacter;
  } else if (e.form == Form::koi7) {
    for (std::size_t b = 0x20; b < 0x40; ++b)
      if (b != 0x24) p.characters[b] = kNoCharacter;
  }
  // One byte per character, so that which byte a target writes is never a
  // matter of search order.
  std::array<Character, 256> sorted = p.characters;
  std::sort(sorted.begin(), sorted.end());
  for (std::size_t i = 1; i < 256; ++i)
    if (sorted[i] != kNoCharacter && sorted[i] == sorted[i - 1]) throw "a target would have two bytes for one character";
  return p;
}

template <class Make>
constexpr std::array<CodePage, kEncodingCount> pages_of(Make make) {
  std::array<CodePage, kEncodingCount> pages{};
  for (const Encoding& e : kEncodings) pages[static_cast<std::size_t>(e.id)] = make(e);
  return pages;
}

constexpr std::array<CodePage, kEncodingCount> kReadPages = pages_of(read_page_of);
constexpr std::array<CodePage, kEncodingCount> kWrittenPages = pages_of(written_page_of);

// The written pages by character, for a binary search: each character in the
// high 24 bits, its byte in the low 8, in ascending order.
constexpr std::array<std::array<std::uint32_t, 256>, kEncodingCount> index_written() {
  std::array<std::array<std::uint32_t, 256>, kEncodingCount> index{};
  for (std::size_t id = 0; id < kEncodingCount; ++id) {
    for (std::size_t b = 0; b < 256; ++b) index[id][b] = kWrittenPages[id].characters[b] << 8 | b;
    std::sort(index[id].begin(), index[id].end());
  }
  return index;
}

constexpr auto kWrittenIndex = index_written();

}  // namespace

const CodePage& read_page(EncodingId id) { return kReadPages[static_cast<std::size_t>(id)]; }

std::optional<std::uint8_t> written_byte(EncodingId id, Character c) {
  if (c >= kNoCharacter) return std::nullopt;
  const auto& index = kWrittenIndex[static_cast<std::size_t>(id)];
  const auto it = std::lower_bound(index.begin(), index.end(), c << 8);
  if (it == index.end() || *it >> 8 != c) return std::nullopt;
  return static_cast<std::uint8_t>(*it & 0xFF);
}

}  // namespace recodia
