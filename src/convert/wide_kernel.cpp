#include "convert/wide_kernel.hpp"

#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define RECODIA_WIDE_LOOP 1
#define RECODIA_WIDE_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt,bmi,bmi2")))
#endif

namespace recodia::wide {

#ifdef RECODIA_WIDE_LOOP
namespace {

using WideTables = Tables;

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
RECODIA_WIDE_TARGET Progress convert_wide(const WideTables& t, const std::uint8_t* in, std::size_t size,
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
RECODIA_WIDE_TARGET Progress convert_wide(const WideTables& t, int slots, const std::uint8_t* in,
                                          std::size_t size, std::uint8_t* out, bool& opening) {
  switch (slots) {
    case 0: return convert_wide<kWithContext, 0>(t, in, size, out, opening);
    case 1: return convert_wide<kWithContext, 1>(t, in, size, out, opening);
    default: return convert_wide<kWithContext, 3>(t, in, size, out, opening);
  }
}

}  // namespace

bool available() {
  static const bool wide = has_wide_registers_impl();
  return wide;
}

Progress convert(const Tables& t, bool with_context, int slots, const std::uint8_t* in, std::size_t size,
                 std::uint8_t* out, bool& opening) {
  return with_context ? convert_wide<true>(t, slots, in, size, out, opening)
                      : convert_wide<false>(t, slots, in, size, out, opening);
}

#else

bool available() { return false; }

Progress convert(const Tables&, bool, int, const std::uint8_t*, std::size_t, std::uint8_t*, bool&) { return {0, 0}; }

#endif

}  // namespace recodia::wide
