#include "convert/detect.hpp"

#include <algorithm>
#include <array>
#include <bitset>
#include <limits>
#include <vector>

#include "convert/box_drawing.hpp"
#include "convert/detect_model.hpp"
#include "convert/pages.hpp"
#include "convert/registry.hpp"
#include "convert/utf16_detect.hpp"
#include "convert/utf8.hpp"

namespace recodia {
namespace {

namespace model = detect_model;
using Cost = std::int64_t;  // eighths of a bit, as the model counts

// A byte as its source reads it, the converter's own reading; 0 for a byte
// that the source leaves undefined.
constexpr char32_t character_or_nul(Character c) { return c == kNoCharacter ? 0 : c; }

char32_t read_byte(EncodingId id, std::uint8_t b) { return character_or_nul(read_page(id).characters[b]); }

// The bytes that some source reads otherwise than ASCII does.
constexpr bool reads_as_ascii(std::uint8_t b) { return b < 0x80 && b != '$'; }

struct ByteClass {
  std::uint8_t symbol = model::kControl;
  model::LetterCase letter_case = model::kNoCase;
  bool drawing = false;  // box drawing or a block, with the lines on its two sides
  box_drawing::Line left = box_drawing::kNone, right = box_drawing::kNone;
};
using ByteClasses = std::array<ByteClass, 256>;

// The class of a character; 0, an undefined byte, is a control like NUL.
constexpr ByteClass class_of(char32_t c) {
  if (c < 0x80) return {model::kAscii[c].symbol, model::kAscii[c].letter_case};
  const auto& table = model::kNonAscii;
  const auto* it = std::lower_bound(table.begin(), table.end(), c,
                                    [](const model::CharClass& e, char32_t v) { return e.character < v; });
  if (it == table.end() || it->character != c)
    throw "a code page character that the model does not know: run tools/gen_detect_model.py again";
  ByteClass out{it->symbol, it->letter_case};
  for (const box_drawing::Sides& d : box_drawing::kSides)
    if (d.character == c) out.drawing = true, out.left = d.left, out.right = d.right;
  return out;
}

// The model learnt from prose, where box drawing is what a wrong code page
// makes of letters. In a drawn table it is the text itself: two box-drawing
// characters whose sides meet with the same line (── ┬─ ═╗), or a vertical
// line beside a space (│ ║), cost this, in any language; a line that breaks
// off, or runs into a letter, costs what the model says. (A corner beside a
// space is left to the model: that is what a wrong code page makes of a
// one-letter word such as à.)
constexpr Cost kJoinedLineCost = 8;

constexpr bool is_vertical_line(const ByteClass& c) {
  return c.drawing && c.left == box_drawing::kNone && c.right == box_drawing::kNone;
}

constexpr bool joins(const ByteClass& x, const ByteClass& y) {
  if (x.drawing && y.drawing) return x.right == y.left;
  return (is_vertical_line(x) && y.symbol == model::kBreak) || (x.symbol == model::kBreak && is_vertical_line(y));
}

constexpr std::array<ByteClasses, kEncodingCount> build_classes() {
  std::array<ByteClasses, kEncodingCount> all{};
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) continue;
    const CodePage page = read_page_of(e);
    for (std::size_t b = 0; b < 256; ++b)
      all[static_cast<std::size_t>(e.id)][b] = class_of(character_or_nul(page.characters[b]));
  }
  return all;
}

constexpr std::array<ByteClasses, kEncodingCount> kClasses = build_classes();

// The order in which encodings that read a sample alike are preferred: the
// more widespread first.
constexpr std::array<EncodingId, 20> kPreference = {
    kWindows1251, kKoi8r,     kDos866,     kKoi8u,     kIso8859_5, kMacCyrillic, kMacUkrainian,
    kDos855,      kIsoIr111,  kKx,         kKoi7,      kWindows1252, kIso8859_15, kIso8859_1,
    kWindows1254, kIso8859_9, kDos850,     kDos857,    kMacRoman,    kMacTurkish,
};

// KOI-7's 8-bit form reads the signs of other code pages' upper halves as
// ASCII punctuation, which any text may hold: choosing it takes evidence.
constexpr Cost kKoi7Doubt = 16 * 8;

