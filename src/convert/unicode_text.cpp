#include "convert/unicode_text.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "convert/registry.hpp"

namespace recodia {
namespace {

struct PointerSink {
  std::uint8_t*& out;
  void put(std::span<const std::uint8_t> bytes) {
    std::memcpy(out, bytes.data(), bytes.size());
    out += bytes.size();
  }
};

// Copies the whole entry and advances by its length: no branch per character.
void put(const ByteOutcome& o, std::uint8_t*& out) {
  std::memcpy(out, &o, sizeof o);
  out += o.length;
}

// Between UTF-8 and UTF-16 a kernel writes runs of characters as themselves.
bool between_kernel_forms(Form source, Form target) {
  return (source == Form::utf16 && target == Form::utf8) || (source == Form::utf8 && target == Form::utf16);
}

std::uint32_t unit_at(const std::uint8_t* p, int size, bool big_endian) {
  std::uint32_t unit = 0;
  for (int i = 0; i < size; ++i) unit |= std::uint32_t{p[i]} << 8 * (big_endian ? size - 1 - i : i);
  return unit;
}

}  // namespace

ConversionSettings written_as_it_is(const ConversionSettings& settings) {
  ConversionSettings s = settings;
  if (encoding(s.target).form == Form::utf16) s.source = kUtf8;
  else s.no_encoding = true;
  return s;
}

bool UnicodeText::serves(const ConversionSettings& settings) {
  const Encoding& source = encoding(settings.source);
  return is_wide_unicode(source) ||
         (source.form == Form::utf8 && encoding(settings.target).form == Form::utf16 && !settings.no_encoding);
}

UnicodeText::UnicodeText(const ConversionSettings& settings, ConversionPath path,
                         std::optional<utf16_kernel::Level> kernel)
    : settings_(settings),
      form_(encoding(settings.source).form),
      copy_(settings.no_encoding),
      fast_(path == ConversionPath::table && !copy_),
      processor_(settings),
      wide_(form_ == Form::utf32 ? 4 : 2, has_trait(encoding(settings.source), kBigEndian), copy_),
      line_ends_(settings.line_style) {
  if (!fast_) return;  // the plain path works out each character as it comes
  outcomes_.emplace(processor_);
  if (!between_kernel_forms(form_, encoding(settings.target).form)) return;
  // The kernels write every character but CR and LF as itself: so must the
  // conversion, as it does between Unicode forms.
  for (Character c = 0; c < 0x80; ++c)
    if (c != '\r' && c != '\n' && !writes_itself(c)) return;
  for (Character c : {U'é', U'Ж', U'—', U'\uFEFF', U'\uFFFD', U'😀'})
    if (!writes_itself(c)) return;
  kernel_ = kernel ? *kernel : utf16_kernel::available().back();
  const Encoding& target = encoding(settings.target);
  kernel_line_ends_ = utf16_kernel::line_end_rule(outcomes_->ascii(), target.form == Form::utf16, has_trait(target, kBigEndian));
}

const ByteOutcome& UnicodeText::outcome(Character c) { return outcomes_->of(c); }

bool UnicodeText::writes_itself(Character c) {
  ByteOutcome itself;
  const auto add = [&](std::uint8_t b) { itself.bytes[itself.length++] = b; };
  const Encoding& target = encoding(settings_.target);
  if (target.form == Form::utf8) encode_utf8(c, add);
  else encode_utf16(c, has_trait(target, kBigEndian), add);
  const ByteOutcome& o = outcome(c);
  return o.length == itself.length && std::equal(o.bytes.begin(), o.bytes.begin() + o.length, itself.bytes.begin());
}

void UnicodeText::write(Character c, std::uint8_t*& out) {
  if (copy_) {
    write_copied(c, out);
  } else if (fast_) {
    put(outcome(c), out);
  } else {
    PointerSink sink{out};
    processor_.process_character(c, sink);
  }
}

// A unit copied as it was read, but CR and LF, which take the line style as
// copied bytes do, each written as a unit.
void UnicodeText::write_copied(Character unit, std::uint8_t*& out) {
  struct UnitSink {
    const WideDecoder& form;
    std::uint8_t*& out;
    void put(std::span<const std::uint8_t> bytes) {
      for (const std::uint8_t b : bytes) put_unit(b, form.unit_size(), form.big_endian(), [this](std::uint8_t x) { *out++ = x; });
    }
  } sink{wide_, out};
  if (unit == '\r' || unit == '\n') {
    processor_.process_byte(static_cast<std::uint8_t>(unit), sink);
  } else {
    put_unit(unit, wide_.unit_size(), wide_.big_endian(), [&](std::uint8_t x) { *out++ = x; });
  }
}

// A character read: a UTF-8 byte-order mark at the start is skipped (UTF-16's
// and UTF-32's the decoder takes), and CR alone may be a line end.
void UnicodeText::take(Character c, std::uint8_t*& out) {
  if (form_ == Form::utf8 && std::exchange(at_start_, false) && c == WideDecoder::kByteOrderMark) return;
  if (line_ends_.passes_through()) write(c, out);
  else line_ends_.put(c, [&](Character x) { write(x, out); });
}

void UnicodeText::feed(std::uint8_t b, std::uint8_t*& out) {
  const auto emit = [&](Character c) { take(c, out); };
  if (form_ == Form::utf8) utf8_.put(b, emit);
  else wide_.put(b, emit);
}

bool UnicodeText::in_sequence() const { return form_ == Form::utf8 ? utf8_.in_sequence() : wide_.in_sequence(); }

std::size_t UnicodeText::convert(std::span<const std::uint8_t> in, std::uint8_t* out) {
  if (fast_) return convert_fast(in, out);
  std::uint8_t* o = out;
  for (const std::uint8_t b : in) feed(b, o);
  return static_cast<std::size_t>(o - out);
}

std::size_t UnicodeText::finish(std::uint8_t* out) {
  std::uint8_t* o = out;
  const auto emit = [&](Character c) { take(c, o); };
  if (form_ == Form::utf8) utf8_.finish(emit);
  else wide_.finish(emit);
  line_ends_.finish([&](Character c) { write(c, o); });
  if (copy_) {
    for (const std::uint8_t b : wide_.held()) *o++ = b;  // a unit cut short, copied too
  }
  return static_cast<std::size_t>(o - out);
}

utf16_kernel::Progress UnicodeText::run_kernel(const std::uint8_t* in, std::size_t size, std::uint8_t* out) const {
  if (form_ == Form::utf16)
    return utf16_kernel::utf16_to_utf8(*kernel_, wide_.big_endian(), outcomes_->ascii(), kernel_line_ends_, in, size, out);
  return utf16_kernel::utf8_to_utf16(*kernel_, has_trait(encoding(settings_.target), kBigEndian), outcomes_->ascii(),
                                     kernel_line_ends_, in, size, out);
}

std::size_t UnicodeText::convert_fast(std::span<const std::uint8_t> in, std::uint8_t* out) {
  std::uint8_t* o = out;
  const std::uint8_t* p = in.data();
  const std::uint8_t* const end = p + in.size();
  // A character cut at the end of the block before, and the first
  // character, which may be a byte-order mark, plainly.
  while (p < end && (in_sequence() || (form_ == Form::utf8 ? at_start_ : wide_.at_start()))) feed(*p++, o);
  const int unit = form_ == Form::utf32 ? 4 : 2;
  const bool big_endian = wide_.big_endian();
  while (p < end) {
    if (kernel_ && line_ends_.passes_through()) {
      const utf16_kernel::Progress done = run_kernel(p, static_cast<std::size_t>(end - p), o);
      p += done.taken;
      o += done.written;
      if (p == end) break;
    }
    if (form_ != Form::utf8 && end - p >= unit) {
      const std::uint32_t u = unit_at(p, unit, big_endian);
      if (form_ == Form::utf32 ? is_scalar_value(u) : !is_high_surrogate(u) && !is_low_surrogate(u)) {
        take(u, o);
        p += unit;
        continue;
      }
      if (form_ == Form::utf16 && is_high_surrogate(u) && end - p >= 4) {
        const std::uint32_t low = unit_at(p + 2, 2, big_endian);
        if (is_low_surrogate(low)) {
          take(from_surrogates(u, low), o);
          p += 4;
          continue;
        }
      }
    }
    // Ill-formed, cut by the end of the block, or UTF-8 that the kernel left:
    // the plain decoder reads on until it holds nothing.
    do feed(*p++, o);
    while (p < end && in_sequence());
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace recodia
