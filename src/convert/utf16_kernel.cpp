#include "convert/utf16_kernel.hpp"

#include <cstring>

#include "convert/utf16.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RECODIA_X86 1
#endif

namespace recodia::utf16_kernel {
namespace {

// Copies the whole entry and advances by its length: no branch per character.
inline void put(const ByteOutcome& o, std::uint8_t*& out) {
  std::memcpy(out, &o, sizeof o);
  out += o.length;
}

inline std::uint32_t unit16(const std::uint8_t* p, bool big_endian) {
  return big_endian ? std::uint32_t{p[0]} << 8 | p[1] : std::uint32_t{p[1]} << 8 | p[0];
}

inline void put16(std::uint32_t u, bool big_endian, std::uint8_t*& out) {
  out[big_endian ? 1 : 0] = static_cast<std::uint8_t>(u);
  out[big_endian ? 0 : 1] = static_cast<std::uint8_t>(u >> 8);
  out += 2;
}

Progress utf16_to_utf8_portable(bool big_endian, const AsciiOutcomes& ascii, const std::uint8_t* in,
                                std::size_t size, std::uint8_t* out) {
  std::size_t i = 0;
  std::uint8_t* o = out;
  while (size - i >= 2) {
    const std::uint32_t u = unit16(in + i, big_endian);
    if (u < 0x80) {
      put(ascii[u], o);
    } else if (u < 0x800) {
      o[0] = static_cast<std::uint8_t>(0xC0 | u >> 6);
      o[1] = static_cast<std::uint8_t>(0x80 | (u & 0x3F));
      o += 2;
    } else if (!is_high_surrogate(u) && !is_low_surrogate(u)) {
      encode_utf8(u, [&](std::uint8_t b) { *o++ = b; });
    } else {
      if (!is_high_surrogate(u) || size - i < 4) break;
      const std::uint32_t low = unit16(in + i + 2, big_endian);
      if (!is_low_surrogate(low)) break;
      encode_utf8(from_surrogates(u, low), [&](std::uint8_t b) { *o++ = b; });
      i += 2;
    }
    i += 2;
  }
  return {i, static_cast<std::size_t>(o - out)};
}

// The length of a well-formed UTF-8 sequence at `p` (of `left` bytes), and
// its character; 0 where it is ill-formed or cut short.
inline int read_utf8(const std::uint8_t* p, std::size_t left, Character& c) {
  const std::uint8_t b = p[0];
  const auto cont = [&](std::size_t k) { return left > k && (p[k] & 0xC0) == 0x80; };
  if (b >= 0xC2 && b <= 0xDF && cont(1)) {
    c = (b & 0x1Fu) << 6 | (p[1] & 0x3Fu);
    return 2;
  }
  // E0 and ED narrow the second byte (no overlong forms, no surrogates).
  if (b >= 0xE0 && b <= 0xEF && cont(1) && cont(2) && (b != 0xE0 || p[1] >= 0xA0) && (b != 0xED || p[1] < 0xA0)) {
    c = (b & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
    return 3;
  }
  // F0 and F4 narrow it too (no overlong forms, nothing above U+10FFFF).
  if (b >= 0xF0 && b <= 0xF4 && cont(1) && cont(2) && cont(3) && (b != 0xF0 || p[1] >= 0x90) &&
      (b != 0xF4 || p[1] < 0x90)) {
    c = (b & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
    return 4;
  }
  return 0;
}

Progress utf8_to_utf16_portable(bool big_endian, const AsciiOutcomes& ascii, const std::uint8_t* in,
                                std::size_t size, std::uint8_t* out) {
  std::size_t i = 0;
  std::uint8_t* o = out;
  while (i < size) {
    if (in[i] < 0x80) {
      put(ascii[in[i++]], o);
      continue;
    }
    Character c = 0;
    const int length = read_utf8(in + i, size - i, c);
    if (length == 0) break;
    if (c < 0x10000) {
      put16(c, big_endian, o);
    } else {
      put16(0xD800 + ((c - 0x10000) >> 10), big_endian, o);
      put16(0xDC00 + ((c - 0x10000) & 0x3FF), big_endian, o);
    }
    i += static_cast<std::size_t>(length);
  }
  return {i, static_cast<std::size_t>(o - out)};
}

#ifdef RECODIA_X86

// For each mask of eight lanes, the shuffle that keeps the first byte of
// every 16-bit lane and the second byte of the lanes whose bit is clear, in
// order: eight units of one or two bytes packed together.
struct Compaction {
  alignas(16) std::array<std::array<std::uint8_t, 16>, 256> shuffle{};
  std::array<std::uint8_t, 256> length{};
};

constexpr Compaction first_bytes_and_seconds_where_clear() {
  Compaction c;
  for (int m = 0; m < 256; ++m) {
    int n = 0;
    for (int lane = 0; lane < 8; ++lane) {
      c.shuffle[m][n++] = static_cast<std::uint8_t>(2 * lane);
      if (!(m >> lane & 1)) c.shuffle[m][n++] = static_cast<std::uint8_t>(2 * lane + 1);
    }
    c.length[m] = static_cast<std::uint8_t>(n);
    while (n < 16) c.shuffle[m][n++] = 0x80;
  }
  return c;
}

// For each mask of eight 16-bit lanes, the shuffle that keeps the lanes
// whose bit is set, in order (byte-swapped for big-endian output).
constexpr Compaction lanes_where_set(bool swapped) {
  Compaction c;
  for (int m = 0; m < 256; ++m) {
    int n = 0;
    for (int lane = 0; lane < 8; ++lane) {
      if (!(m >> lane & 1)) continue;
      c.shuffle[m][n++] = static_cast<std::uint8_t>(2 * lane + (swapped ? 1 : 0));
      c.shuffle[m][n++] = static_cast<std::uint8_t>(2 * lane + (swapped ? 0 : 1));
    }
    c.length[m] = static_cast<std::uint8_t>(n);
    while (n < 16) c.shuffle[m][n++] = 0x80;
  }
  return c;
}

constexpr Compaction kOneOrTwoBytes = first_bytes_and_seconds_where_clear();
constexpr Compaction kKeptLanes = lanes_where_set(false);
constexpr Compaction kKeptLanesSwapped = lanes_where_set(true);

#define RECODIA_SSSE3 __attribute__((target("ssse3")))

RECODIA_SSSE3 inline __m128i load16(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
RECODIA_SSSE3 inline void store16(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

RECODIA_SSSE3 Progress utf16_to_utf8_ssse3(bool big_endian, const AsciiOutcomes& ascii, const std::uint8_t* in,
                                           std::size_t size, std::uint8_t* out) {
  const __m128i swap = _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  const __m128i zero = _mm_setzero_si128();
  std::size_t i = 0;
  std::uint8_t* o = out;
  while (size - i >= 16) {
    __m128i v = load16(in + i);
    if (big_endian) v = _mm_shuffle_epi8(v, swap);
    const __m128i line_end = _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('\r')), _mm_cmpeq_epi16(v, _mm_set1_epi16('\n')));
    const __m128i is_ascii = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFF80))), zero);
    const __m128i below_800 = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xF800))), zero);
    const int ascii_lanes = _mm_movemask_epi8(is_ascii);
    if (_mm_movemask_epi8(line_end) == 0 && ascii_lanes == 0xFFFF) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(v, v));
      o += 8;
      i += 16;
      continue;
    }
    if (_mm_movemask_epi8(line_end) != 0 || _mm_movemask_epi8(below_800) != 0xFFFF) {
      // A line end, a character of three bytes or a surrogate: these eight
      // units one at a time (a pair that crosses their end is taken next).
      const Progress some = utf16_to_utf8_portable(big_endian, ascii, in + i, 16, o);
      if (some.taken == 0) break;
      i += some.taken;
      o += some.written;
      continue;
    }
    // Two bytes for each unit: 110xxxxx 10xxxxxx, the first in the low byte
    // of the lane; a unit below 0x80 is its own first byte, and its second
    // is dropped by the shuffle.
    const __m128i first = _mm_or_si128(_mm_srli_epi16(v, 6), _mm_set1_epi16(0xC0));
    const __m128i second = _mm_slli_epi16(_mm_or_si128(_mm_and_si128(v, _mm_set1_epi16(0x3F)), _mm_set1_epi16(0x80)), 8);
    const __m128i lanes = _mm_or_si128(_mm_and_si128(is_ascii, v), _mm_andnot_si128(is_ascii, _mm_or_si128(first, second)));
    const int m = _mm_movemask_epi8(_mm_packs_epi16(is_ascii, zero));
    store16(o, _mm_shuffle_epi8(lanes, _mm_load_si128(reinterpret_cast<const __m128i*>(kOneOrTwoBytes.shuffle[m].data()))));
    o += kOneOrTwoBytes.length[m];
    i += 16;
  }
  const Progress rest = utf16_to_utf8_portable(big_endian, ascii, in + i, size - i, o);
  return {i + rest.taken, static_cast<std::size_t>(o - out) + rest.written};
}

