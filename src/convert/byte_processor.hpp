// What one input byte (or character) becomes in the output file: the
// converter's result with the line style applied, one at a time. The table
// path (outcome_table.hpp) is built from this one and tested against it.
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

  // The same for a character read from UTF-8.
  template <class Sink>
  void process_character(Character c, Sink& sink) {
    write(converter_.convert_character(c), sink);
  }

  Converter& converter() { return converter_; }

 private:
  template <class Sink>
  void write(const Converted& out, Sink& sink);

  const ConversionSettings& settings_;
  Converter converter_;
};

template <class Sink>
void ByteProcessor::process_byte(std::uint8_t input, Sink& sink) {
  if (!settings_.no_encoding) {
    write(converter_.convert_byte(input), sink);
    return;
  }
  Converted copy;
  copy.put(input);
  write(copy, sink);
}

template <class Sink>
void ByteProcessor::write(const Converted& out, Sink& sink) {
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
