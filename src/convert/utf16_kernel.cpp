#include "convert/utf16_kernel.hpp"

#include <algorithm>
#include <cstring>
#include <initializer_list>

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

#define RECODIA_AVX2 __attribute__((target("avx2")))

// For each mask of eight lanes, a shuffle of 16-bit lanes and the length it
// keeps.
struct Compaction {
  alignas(16) std::array<std::array<std::uint8_t, 16>, 256> shuffle{};
  std::array<std::uint8_t, 256> length{};
};

// Keeps the first byte of every lane and the second byte of the lanes whose
// bit is clear, in order: eight units of one or two bytes of UTF-8.
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

// Keeps the lanes whose bit is set, in order, byte-swapped for big-endian
// output: the UTF-16 units of the places that end a character.
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

RECODIA_AVX2 inline void store16(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

RECODIA_AVX2 inline __m128i shuffle_by(const Compaction& c, int m, __m128i v) {
  return _mm_shuffle_epi8(v, _mm_load_si128(reinterpret_cast<const __m128i*>(c.shuffle[m].data())));
}

// The bytes of the first `k` of eight lanes of one or two bytes: the others
// counted as one byte each, and taken off again.
inline int length_of_first(int m, int k) { return kOneOrTwoBytes.length[(m | (0xFF << k)) & 0xFF] - (8 - k); }

// For each place, the shuffle that takes out the byte there.
constexpr std::array<std::array<std::uint8_t, 16>, 16> byte_taken_out() {
  std::array<std::array<std::uint8_t, 16>, 16> t{};
  for (int at = 0; at < 16; ++at)
    for (int i = 0; i < 16; ++i) t[at][i] = static_cast<std::uint8_t>(i < at ? i : i + 1 < 16 ? i + 1 : 0x80);
  return t;
}
alignas(16) constexpr std::array<std::array<std::uint8_t, 16>, 16> kByteTakenOut = byte_taken_out();

// One bit per 16-bit lane of a comparison.
RECODIA_AVX2 inline unsigned lanes_of(__m256i m) {
  const unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_packs_epi16(m, _mm256_setzero_si256())));
  return (bits & 0xFF) | (bits >> 8 & 0xFF00);
}

// Where CR and LF are written by the wide loop: `others` it leaves to the
// portable loop, `dropped` write nothing; the rest are ASCII like any other.
struct LineEndPlaces {
  unsigned others = 0, dropped = 0;
};
// `last` is the bit of the last place: a CR there may pair with an LF beyond.
inline LineEndPlaces line_end_places(LineEndRule rule, std::uint64_t cr, std::uint64_t lf, std::uint64_t last) {
  switch (rule) {
    case LineEndRule::stop: return {static_cast<unsigned>(cr | lf), 0};
    case LineEndRule::as_they_are: return {};
    case LineEndRule::drop_cr: return {0, static_cast<unsigned>(cr)};
    case LineEndRule::keep_cr_lf: {
      const std::uint64_t paired_cr = cr & lf >> 1, paired_lf = lf & cr << 1;
      return {static_cast<unsigned>((lf & ~paired_lf) | (cr & last)), static_cast<unsigned>(cr & ~paired_cr & ~last)};
    }
  }
  return {};
}

// Eight lanes of one or two bytes packed, the first `k` of them kept, those
// of `dropped` (CRs, one byte each) taken out; the bytes written.
RECODIA_AVX2 inline int put_lanes(__m128i lanes, int ascii, int k, unsigned dropped, std::uint8_t* o) {
  __m128i packed = shuffle_by(kOneOrTwoBytes, ascii, lanes);
  int length = length_of_first(ascii, k);
  for (unsigned d = dropped & ((1u << k) - 1); d != 0;) {
    const int lane = 31 - __builtin_clz(d);  // the last first, so that the places before stay
    d &= ~(1u << lane);
    packed = _mm_shuffle_epi8(packed, _mm_load_si128(reinterpret_cast<const __m128i*>(kByteTakenOut[length_of_first(ascii, lane)].data())));
    --length;
  }
  store16(o, packed);
  return length;
}