RECODIA_SSSE3 Progress utf8_to_utf16_ssse3(bool big_endian, const AsciiOutcomes& ascii, const std::uint8_t* in,
                                           std::size_t size, std::uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const Compaction& kept = big_endian ? kKeptLanesSwapped : kKeptLanes;
  std::size_t i = 0;
  std::uint8_t* o = out;
  while (size - i >= 16) {
    const __m128i v = load16(in + i);
    const int line_end = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
    const int high = _mm_movemask_epi8(v);
    if (line_end == 0 && high == 0) {
      __m128i low = _mm_unpacklo_epi8(v, zero), upper = _mm_unpackhi_epi8(v, zero);
      if (big_endian) low = _mm_unpacklo_epi8(zero, v), upper = _mm_unpackhi_epi8(zero, v);
      store16(o, low);
      store16(o + 16, upper);
      o += 32;
      i += 16;
      continue;
    }
    // Leads of two bytes (C2..DF) and continuations; anything else above
    // ASCII (C0, C1, E0..FF) is left to the portable loop.
    const int leads = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xE0))), _mm_set1_epi8(static_cast<char>(0xC0))));
    const int continuations = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xC0))), _mm_set1_epi8(static_cast<char>(0x80))));
    const int overlong = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xFE))), _mm_set1_epi8(static_cast<char>(0xC0))));
    // A lead in the last place waits for the next chunk; every other lead is
    // followed by a continuation, and every continuation follows a lead.
    const int taken = leads & 0x8000 ? 15 : 16;
    const int whole_leads = leads & 0x7FFF;
    if (line_end != 0 || overlong != 0 || (leads | continuations) != high || continuations != (whole_leads << 1)) {
      const Progress some = utf8_to_utf16_portable(big_endian, ascii, in + i, 16, o);
      if (some.taken == 0) break;
      i += some.taken;
      o += some.written;
      continue;
    }
    // Each place that ends a character: its own byte when ASCII, else the
    // lead before it and itself.
    const __m128i before = _mm_slli_si128(v, 1);
    const int ends = ~whole_leads & ((1 << taken) - 1);
    for (int half = 0; half < 2; ++half) {
      const __m128i b = half == 0 ? _mm_unpacklo_epi8(v, zero) : _mm_unpackhi_epi8(v, zero);
      const __m128i a = half == 0 ? _mm_unpacklo_epi8(before, zero) : _mm_unpackhi_epi8(before, zero);
      const __m128i two = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(a, _mm_set1_epi16(0x1F)), 6), _mm_and_si128(b, _mm_set1_epi16(0x3F)));
      const __m128i is_ascii = _mm_cmpeq_epi16(_mm_and_si128(b, _mm_set1_epi16(0x80)), zero);
      const __m128i units = _mm_or_si128(_mm_and_si128(is_ascii, b), _mm_andnot_si128(is_ascii, two));
      const int m = ends >> (8 * half) & 0xFF;
      store16(o, _mm_shuffle_epi8(units, _mm_load_si128(reinterpret_cast<const __m128i*>(kept.shuffle[m].data()))));
      o += kept.length[m];
    }
    i += static_cast<std::size_t>(taken);
  }
  const Progress rest = utf8_to_utf16_portable(big_endian, ascii, in + i, size - i, o);
  return {i + rest.taken, static_cast<std::size_t>(o - out) + rest.written};
}

