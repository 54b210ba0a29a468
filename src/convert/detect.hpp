// Which encoding a text is in, judged from the start of it: plain ASCII, UTF-8,
// or the source encoding through which it reads most naturally. A pure
// function of the bytes it is given; the caller reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "convert/encoding_id.hpp"

namespace recodia {

// The detector reads at most this much of the start of a text: enough to
// decide, and a buffer a pipe can keep to convert afterwards.
inline constexpr std::size_t kDetectionSampleSize = 64 * 1024;

enum class TextKind : std::uint8_t {
  ascii,        // plain ASCII: every encoding reads it alike
  utf8,         // a UTF-8 byte-order mark, or valid UTF-8 with non-ASCII characters
                // (a sequence cut off by the end of the sample counts as valid)
  single_byte,  // `Detection::encoding`
  utf16_or_32,  // `Detection::encoding`: by a byte-order mark, or by where its zero bytes fall
};

struct Detection {
  TextKind kind = TextKind::ascii;
  EncodingId encoding = kDos866;  // the answer: kUtf8 for UTF-8, any when ASCII
  bool byte_order_mark = false;   // UTF-8, UTF-16 or UTF-32 that starts with one
  // Bits of evidence between the answer and the best candidate that reads the
  // sample differently; large when sure. 0 when no candidate reads differently.
  int margin_bits = 0;
};

// At this margin or more a single-byte answer is sure: on real prose, answers
// below it are where the wrong ones are.
inline constexpr int kSureMarginBits = 16;

constexpr bool is_sure(const Detection& d) {
  return d.kind != TextKind::single_byte || d.margin_bits >= kSureMarginBits;
}

// Reads at most kDetectionSampleSize bytes of the sample.
Detection detect_encoding(std::span<const std::uint8_t> sample);


// Whether two source encodings read every byte of the sample as the same
// character (then either answer is right).
bool reads_alike(std::span<const std::uint8_t> sample, EncodingId a, EncodingId b);

// What the sample plainly is when it is not the named source encoding: for a
// single-byte source, UTF-8 text, or another encoding that reads it
// differently and far more naturally (by kPlainMarginBits or more); for
// UTF-8, the single-byte source through which it reads best, when most of its
// bytes above ASCII are not well-formed UTF-8. Nothing when the named
// encoding is plausible.
inline constexpr int kPlainMarginBits = 48;
std::optional<Detection> plainly_other_than(std::span<const std::uint8_t> sample, EncodingId named);

}  // namespace recodia