// Sixteen units at a time while they are below U+0800: two bytes each
// (110xxxxx 10xxxxxx, the first in the low byte of the lane), or one where
// below 0x80, each 128-bit half packed on its own; CR and LF as the rule
// allows. Where a unit is anything else, the units before it are kept, and
// it is left to the portable loop.
RECODIA_AVX2 Progress utf16_to_utf8_avx2(bool big_endian, const AsciiOutcomes& ascii, LineEndRule line_ends,
                                         const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
  const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4, 7, 6, 9,
                                        8, 11, 10, 13, 12, 15, 14);
  const __m256i cr = _mm256_set1_epi16('\r'), lf = _mm256_set1_epi16('\n');
  const __m256i last_ascii = _mm256_set1_epi16(0x7F), last_two_bytes = _mm256_set1_epi16(0x7FF);
  const __m256i lead_bits = _mm256_set1_epi16(0xC0), continuation_bits = _mm256_set1_epi16(0x80), low6 = _mm256_set1_epi16(0x3F);
  std::size_t i = 0;
  std::uint8_t* o = out;
  while (size - i >= 32) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    if (big_endian) v = _mm256_shuffle_epi8(v, swap);
    const __m256i is_ascii = _mm256_cmpeq_epi16(_mm256_max_epu16(v, last_ascii), last_ascii);
    const __m256i line_end = _mm256_or_si256(_mm256_cmpeq_epi16(v, cr), _mm256_cmpeq_epi16(v, lf));
    const bool below_800 = _mm256_movemask_epi8(_mm256_cmpeq_epi16(_mm256_max_epu16(v, last_two_bytes), last_two_bytes)) == -1;
    LineEndPlaces places;
    if (_mm256_movemask_epi8(line_end) != 0)
      places = line_end_places(line_ends, lanes_of(_mm256_cmpeq_epi16(v, cr)), lanes_of(_mm256_cmpeq_epi16(v, lf)), 0x8000);
    if (below_800 && (places.others | places.dropped) == 0 && _mm256_movemask_epi8(is_ascii) == -1) {
      const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0x08);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(packed));
      o += 16;
      i += 32;
      continue;
    }
    unsigned others = places.others;
    if (!below_800)
      others |= ~lanes_of(_mm256_cmpeq_epi16(_mm256_max_epu16(v, last_two_bytes), last_two_bytes)) & 0xFFFF;
    const int good = __builtin_ctz(others | 0x10000);  // units before the first other one
    if (good > 0) {
      const __m256i first = _mm256_or_si256(_mm256_srli_epi16(v, 6), lead_bits);
      const __m256i second = _mm256_slli_epi16(_mm256_or_si256(_mm256_and_si256(v, low6), continuation_bits), 8);
      const __m256i lanes = _mm256_blendv_epi8(_mm256_or_si256(first, second), v, is_ascii);
      const unsigned m = lanes_of(is_ascii);
      o += put_lanes(_mm256_castsi256_si128(lanes), static_cast<int>(m & 0xFF), std::min(good, 8), places.dropped & 0xFF, o);
      if (good > 8)
        o += put_lanes(_mm256_extracti128_si256(lanes, 1), static_cast<int>(m >> 8), good - 8, places.dropped >> 8, o);
      i += 2 * static_cast<std::size_t>(good);
    }
    if (good < 16) {
      // The other one (with its low surrogate, or the LF after a CR).
      const Progress some = utf16_to_utf8_portable(big_endian, ascii, in + i, std::min<std::size_t>(4, size - i), o);
      if (some.taken == 0) break;
      i += some.taken;
      o += some.written;
    }
  }
  const Progress rest = utf16_to_utf8_portable(big_endian, ascii, in + i, size - i, o);
  return {i + rest.taken, static_cast<std::size_t>(o - out) + rest.written};
}

