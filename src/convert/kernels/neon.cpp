// The byte tables 16 bytes at a time with NEON (every ARM64 processor has it):
// a 256-entry table is four 64-entry lookups.
#include <bit>

#include "convert/kernels/byte_tables.hpp"

#if defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>

namespace recodia::kernels {
namespace {

struct Quarters {
  uint8x16x4_t quarter[4];
};

Quarters quarters_of(const std::array<std::uint8_t, 256>& table) {
  return {{vld1q_u8_x4(table.data()), vld1q_u8_x4(table.data() + 64), vld1q_u8_x4(table.data() + 128),
           vld1q_u8_x4(table.data() + 192)}};
}

// table[v]: the first quarter, then each further one where v - 64k is below
// 64 (tbx leaves the lanes that are not).
inline uint8x16_t look_up(const Quarters& t, uint8x16_t v) {
  const uint8x16_t step = vdupq_n_u8(64);
  uint8x16_t r = vqtbl4q_u8(t.quarter[0], v);
  v = vsubq_u8(v, step);
  r = vqtbx4q_u8(r, t.quarter[1], v);
  v = vsubq_u8(v, step);
  r = vqtbx4q_u8(r, t.quarter[2], v);
  v = vsubq_u8(v, step);
  return vqtbx4q_u8(r, t.quarter[3], v);
}

// The lanes whose bytes are in the bit set (see ByteTables::unplain), four
// bits each: the column's bits by the low nibble, the row's bit by the high one.
inline std::uint64_t members(uint8x16_t low_rows, uint8x16_t high_rows, uint8x16_t v) {
  static constexpr std::uint8_t kBitOfRow[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t low = vandq_u8(v, vdupq_n_u8(15));
  const uint8x16_t high = vshrq_n_u8(v, 4);
  const uint8x16_t upper = vreinterpretq_u8_s8(vshrq_n_s8(vreinterpretq_s8_u8(v), 7));
  const uint8x16_t column = vbslq_u8(upper, vqtbl1q_u8(high_rows, low), vqtbl1q_u8(low_rows, low));
  const uint8x16_t hit = vtstq_u8(column, vqtbl1q_u8(vld1q_u8(kBitOfRow), high));
  return vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(hit), 4)), 0);
}

}  // namespace

Progress convert_neon(const ByteTables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                      bool& opening) {
  std::uint8_t* const start = out;
  const Quarters single = quarters_of(t.single);
  const uint8x16_t low_rows = vld1q_u8(t.unplain.data()), high_rows = vld1q_u8(t.unplain.data() + 16);
  alignas(16) std::uint8_t lanes[32] = {};
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    const uint8x16_t v = vld1q_u8(in + i);
    const uint8x16_t bytes = look_up(single, v);
    std::uint64_t others = members(low_rows, high_rows, v);
    if (others == 0) {
      vst1q_u8(out, bytes);
      out += 16;
      continue;
    }
    vst1q_u8(lanes, bytes);
    unsigned from = 0;
    for (; others != 0; others &= ~(std::uint64_t{15} << std::countr_zero(others))) {
      const unsigned lane = static_cast<unsigned>(std::countr_zero(others)) / 4;
      vst1q_u8(out, vld1q_u8(lanes + from));
      out = place_entry(t, in, i + lane, opening, out + (lane - from));
      from = lane + 1;
    }
    vst1q_u8(out, vld1q_u8(lanes + from));
    out += 16 - from;
  }
  if (i > 0) opening = t.opens_after[in[i - 1]] != 0;
  return {i, static_cast<std::size_t>(out - start)};
}

}  // namespace recodia::kernels

#else

namespace recodia::kernels {
Progress convert_neon(const ByteTables&, const std::uint8_t*, std::size_t, std::uint8_t*, bool&) { return {0, 0}; }
}  // namespace recodia::kernels

#endif
