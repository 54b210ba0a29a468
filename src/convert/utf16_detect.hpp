// UTF-16 and UTF-32, which the weighing of single-byte encodings cannot
// read: known by a byte-order mark, or without one by the pattern of their
// units. The detector asks here first.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "convert/detect.hpp"
#include "convert/encoding_id.hpp"

namespace recodia {

// The sample read as UTF-32 or UTF-16, little- or big-endian, when it plainly
// is: a byte-order mark followed by what can be text; or, without one, units
// that are all well-formed, that are almost all characters of text, and most
// of which are ASCII, Latin-1 or Cyrillic, so that their high bytes are 0x00
// or 0x04 (Latin and Cyrillic text alike). Nothing otherwise.
std::optional<Detection> detect_utf16_or_32(std::span<const std::uint8_t> sample);

// Whether a text found to be `found` reads right as the source `named`: the
// same encoding, or one of the same unit whose byte-order mark sets the order.
bool reads_as_named(const Detection& found, EncodingId named);

}  // namespace recodia