// The constants of the UTF-8 loop, made once.
struct Utf8Constants {
  __m256i cr, lf, below_lead, lead_low, lead_high, low5, low6, ascii_limit;
};

// Sixteen places as 16-bit units (their own byte where ASCII, else the lead
// before them and themselves), those that end a character packed together.
RECODIA_AVX2 inline void put_ends(__m128i here, __m128i before, unsigned ends, const Utf8Constants& k,
                                  const Compaction& kept, std::uint8_t*& o) {
  const __m256i b = _mm256_cvtepu8_epi16(here), a = _mm256_cvtepu8_epi16(before);
  const __m256i two = _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(a, k.low5), 6), _mm256_and_si256(b, k.low6));
  const __m256i units = _mm256_blendv_epi8(two, b, _mm256_cmpgt_epi16(k.ascii_limit, b));
  const int low = static_cast<int>(ends & 0xFF), high = static_cast<int>(ends >> 8 & 0xFF);
  store16(o, shuffle_by(kept, low, _mm256_castsi256_si128(units)));
  o += kept.length[low];
  store16(o, shuffle_by(kept, high, _mm256_extracti128_si256(units, 1)));
  o += kept.length[high];
}

RECODIA_AVX2 inline std::uint64_t bits_of(__m256i m) { return static_cast<std::uint32_t>(_mm256_movemask_epi8(m)); }

// Thirty-two bytes at a time while they are ASCII and characters of two
// bytes (C2..DF and a continuation), and no line end. Where anything else
// comes (or a lead without its continuation, or a continuation without its
// lead), the characters before it are kept and it is left to the portable loop.
RECODIA_AVX2 Progress utf8_to_utf16_avx2(bool big_endian, const AsciiOutcomes& ascii, LineEndRule line_ends,
                                         const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
  const Compaction& kept = big_endian ? kKeptLanesSwapped : kKeptLanes;
  // Signed bytes: continuations 0x80..0xBF are below -64, leads C2..DF between -63 and -32.
  const Utf8Constants k{_mm256_set1_epi8('\r'), _mm256_set1_epi8('\n'),   _mm256_set1_epi8(-64),
                        _mm256_set1_epi8(-63),  _mm256_set1_epi8(-32),    _mm256_set1_epi16(0x1F),
                        _mm256_set1_epi16(0x3F), _mm256_set1_epi16(0x80)};
  std::size_t i = 0;
  std::uint8_t* o = out;
  while (size - i >= 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    LineEndPlaces places;
    if (bits_of(_mm256_or_si256(_mm256_cmpeq_epi8(v, k.cr), _mm256_cmpeq_epi8(v, k.lf))) != 0)
      places = line_end_places(line_ends, bits_of(_mm256_cmpeq_epi8(v, k.cr)), bits_of(_mm256_cmpeq_epi8(v, k.lf)), 0x80000000u);
    const std::uint64_t high = bits_of(v);
    if ((places.others | places.dropped | high) == 0) {
      __m256i low = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(v)), upper = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, 1));
      if (big_endian) {
        low = _mm256_slli_epi16(low, 8);
        upper = _mm256_slli_epi16(upper, 8);
      }
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), low);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + 32), upper);
      o += 64;
      i += 32;
      continue;
    }
    const std::uint64_t continuations = bits_of(_mm256_cmpgt_epi8(k.below_lead, v));
    const std::uint64_t leads = bits_of(_mm256_and_si256(_mm256_cmpgt_epi8(v, k.lead_low), _mm256_cmpgt_epi8(k.lead_high, v)));
    // The first place that is no part of such a character: a line end the
    // rule leaves, C0, C1 or E0..FF, or where leads and continuations do not
    // pair (bit 32: a lead last, whose continuation is beyond).
    const std::uint64_t other =
        places.others | (high & ~(leads | continuations)) | (continuations ^ leads << 1) | std::uint64_t{1} << 32;
    const int first_other = __builtin_ctzll(other);
    // The characters that end before it; a lead just before it waits.
    const int taken = first_other > 0 && (leads >> (first_other - 1) & 1) ? first_other - 1 : first_other;
    if (taken > 0) {
      const unsigned ends = static_cast<unsigned>(~leads & ~std::uint64_t{places.dropped} & ((std::uint64_t{1} << taken) - 1));
      // Each byte's neighbour before it, across the halves.
      const __m256i before = _mm256_alignr_epi8(v, _mm256_permute2x128_si256(v, v, 0x08), 15);
      put_ends(_mm256_castsi256_si128(v), _mm256_castsi256_si128(before), ends & 0xFFFF, k, kept, o);
      if (taken > 16) put_ends(_mm256_extracti128_si256(v, 1), _mm256_extracti128_si256(before, 1), ends >> 16, k, kept, o);
      i += static_cast<std::size_t>(taken);
    }
    if (first_other < 32) {
      const Progress some = utf8_to_utf16_portable(big_endian, ascii, in + i, std::min<std::size_t>(4, size - i), o);
      if (some.taken == 0) break;
      i += some.taken;
      o += some.written;
    }
  }
  const Progress rest = utf8_to_utf16_portable(big_endian, ascii, in + i, size - i, o);
  return {i + rest.taken, static_cast<std::size_t>(o - out) + rest.written};
}

