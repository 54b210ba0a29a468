#include "convert/kernels/avx512_vbmi2.hpp"

#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define RECODIA_WIDE_LOOP 1
#define RECODIA_WIDE_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt,bmi,bmi2")))
#endif

namespace recodia::kernels::avx512 {

#ifdef RECODIA_WIDE_LOOP
namespace {


bool has_wide_registers_impl() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
         __builtin_cpu_supports("bmi2");
}

// A 256-entry byte table in four registers.
struct WideTable {
  __m512i quarter[4];
};

RECODIA_WIDE_TARGET inline WideTable load_table(const std::array<std::uint8_t, 256>& t) {
  return {{_mm512_load_si512(t.data()), _mm512_load_si512(t.data() + 64), _mm512_load_si512(t.data() + 128),
           _mm512_load_si512(t.data() + 192)}};
}

// table[v] for each of the 64 bytes of v: two 128-entry permutes, chosen by bit 7.
RECODIA_WIDE_TARGET inline __m512i look_up(const WideTable& t, __m512i v, __mmask64 high) {
  const __m512i low_half = _mm512_permutex2var_epi8(t.quarter[0], v, t.quarter[1]);
  const __m512i high_half = _mm512_permutex2var_epi8(t.quarter[2], v, t.quarter[3]);
  return _mm512_mask_blend_epi8(high, low_half, high_half);
}

// Stores bytes first.. of `bytes` from `out` on, and after them whatever the
// register holds, which the next store overwrites.
RECODIA_WIDE_TARGET inline void store_from_lane(std::uint8_t* out, unsigned first, __m512i bytes,
                                                __m512i lane_numbers) {
  const __m512i from_first = _mm512_add_epi8(lane_numbers, _mm512_set1_epi8(static_cast<char>(first)));
  _mm512_storeu_si512(out, _mm512_maskz_permutexvar_epi8(~__mmask64{0}, from_first, bytes));
}

// How many of `lanes` lie below `lane` (all of them for lane 64).
RECODIA_WIDE_TARGET inline unsigned count_below(std::uint64_t lanes, unsigned lane) {
  return static_cast<unsigned>(std::popcount(_bzhi_u64(lanes, lane)));
}

// Where the output of a chunk has got to: the next byte, and how many of the
// packed bytes are in place.
struct Placement {
  std::uint8_t* out;
  unsigned done;
};

// Puts the entry of `lane` after the packed bytes of the lanes before it, and
// the packed bytes after it behind the entry. With kMaybeNone, lane 64 stands
// for no lane and writes nothing, without a branch.
template <bool kWithContext, bool kMaybeNone>
RECODIA_WIDE_TARGET inline void place_entry(Placement& at, unsigned lane, std::uint64_t writes_one,
                                            std::uint64_t opening_lanes, const std::uint8_t* chunk,
                                            const std::array<std::array<ByteOutcome, 256>, 2>& outcome,
                                            __m512i packed, __m512i lane_numbers) {
  const unsigned before = count_below(writes_one, lane);
  at.out += before - at.done;
  const unsigned l = lane & 63;
  const ByteOutcome& o = outcome[kWithContext ? (opening_lanes >> l) & 1 : 0][chunk[l]];
  std::memcpy(at.out, &o, sizeof o);
  at.out += kMaybeNone ? o.length * ((lane >> 6) ^ 1) : o.length;
  store_from_lane(at.out, before, packed, lane_numbers);
  at.done = before;
}


// 64 bytes at a time: look up what each byte writes when it writes one byte,
// and what kind of outcome it has; pack the bytes of the lanes that write one
// (which drops those that write nothing), and put the entries of the lanes
// that write several in between, in order.
//
// A mispredicted branch costs more here than the work of several lanes, so up
// to kSlots lanes that write several are placed without one (lane 64 standing
// for none); only a chunk with more takes the loop. The quotation context of
// byte i is whether byte i-1 opens a quotation: a table lookup too, shifted by
// one lane.
template <bool kWithContext, int kSlots>
RECODIA_WIDE_TARGET Progress convert_wide(const Tables& t, const std::uint8_t* in, std::size_t size,
                                          std::uint8_t* out, bool& opening) {
  std::uint8_t* const start = out;
  const WideTable single_closing = load_table(t.single[0]);
  const WideTable kind_closing = load_table(t.kind[0]);
  const WideTable single_opening = load_table(t.single[1]);
  const WideTable kind_opening = load_table(t.kind[1]);
  const WideTable opens = load_table(t.opens_after);
  const __m512i one = _mm512_set1_epi8(static_cast<char>(kWritesOne));
  const __m512i several = _mm512_set1_epi8(static_cast<char>(kWritesSeveral));
  const __m512i lane_numbers = _mm512_set_epi8(
      63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35,
      34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5,
      4, 3, 2, 1, 0);
  std::uint64_t carry = opening ? 1 : 0;  // context of the next block's first byte
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    const std::uint8_t* const chunk = in + i;
    const __m512i v = _mm512_loadu_si512(chunk);
    const __mmask64 high = _mm512_movepi8_mask(v);
    __m512i bytes = look_up(single_closing, v, high);
    __m512i kinds = look_up(kind_closing, v, high);
    std::uint64_t opening_lanes = 0;
    if constexpr (kWithContext) {
      const std::uint64_t opens_lanes = _mm512_test_epi8_mask(look_up(opens, v, high), one);
      opening_lanes = (opens_lanes << 1) | carry;
      carry = opens_lanes >> 63;
      bytes = _mm512_mask_blend_epi8(opening_lanes, bytes, look_up(single_opening, v, high));
      kinds = _mm512_mask_blend_epi8(opening_lanes, kinds, look_up(kind_opening, v, high));
    }
    const std::uint64_t writes_one = _mm512_test_epi8_mask(kinds, one);
    std::uint64_t writes_several = _mm512_test_epi8_mask(kinds, several);
    const __m512i packed = _mm512_maskz_compress_epi8(writes_one, bytes);
    const unsigned total = static_cast<unsigned>(std::popcount(writes_one));
    _mm512_storeu_si512(out, packed);
    Placement at{out, 0};
    if (std::popcount(writes_several) > kSlots) [[unlikely]] {
      for (; writes_several != 0; writes_several &= writes_several - 1) {
        place_entry<kWithContext, false>(at, static_cast<unsigned>(std::countr_zero(writes_several)), writes_one,
                                         opening_lanes, chunk, t.outcome, packed, lane_numbers);
      }
    } else {
      for (int k = 0; k < kSlots; ++k, writes_several &= writes_several - 1) {
        place_entry<kWithContext, true>(at, static_cast<unsigned>(std::countr_zero(writes_several)), writes_one,
                                        opening_lanes, chunk, t.outcome, packed, lane_numbers);
      }
    }
    out = at.out + (total - at.done);
  }
  if constexpr (kWithContext) {
    opening = carry != 0;
  } else if (i > 0) {
    opening = t.opens_after[in[i - 1]] != 0;
  }
  return {i, static_cast<std::size_t>(out - start)};
}

