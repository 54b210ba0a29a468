// What one input byte becomes in the output file: the converter's result with
// the line style and the strings-allowed rule applied, one byte at a time. The
// table path (outcome_table.hpp) is built from this one and tested against it.
#pragma once

#include <cstdint>
#include <cstring>

#include "convert/converter.hpp"
#include "convert/settings.hpp"

namespace recodia {

class ByteProcessor {
 public:
  // The settings must be resolved and must outlive the processor.
  explicit ByteProcessor(const ConversionSettings& settings) : settings_(settings), converter_(settings) {}

  // Hands the bytes of one input byte to `sink` (put(byte), put_string(const char*)).
  template <class Sink>
  void process_byte(std::uint8_t input, Sink& sink);

  Converter& converter() { return converter_; }

 private:
  const ConversionSettings& settings_;
  Converter converter_;
};

template <class Sink>
void ByteProcessor::process_byte(std::uint8_t input, Sink& sink) {
  ConverterResult& result = converter_.result();
  std::uint8_t out = input;
  if (settings_.no_encoding) {
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

}  // namespace recodia
