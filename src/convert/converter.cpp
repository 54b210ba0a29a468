#include "convert/converter.hpp"

#include <cstring>

#include "convert/byte_in_progress.hpp"
#include "convert/encodings.hpp"
#include "convert/entities.hpp"
#include "convert/fallbacks.hpp"
#include "convert/symbol_codes.hpp"
#include "convert/transliteration.hpp"

namespace recodia {
namespace {

// The signs that DOS text writes with control-range glyphs, given their
// symbol codes so that a target with the real sign gets it.
void apply_dos_control_symbols(ByteInProgress& b, const ConversionSettings& s) {
  if (b.input == s.section_byte) b.code = 539;
  if (b.input == s.paragraph_byte) b.code = 554;
  if (b.input == s.bullet_byte) b.code = 555;
  if (b.input == s.dash_byte) b.code = 523;
  if (b.input == 1 || b.input == 2) {  // the two smileys
    b.attach(":-)");
    b.working = 'O';
  } else if (b.input == 19) {  // double exclamation mark
    b.attach("!!");
    b.working = '!';
  } else if (b.input == 22 || b.input == 28) {
    b.working = '_';
  }
}

// Without special symbols the sign bytes are plain characters; each test sees
// the result of the one before, which is what turns '$' into '&'.
void remap_without_special_symbols(ByteInProgress& b, const ConversionSettings& s) {
  if (b.working == s.section_byte) b.working = '&';
  if (b.working == s.paragraph_byte) b.working = '$';
  if (b.working == s.bullet_byte) b.working = '.';
  if (b.working == s.dash_byte) b.working = '-';
}

void apply_smart_quotes(ByteInProgress& b, std::uint8_t saved, std::uint8_t previous) {
  const bool opening = opens_quotation(previous);
  if (saved == 0x22) b.code = opening ? 543 : 559;       // « »
  else if (saved == 0x27) b.code = opening ? 517 : 518;  // ‘ ’
}

bool looks_symbols_up(EncodingId target) {
  return target != kKx && target != kKoi7 && target != kTransliteration;
}

}  // namespace

std::uint8_t Converter::convert_byte(std::uint8_t input) {
  const ConversionSettings& s = settings_;
  ByteInProgress b;
  b.input = input;
  b.working = source_to_pivot(s.source, input);
  b.code = symbol_code_of(s.source, input);

  apply_fallback(b, s);
  if (s.html && !s.no_html_entities) apply_html_entity(b);
  if (s.source == kDos866 && s.special_symbols) apply_dos_control_symbols(b, s);
  if (!s.special_symbols) remap_without_special_symbols(b, s);

  const std::uint8_t saved = b.working;
  if (s.smart_quotes && !s.source_text && b.code == 0) apply_smart_quotes(b, saved, previous_);

  b.working = pivot_to_target(s.target, b.working, s.special_symbols);
  if (looks_symbols_up(s.target)) {
    // A character that the target has is always written as its own byte.
    if (const std::uint8_t native = find_symbol(b.code, *symbol_code_table(s.target))) {
      b.working = native;
      b.string_pending = false;
    }
  }
  if (s.target == kTransliteration) apply_transliteration(b, s);

  previous_ = saved;

  result_.string_pending = b.string_pending;
  if (b.string_pending) {
    // Every constant string fits; the longest is an eight-byte entity.
    std::strncpy(result_.output_string.data(), b.replacement, kOutputStringSize - 1);
    result_.output_string[kOutputStringSize - 1] = '\0';
    reencode_string(result_.output_string.data(), s.target);
  }
  result_.result_byte = b.working;
  return b.working;
}

}  // namespace recodia
