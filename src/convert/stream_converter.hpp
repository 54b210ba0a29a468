// A text converted block by block, as it is read: what crosses the end of a
// block (whether a quotation opens, a UTF-8 sequence cut in two) is kept from
// one block to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "convert/byte_processor.hpp"
#include "convert/line_ends.hpp"
#include "convert/outcome_table.hpp"
#include "convert/settings.hpp"

namespace recodia {

// How the bytes are converted: through tables of every byte's (or
// character's) outcome, or one converter call each (the reference that the
// tables are checked against).
enum class ConversionPath { table, reference };

// What the converter does with the bytes: converts them by the settings, or
// passes them on as they are, only their line ends following the settings
// (what a text whose source is still to be found is written as).
enum class StreamMode { convert, pass_through };

class UnicodeText;

class StreamConverter {
 public:
  // The settings must be resolved and must outlive the converter. The
  // kernel is the table path's (the fastest the processor runs, by default).
  explicit StreamConverter(const ConversionSettings& settings, ConversionPath path = ConversionPath::table,
                           StreamMode mode = StreamMode::convert, kernels::Kernel kernel = kernels::chosen());
  ~StreamConverter();

  // The output for the next block of input; valid until the next call.
  std::span<const std::uint8_t> convert(std::span<const std::uint8_t> block);

  // The output that the end of the input still owes: a UTF-8 sequence cut
  // short there.
  std::span<const std::uint8_t> finish();

  // How many replacement characters stand for ill-formed UTF-8 (or UTF-16,
  // UTF-32) so far.
  std::uint64_t replaced() const;

  // For UTF-8 with a few stray bytes: each byte of an ill-formed part is read
  // as `source` (a single-byte source) reads it, instead of one replacement
  // character for the part. Before the first block.
  void read_stray_bytes_as(EncodingId source);

  // The encoding the text is read as.
  EncodingId source() const { return source_; }

 private:
  class Utf8Text;

  std::span<const std::uint8_t> convert_read(std::span<const std::uint8_t> block);
  std::uint8_t* room(std::size_t size);

  std::unique_ptr<ConversionSettings> passing_;  // the settings of a pass-through

  std::optional<OutcomeTable> table_;
  std::optional<ByteProcessor> reference_;
  std::unique_ptr<Utf8Text> utf8_;
  std::unique_ptr<UnicodeText> unicode_;  // UTF-16 and UTF-32 in, UTF-8 into UTF-16
  EncodingId source_;
  LineEndFilter line_ends_;  // CR alone as a line end, for the others
  // The target's byte-order mark while it is still to be written, then the
  // first output with it.
  std::vector<std::uint8_t> start_;
  bool started_ = false;
  std::vector<std::uint8_t> tail_;  // what finish() owes
  bool opening_ = true;  // a quotation at the start of the text opens
  // The room for a block's output. Not zeroed: most of it is for the worst
  // case and is never touched, so it costs no memory.
  std::unique_ptr<std::uint8_t[]> room_;
  std::size_t room_size_ = 0;
  std::vector<std::uint8_t> reference_output_;
};

}  // namespace recodia
