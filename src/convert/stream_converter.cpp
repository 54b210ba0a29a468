#include "convert/stream_converter.hpp"

#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "convert/pages.hpp"
#include "convert/registry.hpp"
#include "convert/unicode_text.hpp"
#include "convert/utf8.hpp"
#include "convert/kernels/avx512_vbmi2.hpp"
#include "convert/kernels/byte_tables.hpp"

namespace recodia {
namespace {

namespace wide = kernels::avx512;

struct VectorSink {
  std::vector<std::uint8_t>& out;
  void put(std::span<const std::uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
};

struct PointerSink {
  std::uint8_t*& out;
  void put(std::span<const std::uint8_t> bytes) {
    std::memcpy(out, bytes.data(), bytes.size());
    out += bytes.size();
  }
};

constexpr Character kByteOrderMark = 0xFEFF;

}  // namespace

// Text read as UTF-8. On the table path each character's outcome is worked
// out once, when the character first occurs, and kept in pages of 64 (the
// Basic Multilingual Plane, at most 1 MiB); the decoding takes well-formed
// sequences inline and leaves everything else to the plain decoder. An
// outcome never depends on the quotation context here: UTF-8's quotation
// marks are passed on as they are.
class StreamConverter::Utf8Text {
 public:
  Utf8Text(const ConversionSettings& settings, ConversionPath path, kernels::Kernel kernel)
      : processor_(settings),
        fast_(path == ConversionPath::table),
        kernel_(kernel),
        wide_(fast_ && (kernel == kernels::Kernel::avx512 || kernel == kernels::Kernel::avx2)) {
    if (!fast_) return;  // the plain path works out each character as it comes
    outcomes_.emplace(processor_);
    if (!wide_) return;
    // ASCII, Latin-1 and Cyrillic, as the wide kernel reads them; it serves
    // only where most of them write one byte each.
    int single = 0;
    for (std::size_t table = 0; table < 2; ++table) {
      for (Character low = 0; low < 256; ++low) {
        const ByteOutcome& o = outcome((table == 0 ? 0 : 0x400) | low);
        narrow_outcome_[table][low] = o;
        narrow_single_[table][low] = wide::single_byte_of(o);
        narrow_kind_[table][low] = wide::kind_of(o);
        single += o.length <= 1;
        // The same as bit sets, for the 32-byte reader.
        const std::size_t at = (low >> 7) << 4 | (low & 15);
        const auto bit = static_cast<std::uint8_t>(1u << (low >> 4 & 7));
        if (o.length != 1) narrow_not_one_[table][at] |= bit;
        if (o.length == 0) narrow_nothing_[table][at] |= bit;
        if (table == 0 && low < 0x80 && o.length == 1 && o.bytes[0] != low) ascii_as_it_is_ = false;
      }
    }
    wide_ = single >= 256;
  }

  // Converts `in` into `out`, which must hold 16 bytes for each input byte
  // and 64 more; returns the number of bytes written.
  std::size_t convert(std::span<const std::uint8_t> in, std::uint8_t* out) {
    return fast_ ? convert_fast(in, out) : convert_plain(in, out);
  }

  std::size_t finish(std::uint8_t* out) {
    std::uint8_t* o = out;
    if (stray_page_ == nullptr) {
      decoder_.finish([&](Character c) { write(c, o); });
    } else {
      decoder_.finish_stray([&](std::span<const std::uint8_t> bytes) {
        for (const std::uint8_t s : bytes) {
          const Character c = stray_page_->characters[s];
          write(c == kNoCharacter ? kReplacementCharacter : c, o);
        }
      });
    }
    return static_cast<std::size_t>(o - out);
  }

  std::uint64_t replaced() const { return decoder_.replaced(); }

  void read_stray_bytes_as(EncodingId source) { stray_page_ = &read_page(source); }

 private:
  // One byte to the plain decoder; the bytes of an ill-formed part as the
  // stray bytes' code page reads them, when one is set.
  template <class Emit>
  void decode(std::uint8_t b, Emit&& emit) {
    if (stray_page_ == nullptr) return decoder_.put(b, emit);
    decoder_.put(b, emit, [&](std::span<const std::uint8_t> bytes) {
      for (const std::uint8_t s : bytes) {
        const Character c = stray_page_->characters[s];
        emit(c == kNoCharacter ? kReplacementCharacter : c);
      }
    });
  }

  const ByteOutcome& outcome(Character c) { return outcomes_->of(c); }

