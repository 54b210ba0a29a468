// The conversion settings: filled from the command line, resolved once, then
// read-only for the whole run.
#pragma once

#include <cstdint>
#include <optional>

#include "convert/encoding_id.hpp"

namespace recodia {

enum class LineStyle : std::uint8_t {
  lf = 0,
  crlf = 1,
  keep = 2,
};

struct ConversionSettings {
  EncodingId source = kDos866;
  EncodingId target = kKx;
  LineStyle line_style = LineStyle::keep;

  // Off with "-32": DOS 866's control-range glyphs are not read as signs, and
  // the signs are not written as those glyphs.
  bool special_symbols = true;
  bool strings_allowed = true;   // off with "-nstr", forced on for transliteration
  bool smart_quotes = true;      // off with "-nta" and "-html"
  bool source_text = false;      // on with "-src" and "-html"
  bool html = false;             // "-html"
  bool no_quote_signs = false;   // "-nqt": hard and soft signs as Q and q
  bool no_html_entities = false; // "-dhcs": "-html" without its entities
  bool no_encoding = false;      // "-noenc": bytes copied, only the line style applies
  // The output already holds the start of the text, written by another
  // converter ("-auto" passing plain ASCII on): no byte-order mark first.
  bool continues_text = false;

  // The target the text goes on into when this conversion only reads it into
  // UTF-8 on the way ("-fix" repairs it between): straight quotes are turned
  // only where that target has the typographic ones, as a conversion straight
  // into it would turn them, and the messages name it as the target.
  std::optional<EncodingId> final_target;

  // What stands in for typographic double quotes in a target without them.
  std::uint8_t double_quote_byte = '"';
};

}  // namespace recodia
