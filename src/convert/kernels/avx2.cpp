// The byte tables 32 bytes at a time with AVX2. Compiled for any x86-64: the
// functions carry the instruction set themselves, and run only where the
// processor has it (dispatch.cpp).
#include <bit>

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

}  // namespace

Progress convert_avx2(const ByteTables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                      bool& opening) {
  return t.ascii_as_it_is ? convert_chunks<true>(t, in, size, out, opening)
                          : convert_chunks<false>(t, in, size, out, opening);
}

}  // namespace recodia::kernels

#else

namespace recodia::kernels {
Progress convert_avx2(const ByteTables&, const std::uint8_t*, std::size_t, std::uint8_t*, bool&) { return {0, 0}; }
}  // namespace recodia::kernels

#endif