constexpr std::array<Cost, kEncodingCount> preference_costs() {
  std::array<Cost, kEncodingCount> c{};
  for (std::size_t i = 0; i < kPreference.size(); ++i) c[static_cast<std::size_t>(kPreference[i])] = static_cast<Cost>(i);
  c[kKoi7] += kKoi7Doubt;
  return c;
}
constexpr std::array<Cost, kEncodingCount> kPreferenceCost = preference_costs();

constexpr int kLanguageCount = static_cast<int>(model::kLanguages.size());

constexpr Cost pair_cost(const model::Language& l, std::uint8_t a, std::uint8_t b) {
  return l.pair_cost[l.slot[a] * l.slots + l.slot[b]] + l.within[b];
}

using LanguageCosts = std::array<std::uint16_t, kLanguageCount>;

// The cost of a symbol pair in every language, worked out once per sample:
// different sources often read different bytes as the same pair.
class SymbolPairCosts {
 public:
  const LanguageCosts& of(std::uint8_t a, std::uint8_t b) {
    std::int32_t& at = index_[static_cast<std::size_t>(a * model::kSymbolCount + b)];
    if (at < 0) {
      at = static_cast<std::int32_t>(rows_.size());
      LanguageCosts& row = rows_.emplace_back();
      for (int l = 0; l < kLanguageCount; ++l) row[l] = static_cast<std::uint16_t>(pair_cost(model::kLanguages[l], a, b));
    }
    return rows_[static_cast<std::size_t>(at)];
  }

 private:
  std::vector<std::int32_t> index_ = std::vector<std::int32_t>(model::kSymbolCount * model::kSymbolCount, -1);
  std::vector<LanguageCosts> rows_;
};

constexpr bool has_byte_order_mark(std::span<const std::uint8_t> s) {
  return s.size() >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF;
}

std::span<const std::uint8_t> bounded(std::span<const std::uint8_t> sample) {
  return sample.first(std::min(sample.size(), kDetectionSampleSize));
}

// How often each pair of neighbouring bytes occurs, for bytes below `values`.
struct PairCounts {
  PairCounts(unsigned values, std::span<std::uint32_t> zeroed) : values(values), count(zeroed) {}
  void add(std::uint8_t first, std::uint8_t second) {
    const auto pair = static_cast<std::uint16_t>(first * values + second);
    if (count[pair]++ == 0) pairs.push_back(pair);
    ++total;
  }
  std::uint8_t first(std::uint16_t pair) const { return static_cast<std::uint8_t>(pair / values); }
  std::uint8_t second(std::uint16_t pair) const { return static_cast<std::uint8_t>(pair % values); }

  unsigned values;
  std::span<std::uint32_t> count;  // values times values
  std::vector<std::uint16_t> pairs;  // the distinct pairs, first byte times `values` plus second
  Cost total = 0;
};

// What one pass over the sample learns: how it reads as UTF-8, which bytes occur,
// and how often each pair of neighbouring bytes does (each line starts after a
// line end), in the lines that hold a byte above ASCII and, apart, in the
// lines of plain ASCII.
struct SampleStatistics {
  SampleStatistics() = default;
  SampleStatistics(const SampleStatistics&) = delete;  // the counts point into `counts`
  SampleStatistics(SampleStatistics&&) = default;      // which keeps its block when moved
  // The characters above ASCII that the sample reads as in UTF-8, and how many
  // of them replace ill-formed bytes; a sequence cut by the sample's end is forgiven.
  std::uint64_t utf8_characters = 0, utf8_replaced = 0;
  // Valid UTF-8 with a character above ASCII.
  bool utf8() const { return utf8_replaced == 0 && utf8_characters > 0; }
  // Text named as UTF-8 that is mostly not: more of its characters above
  // ASCII are ill-formed than well-formed. A few stray bytes in UTF-8 text do
  // not make it another encoding.
  bool mostly_ill_formed() const { return utf8_replaced > utf8_characters - utf8_replaced; }
  std::bitset<256> bytes;
  // Both counts in one block: a second block as large made the allocator
  // hand memory back and fetch it again on every call.
  std::vector<std::uint32_t> counts = std::vector<std::uint32_t>(256 * 256 + 128 * 128);
  PairCounts pairs{256, std::span(counts).first(256 * 256)};
  PairCounts ascii_lines{128, std::span(counts).subspan(256 * 256)};
};

