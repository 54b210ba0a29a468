// Which encoding a text is in: plain ASCII, UTF-8 (with a few stray bytes
// perhaps), the source encoding through which it reads most naturally, not
// text at all, or parts in different encodings. Pure functions of the bytes
// they are given; the caller reads them.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "convert/characters.hpp"
#include "convert/encoding_id.hpp"

namespace recodia {

// The detector reads at most this much of a text at once: enough to decide,
// and a buffer a pipe can keep to convert afterwards.
inline constexpr std::size_t kDetectionSampleSize = 64 * 1024;

enum class TextKind : std::uint8_t {
  ascii,        // plain ASCII: every encoding reads it alike
  utf8,         // a UTF-8 byte-order mark, or UTF-8 with non-ASCII characters and at
                // most a few stray bytes (`Detection::stray_bytes`); a sequence cut
                // off by the end of the sample counts as valid
  single_byte,  // `Detection::encoding`
  binary,       // not text (`Detection::binary`): nothing to convert
  mixed,        // parts in different encodings (only a survey of the whole text says so)
  utf16_or_32,  // `Detection::encoding`: by a byte-order mark, or by where its zero bytes fall
};

// What makes a content binary rather than text.
enum class BinarySign : std::uint8_t {
  none,
  nul_byte,       // a NUL byte (UTF-16 and UTF-32 text are answered before this is asked)
  signature,      // the start of an executable, image, archive, ... (`Detection::signature`)
  control_bytes,  // control bytes that no text holds so often
};

struct Detection {
  TextKind kind = TextKind::ascii;
  EncodingId encoding = kDos866;  // the answer: kUtf8 for UTF-8, any when ASCII or binary
  bool byte_order_mark = false;   // UTF-8, UTF-16 or UTF-32 that starts with one
  // Bits of evidence between the answer and the best candidate that reads the
  // sample differently; large when sure. 0 when no candidate reads differently.
  // For UTF-8 with few characters above ASCII, its reading's lead over the
  // best single-byte one.
  int margin_bits = 0;
  // UTF-8: the bytes of ill-formed parts, and the single-byte source through
  // which their neighbourhood reads them best.
  std::uint64_t stray_bytes = 0;
  EncodingId stray_encoding = kWindows1252;
  BinarySign binary = BinarySign::none;
  std::string_view signature;  // what the signature says it is ("PNG image")
};

// At this margin or more a single-byte answer is sure: calibrated on held-out
// text, where sure answers are wrong less than once in 10,000 (docs/detection.md).
inline constexpr int kSureMarginBits = 40;

constexpr bool is_sure(const Detection& d) {
  if (d.kind == TextKind::utf8) return d.byte_order_mark || d.margin_bits >= kSureMarginBits;
  return d.kind != TextKind::single_byte || d.margin_bits >= kSureMarginBits;
}

// Reads at most kDetectionSampleSize bytes of the sample.
Detection detect_encoding(std::span<const std::uint8_t> sample);

// Whether the start of a content shows it is not text: a NUL byte, a known
// signature (ELF, PE, Mach-O, PNG, JPEG, GIF, PDF, ZIP, gzip, bzip2, xz,
// zstd, 7z, a gettext catalogue, ...), or control bytes that no text holds so
// often. BinarySign::none for text. Looks at most at kDetectionSampleSize bytes.
struct BinaryVerdict {
  BinarySign sign = BinarySign::none;
  std::string_view what;  // for a signature, what it is
};
BinaryVerdict binary_verdict(std::span<const std::uint8_t> start);

// Whether two source encodings read every byte of the sample as the same
// character (then either answer is right).
bool reads_alike(std::span<const std::uint8_t> sample, EncodingId a, EncodingId b);

// What the sample plainly is when it is not the named source encoding: for a
// single-byte source, UTF-8 text, or another encoding that reads it
// differently and far more naturally (by kPlainMarginBits or more); for
// UTF-8, the single-byte source through which it reads best, when most of its
// bytes above ASCII are not well-formed UTF-8. Nothing when the named
// encoding is plausible.
inline constexpr int kPlainMarginBits = 48;
std::optional<Detection> plainly_other_than(std::span<const std::uint8_t> sample, EncodingId named);

// How unnatural a sequence of characters is, in eighths of a bit, in the
// language of the detector's model that it fits best (which `language` names
// when given: an index into the model's languages). Lower reads more
// naturally; comparable between texts of one length. Characters beyond the
// code pages count as letters or signs of no language.
std::int64_t text_cost(std::span<const Character> text, int* language = nullptr);

// The same where only costs up to `bound` matter: a result above `bound`
// says only that the text costs more than that (reading stops there).
std::int64_t text_cost_below(std::span<const Character> text, std::int64_t bound);

// Whether the language text_cost names for a text is one of `languages` (bit
// l: language l), worked out only as far as that needs.
bool cheapest_language_among(std::span<const Character> text, std::uint32_t languages);

// The model's cost of a text in each of its languages (as text_cost numbers
// them): text_cost is the least.
std::vector<std::int64_t> costs_by_language(std::span<const Character> text);

// text_cost of `changed`, a text as long as `text` (whose costs_by_language
// are `costs`) and mostly the same: only the pairs of neighbours where the
// two differ are weighed.
std::int64_t changed_text_cost(std::span<const Character> text, std::span<const std::int64_t> costs,
                               std::span<const Character> changed);

// What a character costs on its own in each of the model's languages (as
// text_cost numbers them; 0 beyond them), in eighths of a bit.
std::array<std::uint8_t, 32> costs_alone(Character c);

// One part of a text whose parts are in different encodings.
struct TextPart {
  Detection detection;      // its answer (never mixed or binary)
  std::uint64_t offset;     // where it starts, at the start of a line
  std::uint64_t first_line; // numbered from 1
  std::uint64_t last_line;
};

// What a survey of the whole text finds.
struct Survey {
  // The text's answer: as detect_encoding gives it for the text (its first
  // part), but binary when any block is, UTF-8 with every stray byte of the
  // whole text counted, or mixed when parts disagree; then `parts` holds them.
  Detection detection;
  std::vector<TextPart> parts;
  std::uint64_t bytes = 0, lines = 0;
};

// The whole-text check: the text handed over block by block, in order, in any
// sizes, in one pass at memory that does not grow with it. It tells whether
// the text is binary anywhere, counts UTF-8's stray bytes, and finds where
// parts in different encodings begin (to the line), each part then answered
// by the detector on its start. Parts are told apart only when each reads
// plainly otherwise than its neighbour; a text with more parts than
// kMaxSurveyParts is answered mixed with the first of them.
inline constexpr std::size_t kMaxSurveyParts = 16;

class TextSurvey {
 public:
  TextSurvey();
  ~TextSurvey();
  TextSurvey(TextSurvey&&) noexcept;
  TextSurvey& operator=(TextSurvey&&) noexcept;

  void add(std::span<const std::uint8_t> block);
  // Whether the text has shown that it is binary: nothing after can change that.
  bool found_binary() const;
  // The verdict; the survey is spent.
  Survey finish();

 private:
  class State;
  std::unique_ptr<State> state_;
};

// The survey of a text held whole.
Survey survey_text(std::span<const std::uint8_t> text);

}  // namespace recodia