template <bool kWithContext>
RECODIA_WIDE_TARGET Progress convert_wide(const Tables& t, int slots, const std::uint8_t* in,
                                          std::size_t size, std::uint8_t* out, bool& opening) {
  switch (slots) {
    case 0: return convert_wide<kWithContext, 0>(t, in, size, out, opening);
    case 1: return convert_wide<kWithContext, 1>(t, in, size, out, opening);
    default: return convert_wide<kWithContext, 3>(t, in, size, out, opening);
  }
}


// 64 bytes at a time where every byte writes at most four: look up the four
// bytes and the length of each lane's outcome, then, for a quarter of the
// lanes at a time, lay their four bytes side by side and keep the first
// `length` of each (compress), so that the quarter's output is one store.
template <bool kWithContext>
RECODIA_WIDE_TARGET Progress convert_expanding(const ExpandingTables& t, const std::uint8_t* in, std::size_t size,
                                               std::uint8_t* out, bool& opening) {
  std::uint8_t* const start = out;
  WideTable bytes[2][4];
  WideTable lengths[2];
  for (int context = 0; context < 2; ++context) {
    for (int k = 0; k < 4; ++k) bytes[context][k] = load_table(t.bytes[context][k]);
    lengths[context] = load_table(t.lengths[context]);
  }
  const WideTable opens = load_table(t.opens_after);
  const __m512i one = _mm512_set1_epi8(1);
  // Place 4j + i of a quarter takes byte i of lane j of that quarter; an index
  // from 64 up picks from the second register of a two-register permute.
  alignas(64) std::uint8_t spread[4][64];
  alignas(64) std::uint8_t lane_of[4][64];
  alignas(64) std::uint8_t rank[64];
  for (int q = 0; q < 4; ++q) {
    for (int j = 0; j < 16; ++j) {
      for (int i = 0; i < 4; ++i) {
        spread[q][4 * j + i] = static_cast<std::uint8_t>(16 * q + j + (i % 2 == 1 ? 64 : 0));
        lane_of[q][4 * j + i] = static_cast<std::uint8_t>(16 * q + j);
        rank[4 * j + i] = static_cast<std::uint8_t>(i);
      }
    }
  }
  const __m512i ranks = _mm512_load_si512(rank);
  constexpr __mmask64 kUpperPairs = 0xCCCCCCCCCCCCCCCCull;  // places 4j + 2 and 4j + 3
  std::uint64_t carry = opening ? 1 : 0;
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    const __m512i v = _mm512_loadu_si512(in + i);
    const __mmask64 high = _mm512_movepi8_mask(v);
    __m512i b[4];
    for (int k = 0; k < 4; ++k) b[k] = look_up(bytes[0][k], v, high);
    __m512i length = look_up(lengths[0], v, high);
    if constexpr (kWithContext) {
      const std::uint64_t opens_lanes = _mm512_test_epi8_mask(look_up(opens, v, high), one);
      const std::uint64_t opening_lanes = (opens_lanes << 1) | carry;
      carry = opens_lanes >> 63;
      for (int k = 0; k < 4; ++k) b[k] = _mm512_mask_blend_epi8(opening_lanes, b[k], look_up(bytes[1][k], v, high));
      length = _mm512_mask_blend_epi8(opening_lanes, length, look_up(lengths[1], v, high));
    }
    for (int q = 0; q < 4; ++q) {
      const __m512i index = _mm512_load_si512(spread[q]);
      const __m512i laid = _mm512_mask_blend_epi8(kUpperPairs, _mm512_permutex2var_epi8(b[0], index, b[1]),
                                                  _mm512_permutex2var_epi8(b[2], index, b[3]));
      // (The masked form: GCC 12 warns falsely about the plain one.)
      const __m512i lane_length = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, _mm512_load_si512(lane_of[q]), length);
      const __mmask64 written = _mm512_cmplt_epu8_mask(ranks, lane_length);
      _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(written, laid));
      out += std::popcount(written);
    }
  }
  if constexpr (kWithContext) {
    opening = carry != 0;
  } else if (i > 0) {
    opening = t.opens_after[in[i - 1]] != 0;
  }
  return {i, static_cast<std::size_t>(out - start)};
}