SampleStatistics gather(std::span<const std::uint8_t> sample) {
  SampleStatistics s;
  Utf8Decoder utf8;
  for (auto start = sample.begin(); start != sample.end();) {
    auto end = std::find(start, sample.end(), '\n');
    if (end != sample.end()) ++end;
    bool high = false;
    for (auto it = start; it != end; ++it) {
      utf8.put(*it, [&](Character c) { s.utf8_characters += c >= 0x80; });
      s.bytes.set(*it);
      high = high || *it >= 0x80;
    }
    PairCounts& counts = high ? s.pairs : s.ascii_lines;
    std::uint8_t previous = '\n';
    for (auto it = start; it != end; previous = *it++) counts.add(previous, *it);
    start = end;
  }
  s.utf8_replaced = utf8.replaced();
  return s;
}

bool has_non_ascii(const std::bitset<256>& bytes) {
  for (int b = 0x80; b < 256; ++b)
    if (bytes.test(static_cast<std::size_t>(b))) return true;
  return false;
}

bool alike_on(const std::bitset<256>& bytes, EncodingId a, EncodingId b) {
  for (int i = 0; i < 256; ++i)
    if (bytes.test(static_cast<std::size_t>(i)) && !reads_as_ascii(static_cast<std::uint8_t>(i)) &&
        read_byte(a, static_cast<std::uint8_t>(i)) != read_byte(b, static_cast<std::uint8_t>(i)))
      return false;
  return true;
}

// The cost of the sample through every source encoding. The pairs that every
// source reads alike only choose the language by which the others are judged,
// so that a long stretch of ASCII in one language cannot outweigh the letters
// that tell the encodings apart.
std::array<Cost, kEncodingCount> score_sources(const SampleStatistics& s) {
  std::array<Cost, kLanguageCount> shared{};
  std::array<std::array<Cost, kLanguageCount>, kEncodingCount> own{};
  std::array<Cost, kEncodingCount> fixed{};  // the same in every language
  // Sources that read every byte of the sample alike score alike: the first
  // of them is scored for all.
  std::array<EncodingId, kEncodingCount> scored_as{};
  std::vector<EncodingId> scored;
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) continue;
    const auto twin = std::find_if(scored.begin(), scored.end(), [&](EncodingId r) { return alike_on(s.bytes, e.id, r); });
    scored_as[e.id] = twin == scored.end() ? e.id : *twin;
    if (twin == scored.end()) scored.push_back(e.id);
  }
  const ByteClasses& ascii = kClasses[kDos866];
  SymbolPairCosts costs;
  for (std::uint16_t pair : s.pairs.pairs) {
    const std::uint8_t a = s.pairs.first(pair), b = s.pairs.second(pair);
    const Cost n = s.pairs.count[pair];
    if (reads_as_ascii(a) && reads_as_ascii(b)) {
      const LanguageCosts& cost = costs.of(ascii[a].symbol, ascii[b].symbol);
      for (int l = 0; l < kLanguageCount; ++l) shared[l] += n * cost[l];
      continue;
    }
    for (EncodingId id : scored) {
      const ByteClass x = kClasses[id][a], y = kClasses[id][b];
      if (joins(x, y)) {
        fixed[id] += n * kJoinedLineCost;
        continue;
      }
      fixed[id] += n * model::kCaseCost[x.letter_case][y.letter_case];
      const LanguageCosts& cost = costs.of(x.symbol, y.symbol);
      for (int l = 0; l < kLanguageCount; ++l) own[id][l] += n * cost[l];
    }
  }
  // The lines of plain ASCII choose the language too, but weigh at most as
  // much as the lines with the letters that tell the encodings apart: in a
  // text that mixes them (English around Russian, a program with Russian
  // comments) they are often in a language that none of these encodings serves.
  std::array<Cost, kLanguageCount> plain{};
  for (std::uint16_t pair : s.ascii_lines.pairs) {
    const std::uint8_t a = s.ascii_lines.first(pair), b = s.ascii_lines.second(pair);
    const LanguageCosts& cost = costs.of(ascii[a].symbol, ascii[b].symbol);
    for (int l = 0; l < kLanguageCount; ++l) plain[l] += s.ascii_lines.count[pair] * cost[l];
  }
  const Cost weight = std::min(s.ascii_lines.total, s.pairs.total);
  for (int l = 0; l < kLanguageCount; ++l) shared[l] += plain[l] * weight / std::max<Cost>(1, s.ascii_lines.total);
  std::array<Cost, kEncodingCount> total{};
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) {
      total[e.id] = std::numeric_limits<Cost>::max();
      continue;
    }
    const EncodingId id = scored_as[e.id];
    int language = 0;
    for (int l = 1; l < kLanguageCount; ++l)
      if (own[id][l] + shared[l] < own[id][language] + shared[language]) language = l;
    total[e.id] = own[id][language] + fixed[id] + kPreferenceCost[e.id];
  }
  return total;
}