  // Copies the whole entry and advances by its length: no branch per character.
  static void put(const ByteOutcome& o, std::uint8_t*& out) {
    std::memcpy(out, &o, sizeof o);
    out += o.length;
  }

  // A character that the plain decoder read; a byte-order mark at the start of
  // the text is skipped.
  void write(Character c, std::uint8_t*& out) {
    if (std::exchange(at_start_, false) && c == kByteOrderMark) return;
    if (!fast_) {
      PointerSink sink{out};
      processor_.process_character(c, sink);
      return;
    }
    put(outcome(c), out);
  }

  std::size_t convert_plain(std::span<const std::uint8_t> in, std::uint8_t* out) {
    std::uint8_t* o = out;
    for (const std::uint8_t b : in) decode(b, [&](Character c) { write(c, o); });
    return static_cast<std::size_t>(o - out);
  }

  std::size_t convert_fast(std::span<const std::uint8_t> in, std::uint8_t* out) {
    std::uint8_t* o = out;
    const std::uint8_t* p = in.data();
    const std::uint8_t* const end = p + in.size();
    auto read_plainly = [&](Character c) { write(c, o); };
    // A sequence cut at the end of the block before, and the first character.
    while (p < end && (decoder_.in_sequence() || at_start_)) decode(*p++, read_plainly);
    // Where the wide kernel stops, a stretch of characters one at a time.
    const std::uint8_t* wide_again = p;
    while (end - p >= 4) {
      if (wide_ && p >= wide_again) {
        const kernels::Progress done = read_wide(p, static_cast<std::size_t>(end - p), o);
        p += done.taken;
        o += done.written;
        // Back to it after the character that stopped it, unless it got
        // nowhere: then after a stretch.
        wide_again = done.taken < 16 ? p + 64 : p;
        if (end - p < 4) break;
      }
      const std::uint8_t b = p[0];
      if (b < 0x80) {
        put(outcomes_->ascii()[b], o);
        ++p;
        continue;
      }
      const std::uint8_t b1 = p[1];
      if (b >= 0xC2 && b <= 0xDF && (b1 & 0xC0) == 0x80) {
        put(outcome((b & 0x1Fu) << 6 | (b1 & 0x3Fu)), o);
        p += 2;
        continue;
      }
      const std::uint8_t b2 = p[2];
      // E0 and ED narrow the second byte (no overlong forms, no surrogates).
      if (b >= 0xE0 && b <= 0xEF && (b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80 && (b != 0xE0 || b1 >= 0xA0) &&
          (b != 0xED || b1 < 0xA0)) {
        put(outcome((b & 0x0Fu) << 12 | (b1 & 0x3Fu) << 6 | (b2 & 0x3Fu)), o);
        p += 3;
        continue;
      }
      const std::uint8_t b3 = p[3];
      // F0 and F4 narrow it too (no overlong forms, nothing above U+10FFFF).
      if (b >= 0xF0 && b <= 0xF4 && (b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80 && (b3 & 0xC0) == 0x80 &&
          (b != 0xF0 || b1 >= 0x90) && (b != 0xF4 || b1 < 0x90)) {
        put(outcome((b & 0x07u) << 18 | (b1 & 0x3Fu) << 12 | (b2 & 0x3Fu) << 6 | (b3 & 0x3Fu)), o);
        p += 4;
        continue;
      }
      // Ill-formed: the plain decoder reads on until it holds nothing.
      do decode(*p++, read_plainly);
      while (decoder_.in_sequence() && p < end);
    }
    while (p < end) decode(*p++, read_plainly);
    return static_cast<std::size_t>(o - out);
  }

  // Reads on with the kernel's wide reader, as far as it goes.
  kernels::Progress read_wide(const std::uint8_t* in, std::size_t size, std::uint8_t* out) const {
    if (kernel_ == kernels::Kernel::avx2)
      return kernels::read_utf8_avx2({narrow_single_, narrow_not_one_, narrow_nothing_, narrow_outcome_, ascii_as_it_is_},
                                     in, size, out);
    const wide::Progress done = wide::read_utf8({narrow_single_, narrow_kind_, narrow_outcome_}, in, size, out);
    return {done.taken, done.written};
  }

  ByteProcessor processor_;
  const bool fast_;
  const kernels::Kernel kernel_;
  bool wide_;  // the wide kernel reads on where it can
  Utf8Decoder decoder_;
  const CodePage* stray_page_ = nullptr;
  bool at_start_ = true;
  std::optional<CharacterOutcomes> outcomes_;  // the fast path's
  alignas(64) std::array<std::array<std::uint8_t, 256>, 2> narrow_single_{};
  alignas(64) std::array<std::array<std::uint8_t, 256>, 2> narrow_kind_{};
  std::array<std::array<ByteOutcome, 256>, 2> narrow_outcome_{};
  std::array<std::array<std::uint8_t, 32>, 2> narrow_not_one_{}, narrow_nothing_{};
  bool ascii_as_it_is_ = true;
};

StreamConverter::StreamConverter(const ConversionSettings& given, ConversionPath path, StreamMode mode,
                                 kernels::Kernel kernel)
    : passing_(mode == StreamMode::pass_through ? std::make_unique<ConversionSettings>(written_as_it_is(given))
                                                : nullptr),
      source_((passing_ ? *passing_ : given).source),
      line_ends_(given.line_style) {
  const ConversionSettings& settings = passing_ ? *passing_ : given;
  const Encoding& target = encoding(settings.target);
  if (target.form == Form::utf16 && !settings.no_encoding && !settings.continues_text)
    encode_utf16(kByteOrderMark, has_trait(target, kBigEndian), [this](std::uint8_t b) { start_.push_back(b); });
  if (UnicodeText::serves(settings)) {
    unicode_ = std::make_unique<UnicodeText>(settings, path);
    return;
  }
  if (settings.source == kUtf8 && !settings.no_encoding) {
    utf8_ = std::make_unique<Utf8Text>(settings, path, kernel);
    return;
  }
  if (path == ConversionPath::table) table_ = OutcomeTable::build(settings, kernel);
  // Without a table (an outcome too long for an entry) the reference path does the work.
  if (!table_) reference_.emplace(settings);
}

StreamConverter::~StreamConverter() = default;

std::uint8_t* StreamConverter::room(std::size_t size) {
  if (room_size_ < size) {
    room_.reset(new std::uint8_t[size]);
    room_size_ = size;
  }
  return room_.get();
}

std::span<const std::uint8_t> StreamConverter::convert(std::span<const std::uint8_t> block) {
  std::span<const std::uint8_t> out;
  if (unicode_) {
    std::uint8_t* room_for = room(UnicodeText::capacity_for(block.size()));
    out = {room_for, unicode_->convert(block, room_for)};
  } else {
    out = convert_read(line_ends_.filter(block));
  }
  if (started_ || block.empty()) return out;
  // A UTF-16 target's byte-order mark before the text.
  started_ = true;
  if (start_.empty()) return out;
  start_.insert(start_.end(), out.begin(), out.end());
  return start_;
}

std::span<const std::uint8_t> StreamConverter::convert_read(std::span<const std::uint8_t> block) {
  if (utf8_) {
    std::uint8_t* out = room(block.size() * 16 + 64);
    return {out, utf8_->convert(block, out)};
  }
  if (table_ && table_->copies_input()) return block;  // "-noenc -noaltlf": nothing changes
  if (table_) {
    std::uint8_t* out = room(table_->capacity_for(block.size()));
    return {out, table_->convert(block.data(), block.size(), out, opening_)};
  }
  reference_output_.clear();
  VectorSink sink{reference_output_};
  for (const std::uint8_t b : block) reference_->process_byte(b, sink);
  return reference_output_;
}

std::span<const std::uint8_t> StreamConverter::finish() {
  if (unicode_) {
    std::uint8_t* out = room(UnicodeText::capacity_for(0));
    return {out, unicode_->finish(out)};
  }
  // The CRs held at the end of a text that may end its lines in CR alone,
  // then a UTF-8 sequence cut short there.
  tail_.clear();
  if (const std::span<const std::uint8_t> held = line_ends_.finish(); !held.empty()) {
    const std::span<const std::uint8_t> out = convert_read(held);
    tail_.assign(out.begin(), out.end());
  }
  if (utf8_) {
    std::uint8_t* out = room(64);
    tail_.insert(tail_.end(), out, out + utf8_->finish(out));
  }
  return tail_;
}

std::uint64_t StreamConverter::replaced() const {
  return unicode_ ? unicode_->replaced() : utf8_ ? utf8_->replaced() : 0;
}

void StreamConverter::read_stray_bytes_as(EncodingId source) {
  if (utf8_) utf8_->read_stray_bytes_as(source);
}

}  // namespace recodia
