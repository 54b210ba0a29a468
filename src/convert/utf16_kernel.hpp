// The fast kernels between UTF-16 and UTF-8: runs of well-formed characters
// written as themselves, where no conversion rule touches them (a Unicode
// source into a Unicode target). The plain decoders and the byte processor
// stay the reference; unicode_text.cpp calls these and is tested against it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "convert/outcome_table.hpp"

namespace recodia::utf16_kernel {

// A portable loop, and where the processor has AVX2 one that takes 32
// bytes at a time.
enum class Level : std::uint8_t { portable, avx2 };

// The levels this processor runs, the fastest last.
std::span<const Level> available();

// How far a call got: input bytes taken and output bytes written. A call
// stops before the first character that is ill-formed or cut by the end of
// the input, which the caller reads plainly.
struct Progress {
  std::size_t taken;
  std::size_t written;
};

// What each ASCII character writes (its line end, for CR and LF): taken
// from the byte processor, so that the line style stays its own.
using AsciiOutcomes = std::array<ByteOutcome, 0x80>;

// What the wide loops may do with CR and LF themselves, as their outcomes
// allow; whatever else they write is left to the portable loop.
enum class LineEndRule : std::uint8_t {
  stop,         // nothing: the portable loop writes every CR and LF
  as_they_are,  // each writes itself ("-noaltlf")
  drop_cr,      // LF writes itself, CR nothing (LF line ends)
  keep_cr_lf,   // CR LF writes itself, a CR alone nothing (CR LF line ends)
};

// The rule for these outcomes, in UTF-16 of the given order or in UTF-8.
LineEndRule line_end_rule(const AsciiOutcomes& ascii, bool utf16, bool big_endian);

// UTF-16 in the given byte order to UTF-8. `in` must begin a character;
// `out` needs three bytes per input unit, and 64 more.
Progress utf16_to_utf8(Level level, bool big_endian, const AsciiOutcomes& ascii, LineEndRule line_ends,
                       const std::uint8_t* in, std::size_t size, std::uint8_t* out);

// UTF-8 to UTF-16 in the given byte order. `in` must begin a character;
// `out` needs four bytes per input byte, and 64 more.
Progress utf8_to_utf16(Level level, bool big_endian, const AsciiOutcomes& ascii, LineEndRule line_ends,
                       const std::uint8_t* in, std::size_t size, std::uint8_t* out);

}  // namespace recodia::utf16_kernel