// What the character that begins at `p` writes: ASCII, or a two-byte
// character of the Latin-1 or the Cyrillic block.
inline const ByteOutcome& character_outcome(const Utf8Tables& t, const std::uint8_t* p) {
  if (p[0] < 0x80) return t.outcome[0][p[0]];
  return t.outcome[(p[0] & 0xFC) == 0xD0 ? 1 : 0][(p[0] & 3) << 6 | (p[1] & 0x3F)];
}

// As place_entry(), for the character that begins at `lane`.
template <bool kMaybeNone>
RECODIA_WIDE_TARGET inline void place_character(Placement& at, unsigned lane, std::uint64_t writes_one,
                                                const std::uint8_t* chunk, const Utf8Tables& t, __m512i packed,
                                                __m512i lane_numbers) {
  const unsigned before = count_below(writes_one, lane);
  at.out += before - at.done;
  const ByteOutcome& o = character_outcome(t, chunk + (lane & 63));
  std::memcpy(at.out, &o, sizeof o);
  at.out += kMaybeNone ? o.length * ((lane >> 6) ^ 1) : o.length;
  store_from_lane(at.out, before, packed, lane_numbers);
  at.done = before;
}

// Lanes are whole characters when the high bytes are the leads C2 C3 D0..D3,
// each followed by a continuation byte, and those continuation bytes. Each
// lead lane stands for its character: the low byte of the code point indexes
// the Latin-1 or the Cyrillic table, and the continuation lanes are dropped
// with the characters that write nothing. A chunk is taken up to its first
// lane that is anything else (a longer sequence, an ill-formed byte, a
// lead whose character crosses the chunk), and there the kernel stops. The
// characters that write several bytes are placed as the table's kernel
// places its bytes: up to three a chunk without a branch.
RECODIA_WIDE_TARGET Progress read_utf8_chunks(const Utf8Tables& t, const std::uint8_t* in, std::size_t size,
                                              std::uint8_t* out) {
  std::uint8_t* const start = out;
  const WideTable single_latin = load_table(t.single[0]);
  const WideTable single_cyrillic = load_table(t.single[1]);
  const WideTable kind_latin = load_table(t.kind[0]);
  const WideTable kind_cyrillic = load_table(t.kind[1]);
  const __m512i one = _mm512_set1_epi8(static_cast<char>(kWritesOne));
  const __m512i several = _mm512_set1_epi8(static_cast<char>(kWritesSeveral));
  const __m512i top_two = _mm512_set1_epi8(static_cast<char>(0xC0));
  const __m512i continuation = _mm512_set1_epi8(static_cast<char>(0x80));
  const __m512i lane_numbers = _mm512_set_epi8(
      63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35,
      34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5,
      4, 3, 2, 1, 0);
  const auto masked_equal = [](__m512i v, int mask, int value) RECODIA_WIDE_TARGET {
    return _mm512_cmpeq_epi8_mask(_mm512_and_si512(v, _mm512_set1_epi8(static_cast<char>(mask))),
                                  _mm512_set1_epi8(static_cast<char>(value)));
  };
  std::size_t i = 0;
  while (i + 65 <= size) {
    const __m512i v = _mm512_loadu_si512(in + i);
    const __m512i next = _mm512_loadu_si512(in + i + 1);
    const std::uint64_t high = _mm512_movepi8_mask(v);
    const std::uint64_t follows = _mm512_cmpeq_epi8_mask(_mm512_and_si512(v, top_two), continuation);
    const std::uint64_t next_follows = _mm512_cmpeq_epi8_mask(_mm512_and_si512(next, top_two), continuation);
    const std::uint64_t cyrillic = masked_equal(v, 0xFC, 0xD0);
    const std::uint64_t leads = masked_equal(v, 0xFE, 0xC2) | cyrillic;
    // The code point's low byte: the byte itself for ASCII, the lead's two low
    // bits and the continuation's six for a two-byte character.
    const __m512i two_byte = _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(v, _mm512_set1_epi8(3)), 6),
                                             _mm512_and_si512(next, _mm512_set1_epi8(0x3F)));
    const __m512i index = _mm512_mask_blend_epi8(high, v, two_byte);
    const __mmask64 index_high = _mm512_movepi8_mask(index);
    const __m512i bytes = _mm512_mask_blend_epi8(cyrillic, look_up(single_latin, index, index_high),
                                                 look_up(single_cyrillic, index, index_high));
    const __m512i kinds = _mm512_mask_blend_epi8(cyrillic, look_up(kind_latin, index, index_high),
                                                 look_up(kind_cyrillic, index, index_high));
    const std::uint64_t characters = ~follows;
    const std::uint64_t unfit = (high & ~(leads | follows)) | (follows & ~(leads << 1)) | (leads & ~next_follows) |
                                (leads & (std::uint64_t{1} << 63));
    const unsigned taken = unfit == 0 ? 64 : static_cast<unsigned>(std::countr_zero(unfit));
    const std::uint64_t in_taken = characters & _bzhi_u64(~std::uint64_t{0}, taken);
    const std::uint64_t writes_one = _mm512_test_epi8_mask(kinds, one) & in_taken;
    std::uint64_t writes_several = _mm512_test_epi8_mask(kinds, several) & in_taken;
    const __m512i packed = _mm512_maskz_compress_epi8(writes_one, bytes);
    _mm512_storeu_si512(out, packed);
    Placement at{out, 0};
    if (std::popcount(writes_several) > 3) [[unlikely]] {
      for (; writes_several != 0; writes_several &= writes_several - 1)
        place_character<false>(at, static_cast<unsigned>(std::countr_zero(writes_several)), writes_one, in + i, t,
                               packed, lane_numbers);
    } else {
      for (int k = 0; k < 3; ++k, writes_several &= writes_several - 1)
        place_character<true>(at, static_cast<unsigned>(std::countr_zero(writes_several)), writes_one, in + i, t,
                              packed, lane_numbers);
    }
    out = at.out + (static_cast<unsigned>(std::popcount(writes_one)) - at.done);
    i += taken;
    if (taken < 64) break;
  }
  return {i, static_cast<std::size_t>(out - start)};
}

}  // namespace

