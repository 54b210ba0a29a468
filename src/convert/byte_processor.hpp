// What one input byte becomes in the output file: the converter's result with
// the line style applied, one byte at a time. The table path (outcome_table.hpp)
// is built from this one and tested against it.
#pragma once

#include <cstdint>
#include <span>

#include "convert/converter.hpp"
#include "convert/settings.hpp"

namespace recodia {

class ByteProcessor {
 public:
  // The settings must be resolved and must outlive the processor.
  explicit ByteProcessor(const ConversionSettings& settings) : settings_(settings), converter_(settings) {}

  // Hands the bytes of one input byte to `sink` (put(span of bytes)).
  template <class Sink>
  void process_byte(std::uint8_t input, Sink& sink);

  Converter& converter() { return converter_; }

 private:
  const ConversionSettings& settings_;
  Converter converter_;
};

template <class Sink>
void ByteProcessor::process_byte(std::uint8_t input, Sink& sink) {
  Converted out;
  if (settings_.no_encoding) out.put(input);
  else out = converter_.convert_byte(input);
  // The line style looks at what the byte became, not at the input byte. CR LF
  // travels as a substitute string, so "-nstr" leaves the LF alone.
  static constexpr std::uint8_t kCrLf[] = {'\r', '\n'};
  if (out.is('\r') && settings_.line_style != LineStyle::keep) return;
  if (out.is('\n') && settings_.line_style == LineStyle::crlf && settings_.strings_allowed) {
    sink.put(std::span<const std::uint8_t>(kCrLf));
    return;
  }
  sink.put(out.view());
}

}  // namespace recodia
