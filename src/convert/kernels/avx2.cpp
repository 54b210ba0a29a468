// The byte tables and UTF-8 input 32 bytes at a time with AVX2. Compiled for
// any x86-64: the functions carry the instruction set themselves, and run
// only where the processor has it (dispatch.cpp).
#include <bit>
#include <cstring>

#include "convert/kernels/byte_tables.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define RECODIA_AVX2 __attribute__((target("avx2,bmi,popcnt")))

namespace recodia::kernels {
namespace {

// A 256-entry table as sixteen rows of sixteen, each row in both halves of
// a register, for pshufb.
struct Rows {
  __m256i row[16];
};

RECODIA_AVX2 Rows rows_of(const std::array<std::uint8_t, 256>& table) {
  Rows r;
  for (int h = 0; h < 16; ++h)
    r.row[h] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data() + 16 * h)));
  return r;
}

// table[v] for each byte: row h answers for the bytes 16h..16h+15 and gives
// 0 for the others. v - 16h, plus 0x70 with saturation, keeps its low nibble
// with bit 7 clear only for those (pshufb writes 0 where bit 7 is set).
// Where the plain bytes below 0x80 write themselves, only the upper eight
// rows are asked (the lower bytes all come to bit 7 there).
template <bool kAsciiAsItIs>
RECODIA_AVX2 inline __m256i look_up(const Rows& t, __m256i v) {
  const __m256i bias = _mm256_set1_epi8(0x70), step = _mm256_set1_epi8(16);
  constexpr int kFirst = kAsciiAsItIs ? 8 : 0;
  __m256i at = kAsciiAsItIs ? _mm256_sub_epi8(v, _mm256_set1_epi8(static_cast<char>(0x80))) : v;
  __m256i r = _mm256_shuffle_epi8(t.row[kFirst], _mm256_adds_epu8(at, bias));
  for (int h = kFirst + 1; h < 16; ++h) {
    at = _mm256_sub_epi8(at, step);
    r = _mm256_or_si256(r, _mm256_shuffle_epi8(t.row[h], _mm256_adds_epu8(at, bias)));
  }
  if constexpr (kAsciiAsItIs) r = _mm256_or_si256(r, _mm256_andnot_si256(_mm256_cmpgt_epi8(_mm256_setzero_si256(), v), v));
  return r;
}

// The lanes whose bytes are in the bit set: the column's bits by the low
// nibble, the row's bit by the high one.
RECODIA_AVX2 inline std::uint32_t members(__m256i low_rows, __m256i high_rows, __m256i v) {
  const __m256i nibble = _mm256_set1_epi8(15);
  const __m256i bit_of_row = _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16,
                                              32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
  const __m256i low = _mm256_and_si256(v, nibble);
  const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
  const __m256i column = _mm256_blendv_epi8(_mm256_shuffle_epi8(low_rows, low), _mm256_shuffle_epi8(high_rows, low), v);
  const __m256i bit = _mm256_shuffle_epi8(bit_of_row, high);
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(column, bit), bit)));
}

// Looks up 32 bytes at a time and stores them; a chunk with bytes that are
// not plain is stored again from a copy, in pieces between their entries.
template <bool kAsciiAsItIs>
RECODIA_AVX2 Progress convert_chunks(const ByteTables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                                     bool& opening) {
  std::uint8_t* const start = out;
  const Rows single = rows_of(t.single);
  const __m256i low_rows = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.unplain.data())));
  const __m256i high_rows =
      _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t.unplain.data() + 16)));
  alignas(32) std::uint8_t lanes[64] = {};
  std::size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i bytes = look_up<kAsciiAsItIs>(single, v);
    std::uint32_t others = members(low_rows, high_rows, v);
    if (others == 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), bytes);
      out += 32;
      continue;
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), bytes);
    unsigned from = 0;
    for (; others != 0; others &= others - 1) {
      const unsigned lane = static_cast<unsigned>(std::countr_zero(others));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanes + from)));
      out = place_entry(t, in, i + lane, opening, out + (lane - from));
      from = lane + 1;
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanes + from)));
    out += 32 - from;
  }
  if (i > 0) opening = t.opens_after[in[i - 1]] != 0;
  return {i, static_cast<std::size_t>(out - start)};
}

// Lanes kept, in order, for each mask of eight lanes: a left-pack with pshufb.
struct Packs {
  alignas(16) std::uint8_t of[256][16];
};
constexpr Packs make_packs() {
  Packs p{};
  for (int m = 0; m < 256; ++m) {
    int n = 0;
    for (int lane = 0; lane < 8; ++lane)
      if ((m >> lane) & 1) p.of[m][n++] = static_cast<std::uint8_t>(lane);
    for (; n < 16; ++n) p.of[m][n] = 0x80;
  }
  return p;
}
constexpr Packs kPacks = make_packs();

// Stores the lanes of `bytes` that `keep` marks, in order; returns how many.
RECODIA_AVX2 inline unsigned store_kept(std::uint8_t* out, __m256i bytes, std::uint32_t keep) {
  const __m128i halves[2] = {_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1)};
  const __m128i second = _mm_set1_epi8(8);
  std::uint8_t* o = out;
  for (int g = 0; g < 4; ++g) {
    const unsigned m = keep >> (8 * g) & 0xFF;
    __m128i index = _mm_load_si128(reinterpret_cast<const __m128i*>(kPacks.of[m]));
    if (g % 2 == 1) index = _mm_add_epi8(index, second);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(halves[g / 2], index));
    o += std::popcount(m);
  }
  return static_cast<unsigned>(o - out);
}

// Lanes from..to-1 (to at most 32).
inline std::uint32_t lanes_from_to(unsigned from, unsigned to) {
  return static_cast<std::uint32_t>(((std::uint64_t{1} << to) - 1) & ~((std::uint64_t{1} << from) - 1));
}