bool runs_here() { return has_wide_registers_impl(); }

Progress convert(const Tables& t, bool with_context, int slots, const std::uint8_t* in, std::size_t size,
                 std::uint8_t* out, bool& opening) {
  return with_context ? convert_wide<true>(t, slots, in, size, out, opening)
                      : convert_wide<false>(t, slots, in, size, out, opening);
}

Progress convert_expanding(const ExpandingTables& t, bool with_context, const std::uint8_t* in, std::size_t size,
                           std::uint8_t* out, bool& opening) {
  return with_context ? convert_expanding<true>(t, in, size, out, opening)
                      : convert_expanding<false>(t, in, size, out, opening);
}

Progress read_utf8(const Utf8Tables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out) {
  return read_utf8_chunks(t, in, size, out);
}

#else

bool runs_here() { return false; }

Progress read_utf8(const Utf8Tables&, const std::uint8_t*, std::size_t, std::uint8_t*) { return {0, 0}; }

Progress convert_expanding(const ExpandingTables&, bool, const std::uint8_t*, std::size_t, std::uint8_t*, bool&) {
  return {0, 0};
}

Progress convert(const Tables&, bool, int, const std::uint8_t*, std::size_t, std::uint8_t*, bool&) { return {0, 0}; }

#endif

}  // namespace recodia::kernels::avx512