bool has_ssse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

#endif

}  // namespace

std::span<const Level> available() {
#ifdef RECODIA_X86
  static const bool ssse3 = has_ssse3();
  static constexpr Level kLevels[] = {Level::portable, Level::ssse3};
  return {kLevels, ssse3 ? 2u : 1u};
#else
  static constexpr Level kLevels[] = {Level::portable};
  return kLevels;
#endif
}

Progress utf16_to_utf8(Level level, bool big_endian, const AsciiOutcomes& ascii, const std::uint8_t* in,
                       std::size_t size, std::uint8_t* out) {
#ifdef RECODIA_X86
  if (level == Level::ssse3) return utf16_to_utf8_ssse3(big_endian, ascii, in, size, out);
#endif
  (void)level;
  return utf16_to_utf8_portable(big_endian, ascii, in, size, out);
}

Progress utf8_to_utf16(Level level, bool big_endian, const AsciiOutcomes& ascii, const std::uint8_t* in,
                       std::size_t size, std::uint8_t* out) {
#ifdef RECODIA_X86
  if (level == Level::ssse3) return utf8_to_utf16_ssse3(big_endian, ascii, in, size, out);
#endif
  (void)level;
  return utf8_to_utf16_portable(big_endian, ascii, in, size, out);
}

}  // namespace recodia::utf16_kernel
