// What one input byte (or character) becomes in the output file: the
// converter's result with the line style applied, one at a time. The table
// path (outcome_table.hpp) is built from this one and tested against it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "convert/converter.hpp"
#include "convert/registry.hpp"
#include "convert/settings.hpp"
#include "convert/utf16.hpp"

namespace recodia {

class ByteProcessor {
 public:
  // The settings must be resolved and must outlive the processor.
  explicit ByteProcessor(const ConversionSettings& settings)
      : settings_(settings),
        converter_(settings),
        carriage_return_(line_unit('\r', settings)),
        line_feed_(line_unit('\n', settings)) {}

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

  // CR or LF as the output holds it: the byte where bytes are copied, else
  // as the target writes the character (two bytes in UTF-16).
  static Converted line_unit(std::uint8_t c, const ConversionSettings& s) {
    Converted unit;
    const Encoding& target = encoding(s.target);
    if (s.no_encoding || target.form != Form::utf16) unit.put(c);
    else encode_utf16(c, has_trait(target, kBigEndian), [&](std::uint8_t b) { unit.put(b); });
    return unit;
  }

  static bool same(const Converted& a, const Converted& b) {
    return a.size == b.size && std::equal(a.bytes.begin(), a.bytes.begin() + a.size, b.bytes.begin());
  }

  const ConversionSettings& settings_;
  Converter converter_;
  const Converted carriage_return_, line_feed_;
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
  // The line style looks at what the byte became, not at the input byte: the
  // character CR or LF, in whatever units the target writes. CR LF travels as
  // a substitute string, so "-nstr" leaves the LF alone.
  if (same(out, carriage_return_) && settings_.line_style != LineStyle::keep) return;
  if (same(out, line_feed_) && settings_.line_style == LineStyle::crlf && settings_.strings_allowed) {
    sink.put(carriage_return_.view());
    sink.put(line_feed_.view());
    return;
  }
  sink.put(out.view());
}

}  // namespace recodia
