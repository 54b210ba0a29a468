// A text read as UTF-16 or UTF-32 (into any target), or read as UTF-8 and
// written as UTF-16: what the stream converter hands such a text to. The
// plain path reads each character through the plain decoder (utf16.hpp,
// utf8.hpp) and the byte processor; the fast path decodes whole characters
// inline, keeps each character's outcome once worked out, and between two
// Unicode forms lets a kernel (utf16_kernel.hpp) write runs of characters as
// themselves. The tests hold the two together.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "convert/byte_processor.hpp"
#include "convert/line_ends.hpp"
#include "convert/outcome_table.hpp"
#include "convert/settings.hpp"
#include "convert/stream_converter.hpp"
#include "convert/utf16.hpp"
#include "convert/utf16_kernel.hpp"
#include "convert/utf8.hpp"

namespace recodia {

// How "-auto" writes a text as it is (plain ASCII, or a text already in the
// target): its bytes copied, only the line ends following the target; but
// into UTF-16, which writes ASCII in units of two bytes, read as UTF-8.
ConversionSettings written_as_it_is(const ConversionSettings& settings);

class UnicodeText {
 public:
  // Whether a text with these settings is read here: a UTF-16 or UTF-32
  // source (its units copied where "-noenc" says so), or UTF-8 into UTF-16.
  static bool serves(const ConversionSettings& settings);

  // The room that convert() needs in `out` for `size` input bytes (and
  // finish() for none): CRs held back by the line ends may come out too.
  static constexpr std::size_t capacity_for(std::size_t size) { return (size + LineEnds::kLongestRun) * 16 + 64; }

  // The fast path takes the fastest kernel this processor has, unless one is given.
  UnicodeText(const ConversionSettings& settings, ConversionPath path,
              std::optional<utf16_kernel::Level> kernel = std::nullopt);

  // Converts the next bytes of the text into `out`; the count written.
  std::size_t convert(std::span<const std::uint8_t> in, std::uint8_t* out);
  // What the end of the text still owes: a character cut short, CRs held.
  std::size_t finish(std::uint8_t* out);

  // How many replacement characters stand for ill-formed input so far.
  std::uint64_t replaced() const { return form_ == Form::utf8 ? utf8_.replaced() : wide_.replaced(); }

 private:
  void feed(std::uint8_t b, std::uint8_t*& out);
  bool in_sequence() const;
  void take(Character c, std::uint8_t*& out);
  void write(Character c, std::uint8_t*& out);
  void write_copied(Character unit, std::uint8_t*& out);
  const ByteOutcome& outcome(Character c);
  bool writes_itself(Character c);
  std::size_t convert_fast(std::span<const std::uint8_t> in, std::uint8_t* out);
  utf16_kernel::Progress run_kernel(const std::uint8_t* in, std::size_t size, std::uint8_t* out) const;

  const ConversionSettings& settings_;
  const Form form_;    // of the source
  const bool copy_;    // "-noenc": the source's units are copied, only line ends change
  const bool fast_;
  ByteProcessor processor_;
  Utf8Decoder utf8_;
  WideDecoder wide_;
  LineEnds line_ends_;
  bool at_start_ = true;  // a UTF-8 byte-order mark first is skipped
  // The kernel that writes runs of characters as themselves, where every
  // character but CR and LF is written so (a Unicode source and target).
  std::optional<utf16_kernel::Level> kernel_;
  std::optional<CharacterOutcomes> outcomes_;  // the fast path's
  utf16_kernel::LineEndRule kernel_line_ends_ = utf16_kernel::LineEndRule::stop;
};

}  // namespace recodia
