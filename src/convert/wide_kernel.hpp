// The table path's kernel for processors with AVX-512 VBMI2: 64 input bytes
// at a time through the outcome table (outcome_table.hpp), which stays the
// reference for what it writes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "convert/outcome_table.hpp"

namespace recodia::wide {

// The kinds of outcome in the kind tables (0: nothing written).
inline constexpr std::uint8_t kWritesOne = 1;
inline constexpr std::uint8_t kWritesSeveral = 2;

// The outcome table's parts that the kernel reads.
struct Tables {
  const std::array<std::array<ByteOutcome, 256>, 2>& outcome;
  const std::array<std::array<std::uint8_t, 256>, 2>& single;
  const std::array<std::array<std::uint8_t, 256>, 2>& kind;
  const std::array<std::uint8_t, 256>& opens_after;
};

// How far a call got: input bytes taken (whole 64-byte chunks) and output
// bytes written. The caller converts the rest of the input byte by byte.
struct Progress {
  std::size_t taken;
  std::size_t written;
};

// Whether this processor has the instructions the kernel needs.
bool available();

// Converts whole chunks of `in` into `out`, which needs the room that the
// table asks for; `opening` is the quotation context before and after them.
// `slots`: how many lanes that write several bytes a chunk places without a
// branch (0, 1 or 3).
Progress convert(const Tables& t, bool with_context, int slots, const std::uint8_t* in, std::size_t size,
                 std::uint8_t* out, bool& opening);

}  // namespace recodia::wide