bool has_avx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

#endif

}  // namespace

LineEndRule line_end_rule(const AsciiOutcomes& ascii, bool utf16, bool big_endian) {
  const auto written = [&](std::initializer_list<Character> characters) {
    ByteOutcome o;
    for (const Character c : characters) {
      if (utf16) put_unit(c, 2, big_endian, [&](std::uint8_t b) { o.bytes[o.length++] = b; });
      else o.bytes[o.length++] = static_cast<std::uint8_t>(c);
    }
    return o;
  };
  const auto is = [](const ByteOutcome& a, const ByteOutcome& b) {
    return a.length == b.length && std::equal(a.bytes.begin(), a.bytes.begin() + a.length, b.bytes.begin());
  };
  const ByteOutcome& cr = ascii['\r'];
  const ByteOutcome& lf = ascii['\n'];
  if (is(cr, written({'\r'})) && is(lf, written({'\n'}))) return LineEndRule::as_they_are;
  if (is(cr, written({})) && is(lf, written({'\n'}))) return LineEndRule::drop_cr;
  if (is(cr, written({})) && is(lf, written({'\r', '\n'}))) return LineEndRule::keep_cr_lf;
  return LineEndRule::stop;
}

std::span<const Level> available() {
#ifdef RECODIA_X86
  static constexpr Level kLevels[] = {Level::portable, Level::avx2};
  static const std::size_t count = has_avx2() ? 2 : 1;
  return {kLevels, count};
#else
  static constexpr Level kLevels[] = {Level::portable};
  return kLevels;
#endif
}

Progress utf16_to_utf8(Level level, bool big_endian, const AsciiOutcomes& ascii, LineEndRule line_ends,
                       const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
#ifdef RECODIA_X86
  if (level == Level::avx2) return utf16_to_utf8_avx2(big_endian, ascii, line_ends, in, size, out);
#endif
  (void)level, (void)line_ends;
  return utf16_to_utf8_portable(big_endian, ascii, in, size, out);
}

Progress utf8_to_utf16(Level level, bool big_endian, const AsciiOutcomes& ascii, LineEndRule line_ends,
                       const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
#ifdef RECODIA_X86
  if (level == Level::avx2) return utf8_to_utf16_avx2(big_endian, ascii, line_ends, in, size, out);
#endif
  (void)level, (void)line_ends;
  return utf8_to_utf16_portable(big_endian, ascii, in, size, out);
}

}  // namespace recodia::utf16_kernel
