// What one input byte becomes in the output file: the converter's result with
// the line style and the strings-allowed rule applied. Two ways to get it: the
// plain byte-at-a-time path, and a table built from that path at start-up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "convert/converter.hpp"
#include "convert/settings.hpp"

namespace recodia {

class ByteProcessor {
 public:
  // The settings must be resolved and must outlive the processor.
  ByteProcessor(const ConversionSettings& settings, bool no_encoding)
      : settings_(settings), no_encoding_(no_encoding), converter_(settings) {}

  // Hands the bytes of one input byte to `sink` (put(byte), put_string(const char*)).
  template <class Sink>
  void process_byte(std::uint8_t input, Sink& sink);

  Converter& converter() { return converter_; }

 private:
  const ConversionSettings& settings_;
  bool no_encoding_;
  Converter converter_;
};

template <class Sink>
void ByteProcessor::process_byte(std::uint8_t input, Sink& sink) {
  ConverterResult& result = converter_.result();
  std::uint8_t out = input;
  if (no_encoding_) {
    result.string_pending = false;
  } else if (const std::uint8_t converted = converter_.convert_byte(input); converted != 0) {
    out = converted;
  }
  // The line style looks at the output byte, not at the input byte.
  bool write_byte = true;
  if (out == 0x0D) {
    write_byte = settings_.line_style == LineStyle::keep;
  } else if (out == 0x0A && settings_.line_style == LineStyle::crlf) {
    // CR LF travels as a replacement string, so "-nstr" leaves the LF alone.
    result.string_pending = true;
    std::memcpy(result.output_string.data(), "\r\n", 3);
  }
  if (result.string_pending && settings_.strings_allowed) {
    sink.put_string(result.output_string.data());
  } else if (write_byte) {
    sink.put(out);
  }
}

// The output of every byte in both quotation contexts, taken from the
// byte-at-a-time path. A byte's output depends only on the settings, the byte
// and whether the byte before it opens a quotation; and that in turn depends
// only on the byte before. So a run is one table lookup per byte.
struct ByteOutcome {
  std::array<std::uint8_t, 15> bytes{};
  std::uint8_t length = 0;
};
static_assert(sizeof(ByteOutcome) == 16);

class OutcomeTable {
 public:
  // nothing when some byte's output would not fit an entry.
  static std::optional<OutcomeTable> build(const ConversionSettings& settings, bool no_encoding);

  // The longest output of one byte.
  std::size_t longest() const { return longest_; }

  // Every byte comes out as itself in either context: the input can be
  // written as it is.
  bool copies_input() const { return copies_input_; }

  // The room that convert() needs in `out` for `size` input bytes: it may
  // write up to 64 bytes past its last output byte.
  std::size_t capacity_for(std::size_t size) const { return size * (longest_ > 0 ? longest_ : 1) + 64; }

  // Converts `size` bytes into `out`, which must hold capacity_for(size)
  // bytes; `opening` carries the quotation context from block to block.
  // Returns the number of bytes written.
  std::size_t convert(const std::uint8_t* in, std::size_t size, std::uint8_t* out, bool& opening) const;

  // The same with one byte at a time through the entries, whatever the
  // processor offers; convert() uses it where wide registers are missing.
  std::size_t convert_bytewise(const std::uint8_t* in, std::size_t size, std::uint8_t* out, bool& opening) const;

 private:
  std::array<std::array<ByteOutcome, 256>, 2> outcome_{};  // [opening][byte]
  // The same outcomes as 256-byte lookup tables: the byte written when there
  // is exactly one, and whether a byte writes nothing, one byte or several.
  alignas(64) std::array<std::array<std::uint8_t, 256>, 2> single_{};
  alignas(64) std::array<std::array<std::uint8_t, 256>, 2> kind_{};
  alignas(64) std::array<std::uint8_t, 256> opens_after_{};  // 1: a quote after this byte opens
  bool depends_on_context_ = false;
  bool copies_input_ = false;
  int slots_ = 0;      // see slots_for()
  bool wide_ = false;  // the processor has the byte permutes and compress of AVX-512 VBMI2
  std::size_t longest_ = 0;
};

}  // namespace recodia