RECODIA_AVX2 inline std::uint32_t lanes_where(__m256i v, int mask, int value) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(
      _mm256_cmpeq_epi8(_mm256_and_si256(v, _mm256_set1_epi8(static_cast<char>(mask))), _mm256_set1_epi8(static_cast<char>(value)))));
}

RECODIA_AVX2 inline __m256i broadcast(const std::array<std::uint8_t, 32>& set, int half) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(set.data() + 16 * half)));
}

// As the 64-byte reader (avx512_vbmi2.cpp): lanes are whole characters when
// the high bytes are the leads C2 C3 D0..D3, each followed by a continuation
// byte; a lead's lane stands for its character, indexed by the code point's
// low byte in the Latin-1 or the Cyrillic table; continuation lanes and
// characters that write nothing are left out by a left-pack.
template <bool kAsciiAsItIs>
RECODIA_AVX2 Progress read_utf8_chunks(const Utf8Tables& t, const std::uint8_t* in, std::size_t size,
                                       std::uint8_t* out) {
  std::uint8_t* const start = out;
  const Rows latin = rows_of(t.single[0]), cyrillic = rows_of(t.single[1]);
  const __m256i not_one[2][2] = {{broadcast(t.not_one[0], 0), broadcast(t.not_one[0], 1)},
                                 {broadcast(t.not_one[1], 0), broadcast(t.not_one[1], 1)}};
  const __m256i nothing[2][2] = {{broadcast(t.nothing[0], 0), broadcast(t.nothing[0], 1)},
                                 {broadcast(t.nothing[1], 0), broadcast(t.nothing[1], 1)}};
  std::size_t i = 0;
  while (i + 33 <= size) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 1));
    const std::uint32_t high = static_cast<std::uint32_t>(_mm256_movemask_epi8(v));
    const std::uint32_t follows = lanes_where(v, 0xC0, 0x80), next_follows = lanes_where(next, 0xC0, 0x80);
    const std::uint32_t cyrillic_lanes = lanes_where(v, 0xFC, 0xD0);
    const std::uint32_t leads = lanes_where(v, 0xFE, 0xC2) | cyrillic_lanes;
    const __m256i two_byte = _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(v, _mm256_set1_epi8(3)), 6),
                                             _mm256_and_si256(next, _mm256_set1_epi8(0x3F)));
    const __m256i index = _mm256_blendv_epi8(v, two_byte, v);
    const __m256i is_cyrillic = _mm256_cmpeq_epi8(_mm256_and_si256(v, _mm256_set1_epi8(static_cast<char>(0xFC))),
                                                  _mm256_set1_epi8(static_cast<char>(0xD0)));
    const __m256i bytes = _mm256_blendv_epi8(look_up<kAsciiAsItIs>(latin, index), look_up<false>(cyrillic, index),
                                             is_cyrillic);
    const std::uint32_t characters = ~follows;
    const std::uint32_t writes_nothing = (members(nothing[0][0], nothing[0][1], index) & ~cyrillic_lanes) |
                                         (members(nothing[1][0], nothing[1][1], index) & cyrillic_lanes);
    const std::uint32_t writes_other = (members(not_one[0][0], not_one[0][1], index) & ~cyrillic_lanes) |
                                       (members(not_one[1][0], not_one[1][1], index) & cyrillic_lanes);
    const std::uint32_t unfit = (high & ~(leads | follows)) | (follows & ~(leads << 1)) | (leads & ~next_follows) |
                                (leads & (std::uint32_t{1} << 31));
    const unsigned taken = unfit == 0 ? 32 : static_cast<unsigned>(std::countr_zero(unfit));
    const std::uint32_t below = lanes_from_to(0, taken);
    const std::uint32_t kept = characters & ~writes_nothing & below;
    std::uint32_t several = writes_other & kept;
    if (several == 0) {
      out += store_kept(out, bytes, kept);
    } else {
      // The lanes between them in pieces, their entries between the pieces.
      unsigned from = 0;
      for (; several != 0; several &= several - 1) {
        const unsigned lane = static_cast<unsigned>(std::countr_zero(several));
        out += store_kept(out, bytes, kept & lanes_from_to(from, lane));
        const std::uint8_t* p = in + i + lane;
        const ByteOutcome& o =
            p[0] < 0x80 ? t.outcome[0][p[0]] : t.outcome[(p[0] & 0xFC) == 0xD0 ? 1 : 0][(p[0] & 3) << 6 | (p[1] & 0x3F)];
        std::memcpy(out, &o, sizeof o);
        out += o.length;
        from = lane + 1;
      }
      out += store_kept(out, bytes, kept & lanes_from_to(from, 32));
    }
    i += taken;
    if (taken < 32) break;
  }
  return {i, static_cast<std::size_t>(out - start)};
}

}  // namespace

Progress read_utf8_avx2(const Utf8Tables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
  return t.ascii_as_it_is ? read_utf8_chunks<true>(t, in, size, out) : read_utf8_chunks<false>(t, in, size, out);
}

Progress convert_avx2(const ByteTables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                      bool& opening) {
  return t.ascii_as_it_is ? convert_chunks<true>(t, in, size, out, opening)
                          : convert_chunks<false>(t, in, size, out, opening);
}

}  // namespace recodia::kernels

#else

namespace recodia::kernels {
Progress convert_avx2(const ByteTables&, const std::uint8_t*, std::size_t, std::uint8_t*, bool&) { return {0, 0}; }
Progress read_utf8_avx2(const Utf8Tables&, const std::uint8_t*, std::size_t, std::uint8_t*) { return {0, 0}; }
}  // namespace recodia::kernels

#endif