EncodingId cheapest(const std::array<Cost, kEncodingCount>& total) {
  return static_cast<EncodingId>(std::min_element(total.begin(), total.end()) - total.begin());
}

// UTF-8 and plain ASCII, which need no weighing of the single-byte encodings.
std::optional<Detection> without_weighing(std::span<const std::uint8_t> sample, const SampleStatistics& s) {
  if (has_byte_order_mark(sample)) return Detection{TextKind::utf8, kUtf8, true, 0};
  if (s.utf8()) return Detection{TextKind::utf8, kUtf8, false, 0};
  if (!has_non_ascii(s.bytes)) return Detection{};
  return std::nullopt;
}

int bits(Cost eighths) { return static_cast<int>(std::min<Cost>(eighths / 8, std::numeric_limits<int>::max())); }

// The single-byte source through which a sample with bytes above ASCII reads
// best, and its margin over the best that reads it differently.
Detection weigh(const SampleStatistics& s) {
  const std::array<Cost, kEncodingCount> total = score_sources(s);
  const EncodingId best = cheapest(total);
  Cost runner_up = std::numeric_limits<Cost>::max();
  for (const Encoding& e : kEncodings)
    if (is_single_byte_source(e) && !alike_on(s.bytes, e.id, best)) runner_up = std::min(runner_up, total[e.id]);
  const int margin = runner_up == std::numeric_limits<Cost>::max() ? 0 : bits(runner_up - total[best]);
  return {TextKind::single_byte, best, false, margin};
}

}  // namespace

bool reads_alike(std::span<const std::uint8_t> sample, EncodingId a, EncodingId b) {
  std::bitset<256> bytes;
  for (std::uint8_t c : sample) bytes.set(c);
  return alike_on(bytes, a, b);
}

Detection detect_encoding(std::span<const std::uint8_t> sample) {
  sample = bounded(sample);
  if (const auto wide = detect_utf16_or_32(sample)) return *wide;
  const SampleStatistics s = gather(sample);
  if (const auto plain = without_weighing(sample, s)) return *plain;
  return weigh(s);
}

std::optional<Detection> plainly_other_than(std::span<const std::uint8_t> sample, EncodingId named) {
  sample = bounded(sample);
  // UTF-16 and UTF-32 are plainly what their units show, or plainly not.
  if (const auto wide = detect_utf16_or_32(sample)) return reads_as_named(*wide, named) ? std::nullopt : wide;
  if (is_wide_unicode(encoding(named))) {
    const Detection d = detect_encoding(sample);
    return d.kind != TextKind::ascii && is_sure(d) ? std::optional(d) : std::nullopt;
  }
  const SampleStatistics s = gather(sample);
  if (const auto plain = without_weighing(sample, s))
    return plain->kind == TextKind::utf8 && named != kUtf8 ? plain : std::nullopt;
  if (named == kUtf8) return s.mostly_ill_formed() ? std::optional(weigh(s)) : std::nullopt;
  const std::array<Cost, kEncodingCount> total = score_sources(s);
  const EncodingId best = cheapest(total);
  const int margin = bits(total[named] - total[best]);
  if (alike_on(s.bytes, best, named) || margin < kPlainMarginBits) return std::nullopt;
  return Detection{TextKind::single_byte, best, false, margin};
}

}  // namespace recodia
