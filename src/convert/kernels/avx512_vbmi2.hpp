// The table path's kernel for processors with AVX-512 VBMI2: 64 input bytes
// at a time through the outcome table (outcome_table.hpp), which stays the
// reference for what it writes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "convert/outcome_table.hpp"

namespace recodia::kernels::avx512 {

// The kinds of outcome in the kind tables (0: nothing written).
inline constexpr std::uint8_t kWritesOne = 1;
inline constexpr std::uint8_t kWritesSeveral = 2;

// An outcome as the lookup tables hold it: the byte written when it is
// exactly one, and whether it writes nothing, one byte or several.
inline std::uint8_t single_byte_of(const ByteOutcome& o) { return o.length == 1 ? o.bytes[0] : 0; }
inline std::uint8_t kind_of(const ByteOutcome& o) { return o.length == 0 ? 0 : o.length == 1 ? kWritesOne : kWritesSeveral; }

// The outcome table's parts that the kernel reads.
struct Tables {
  const std::array<std::array<ByteOutcome, 256>, 2>& outcome;
  const std::array<std::array<std::uint8_t, 256>, 2>& single;
  const std::array<std::array<std::uint8_t, 256>, 2>& kind;
  const std::array<std::uint8_t, 256>& opens_after;
};

// The outcome table's parts for the expanding kernel: where every byte writes
// at most four bytes, the k-th byte of each outcome as a table of its own,
// and the lengths.
struct ExpandingTables {
  const std::array<std::array<std::array<std::uint8_t, 256>, 4>, 2>& bytes;  // [context][k][byte]
  const std::array<std::array<std::uint8_t, 256>, 2>& lengths;
  const std::array<std::uint8_t, 256>& opens_after;
};

// For reading UTF-8: what each character of U+0000..U+00FF and of
// U+0400..U+04FF (ASCII, Latin-1, Cyrillic) writes when it writes one byte,
// and its kind of outcome.
struct Utf8Tables {
  const std::array<std::array<std::uint8_t, 256>, 2>& single;  // [0] U+0000.., [1] U+0400..
  const std::array<std::array<std::uint8_t, 256>, 2>& kind;
  const std::array<std::array<ByteOutcome, 256>, 2>& outcome;  // what each writes
};

// How far a call got: input bytes taken (whole 64-byte chunks) and output
// bytes written. The caller converts the rest of the input byte by byte.
struct Progress {
  std::size_t taken;
  std::size_t written;
};

// Whether this processor has the instructions the kernels need.
bool runs_here();

// Converts whole chunks of `in` into `out`, which needs the room that the
// table asks for; `opening` is the quotation context before and after them.
// `slots`: how many lanes that write several bytes a chunk places without a
// branch (0, 1 or 3).
Progress convert(const Tables& t, bool with_context, int slots, const std::uint8_t* in, std::size_t size,
                 std::uint8_t* out, bool& opening);

// The same where most bytes write two to four (UTF-8 output): every lane is
// spread to four bytes and the unwritten ones are squeezed out.
Progress convert_expanding(const ExpandingTables& t, bool with_context, const std::uint8_t* in, std::size_t size,
                           std::uint8_t* out, bool& opening);

// Reads UTF-8 64 bytes at a time while they are ASCII and two-byte
// characters of U+0080..U+00FF and U+0400..U+04FF, and stops before the first
// chunk that is anything else. The few of them that write several bytes (a
// line end written as CR LF, a sign's substitute) are placed between the
// others. `in` must begin a character and hold one byte more than it takes.
Progress read_utf8(const Utf8Tables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out);

}  // namespace recodia::kernels::avx512
