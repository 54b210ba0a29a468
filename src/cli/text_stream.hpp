// Reading a text and converting it as it is read: the window that tells its
// encoding, the source chosen or checked there, and the byte loop. Shared by
// the conversion between two names and the conversion in place.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <span>
#include <string>

#include "cli/run.hpp"
#include "convert/utf16_detect.hpp"

namespace recodia {

inline constexpr std::size_t kInputBlock = 128 * 1024;

// Copies a file block by block; false when reading or writing failed.
bool copy_blocks(platform::InputFile& in, platform::OutputFile& out);

// Reads into `buffer` until it is full or the input ends; the count read.
std::size_t fill(platform::InputFile& in, std::span<std::uint8_t> buffer);

// Reads into `window` the part of the input that tells its encoding, and
// returns its size: the start of the input; or, when that is plain ASCII, the
// text from the line of the first byte above ASCII on, the plain ASCII before
// it handed to `pass_on` (which returns false to stop). A window without a byte
// above ASCII is the end of an input that is ASCII throughout. UTF-16 and
// UTF-32 are no plain ASCII, though the units of their ASCII are bytes below
// 0x80: they are told by the start.
template <class PassOn>
std::size_t read_window(platform::InputFile& in, std::span<std::uint8_t> window, PassOn&& pass_on) {
  std::size_t n = fill(in, window);
  for (bool start = true;; start = false) {
    std::uint8_t* const end = window.data() + n;
    std::uint8_t* const high = std::find_if(window.data(), end, [](std::uint8_t b) { return b >= 0x80; });
    if (high == end && !(start && detect_utf16_or_32(window.first(n)))) {
      if (n < window.size() || !pass_on(window.first(n))) return n;
      n = fill(in, window);
      continue;
    }
    if (start) return n;
    const std::uint8_t* const line = std::find(std::make_reverse_iterator(high), std::make_reverse_iterator(window.data()), '\n').base();
    const auto from = static_cast<std::size_t>(line - window.data());
    if (from > 0 && !pass_on(window.first(from))) return n;
    std::memmove(window.data(), line, n - from);
    n -= from;
    return n + fill(in, window.subspan(n));
  }
}

enum class StreamResult { converted, failed, refused };

// The byte loop: each block read is converted and written; ill-formed UTF-8,
// read as replacement characters, is reported. With "-auto" the text is
// written as it is until its source is known; with a source switch, the text
// is checked against it first. Failed when reading or writing failed.
StreamResult convert_stream(platform::InputFile& in, platform::OutputFile& out, const RunContext& context,
                            const std::string& in_name, bool in_place);

// Says which side of a failed copy or conversion failed, and why.
void report_stream_failure(const RunContext& context, const platform::InputFile& in, const std::string& in_name,
                           const platform::OutputFile& out, const std::string& out_name);

}  // namespace recodia
