// The table path's kernels for single-byte sources (outcome_table.hpp builds
// the tables; avx512_vbmi2.hpp has the 64-byte ones). The scalar loop is the
// reference that the others are tested against, on every processor that runs them.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "convert/outcome_table.hpp"

namespace recodia::kernels {

// The outcome table's parts that these kernels read.
struct ByteTables {
  const std::array<std::array<ByteOutcome, 256>, 2>& outcome;  // [opening][byte]
  const std::array<std::uint8_t, 256>& opens_after;            // 1: a quotation after this byte opens
  // The vector kernels' lookup: the byte written, for the bytes that write
  // exactly one and the same one in either context ("plain" bytes)...
  const std::array<std::uint8_t, 256>& single;
  // ...and the others as a bit set: bit h of entry l (and of entry 16 + l for
  // h from 8 up) is byte 16 h + l.
  const std::array<std::uint8_t, 32>& unplain;
  bool ascii_as_it_is;  // every plain byte below 0x80 writes itself
  // Where no outcome is longer than seven bytes, each as eight: the bytes,
  // and the length last; else nothing.
  const std::array<std::array<std::uint64_t, 256>, 2>* short_outcome;
};

// The length of a short outcome, the last of its eight bytes.
inline unsigned short_length(std::uint64_t entry) {
  return static_cast<unsigned>(std::endian::native == std::endian::little ? entry >> 56 : entry & 0xFF);
}

// How far a vector kernel got: input bytes taken (whole chunks) and output
// bytes written. The caller converts the rest with a scalar loop.
struct Progress {
  std::size_t taken;
  std::size_t written;
};

// The plain loop: each byte's whole entry copied, advanced by its length.
// `out` needs 16 bytes of room past the last byte written; `opening` is the
// quotation context before and after. Returns the bytes written.
std::size_t convert_scalar(const ByteTables& t, bool with_context, const std::uint8_t* in, std::size_t size,
                           std::uint8_t* out, bool& opening);

// The plain loop with eight-byte entries, where the table has them.
std::size_t convert_short(const ByteTables& t, bool with_context, const std::uint8_t* in, std::size_t size,
                          std::uint8_t* out, bool& opening);

// Whole chunks looked up at once (32 bytes with AVX2, 16 with NEON), the
// bytes that are not plain placed between them from their entries. `out`
// needs the table's room.
Progress convert_avx2(const ByteTables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                      bool& opening);
Progress convert_neon(const ByteTables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                      bool& opening);

// For reading UTF-8 32 bytes at a time with AVX2: what each character of
// U+0000..U+00FF and of U+0400..U+04FF ([0] and [1]) writes when it writes
// one byte, and as bit sets (laid out as ByteTables::unplain) those that do
// not write exactly one, and those that write nothing.
struct Utf8Tables {
  const std::array<std::array<std::uint8_t, 256>, 2>& single;
  const std::array<std::array<std::uint8_t, 32>, 2>& not_one;
  const std::array<std::array<std::uint8_t, 32>, 2>& nothing;
  const std::array<std::array<ByteOutcome, 256>, 2>& outcome;  // what each writes
  bool ascii_as_it_is;  // every ASCII character that writes one byte writes itself
};

// Reads ASCII and the two-byte characters of those blocks, the few that
// write several bytes placed between the others, and stops before the first
// character that is anything else (the caller reads it). `in` must begin a character and hold one byte more than
// it takes; `out` needs 32 bytes of room past what it writes.
Progress read_utf8_avx2(const Utf8Tables& t, const std::uint8_t* in, std::size_t size, std::uint8_t* out);

// The context of byte `at`: the quotation context before the input for the
// first, else what the byte before it leaves.
inline bool context_at(const ByteTables& t, const std::uint8_t* in, std::size_t at, bool opening) {
  return at == 0 ? opening : t.opens_after[in[at - 1]] != 0;
}

// Places one byte's whole entry (at least 16 bytes of room) and returns the end.
inline std::uint8_t* place_entry(const ByteTables& t, const std::uint8_t* in, std::size_t at, bool opening,
                                 std::uint8_t* out) {
  const ByteOutcome& o = t.outcome[context_at(t, in, at, opening) ? 1 : 0][in[at]];
  __builtin_memcpy(out, &o, sizeof o);
  return out + o.length;
}

}  // namespace recodia::kernels
