#include "convert/detect.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "convert/box_drawing.hpp"
#include "convert/detect_model.hpp"
#include "convert/detect_common.hpp"
#include "convert/pages.hpp"
#include "convert/registry.hpp"
#include "convert/utf16_detect.hpp"
#include "convert/utf8.hpp"

namespace recodia {
namespace {

namespace model = detect_model;
using detection::ByteClass;
using detection::Cost;

constexpr char32_t character_or_nul(Character c) { return c == kNoCharacter ? 0 : c; }

char32_t read_byte(EncodingId id, std::uint8_t b) { return character_or_nul(read_page(id).characters[b]); }

// The bytes that some source reads otherwise than ASCII does.
constexpr bool reads_as_ascii(std::uint8_t b) { return b < 0x80 && b != '$'; }

// A set of byte values, 64 to a word.
using ByteSet = std::array<std::uint64_t, 4>;

constexpr bool in(const ByteSet& set, std::uint8_t b) { return set[b >> 6] >> (b & 63) & 1; }

// For every two sources, the bytes that they read as different characters.
constexpr auto read_differently() {
  std::array<CodePage, kEncodingCount> pages{};
  for (const Encoding& e : kEncodings)
    if (is_single_byte_source(e)) pages[static_cast<std::size_t>(e.id)] = read_page_of(e);
  std::array<std::array<ByteSet, kEncodingCount>, kEncodingCount> out{};
  // Each pair once, and only the bytes that not every source reads as ASCII:
  // few enough steps for any compiler's constant evaluation.
  for (std::size_t a = 0; a < pages.size(); ++a) {
    if (!is_single_byte_source(kEncodings[a])) continue;
    for (std::size_t b = a + 1; b < pages.size(); ++b) {
      if (!is_single_byte_source(kEncodings[b])) continue;
      ByteSet differ{};
      for (std::size_t x = 0x80; x < 256; ++x)
        if (pages[a].characters[x] != pages[b].characters[x]) differ[x >> 6] |= std::uint64_t{1} << (x & 63);
      if (pages[a].characters['$'] != pages[b].characters['$']) differ[0] |= std::uint64_t{1} << '$';
      out[a][b] = out[b][a] = differ;
    }
  }
  return out;
}
constexpr auto kReadDifferently = read_differently();

// Where the model has a character above ASCII, or kNonAscii.size() (an index,
// not a pointer: a pointer compared with null is no constant under the
// address sanitizer).
constexpr std::size_t find_class(char32_t c) {
  const auto& table = model::kNonAscii;
  const auto* it = std::lower_bound(table.begin(), table.end(), c,
                                    [](const model::CharClass& e, char32_t v) { return e.character < v; });
  return it == table.end() || it->character != c ? table.size() : static_cast<std::size_t>(it - table.begin());
}

constexpr ByteClass with_drawing(ByteClass out, char32_t c) {
  if (c < 0x2500 || c > 0x25FF) return out;  // box drawing and blocks only
  for (const box_drawing::Sides& d : box_drawing::kSides)
    if (d.character == c) out.drawing = true, out.left = d.left, out.right = d.right;
  return out;
}

// The class of a code page's character; 0, an undefined byte, is a control like NUL.
constexpr ByteClass class_of(char32_t c) {
  if (c < 0x80) return {model::kAscii[c].symbol, model::kAscii[c].letter_case};
  const std::size_t at = find_class(c);
  if (at == model::kNonAscii.size()) throw "a code page character that the model does not know: run tools/gen_detect_model.py again";
  return with_drawing({model::kNonAscii[at].symbol, model::kNonAscii[at].letter_case}, c);
}

using ByteClasses = std::array<ByteClass, 256>;

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

// For every source, the bytes above ASCII that it reads as Cyrillic letters.
constexpr std::array<ByteSet, kEncodingCount> cyrillic_letters() {
  std::array<ByteSet, kEncodingCount> out{};
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) continue;
    const CodePage page = read_page_of(e);
    for (std::size_t b = 0x80; b < 256; ++b)
      if (is_cyrillic_letter(page.characters[b])) out[static_cast<std::size_t>(e.id)][b >> 6] |= std::uint64_t{1} << (b & 63);
  }
  return out;
}
constexpr std::array<ByteSet, kEncodingCount> kCyrillicLetters = cyrillic_letters();

// A Cyrillic letter written against a Latin one, in one word: what a
// Cyrillic code page makes of a Latin text's accented letter ("kleineяletters"),
// and seldom what a writer does.
constexpr Cost kMixedScriptCost = 4 * 8;

// For every source, the bytes it reads as a low opening quote („ ‚), and as
// the right double quote (”).
constexpr std::array<ByteSet, kEncodingCount> bytes_read_as(char32_t one, char32_t other) {
  std::array<ByteSet, kEncodingCount> out{};
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) continue;
    const CodePage page = read_page_of(e);
    for (std::size_t b = 0x80; b < 256; ++b)
      if (page.characters[b] == one || page.characters[b] == other) out[static_cast<std::size_t>(e.id)][b >> 6] |= std::uint64_t{1} << (b & 63);
  }
  return out;
}
constexpr std::array<ByteSet, kEncodingCount> kLowQuotes = bytes_read_as(U'„', U'‚'), kRightQuotes = bytes_read_as(U'”', U'”');

// A low opening quote after a letter, or a right double quote before one, is
// what a Windows code page makes of a DOS page's letter ("tyhjenn„" for
// "tyhjennä", "sy”te" for "syöte"); writers set them the other way round.
constexpr Cost kQuoteAgainstWordCost = 8 * 8;

// KOI-7 with no Cyrillic letter is a Latin text's no-break spaces and signs
// read as its ASCII punctuation: its doubt counts twice.
constexpr bool reads_cyrillic_letters(const ByteSet& bytes, EncodingId id) {
  const ByteSet& cyrillic = kCyrillicLetters[static_cast<std::size_t>(id)];
  return ((bytes[2] & cyrillic[2]) | (bytes[3] & cyrillic[3])) != 0;
}

constexpr bool is_ascii_letter(std::uint8_t b) { return (b | 0x20) >= 'a' && (b | 0x20) <= 'z'; }

constexpr bool mixes_scripts(EncodingId id, std::uint8_t a, std::uint8_t b) {
  const ByteSet& cyrillic = kCyrillicLetters[static_cast<std::size_t>(id)];
  return (is_ascii_letter(a) && in(cyrillic, b)) || (is_ascii_letter(b) && in(cyrillic, a));
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

// A C1 control or an undefined byte: no text holds one, whatever the
// model learnt of the rare characters beside it (the no-break space).
constexpr Cost kForeignControlCost = 16 * 8;

// KOI-7's 8-bit form reads the signs of other code pages' upper halves as
// ASCII punctuation, which any text may hold: choosing it takes evidence.
constexpr Cost kKoi7Doubt = 16 * 8;

// Where several sources read a sample alike, the registry's rank decides, by
// a fraction of a bit.
constexpr std::array<Cost, kEncodingCount> preference_costs() {
  std::array<Cost, kEncodingCount> c{};
  for (const Encoding& e : kEncodings) c[static_cast<std::size_t>(e.id)] = e.detection_rank;
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
// different sources often read different bytes as the same pair. The index
// (32 KiB, every symbol pair) is small enough to take from the heap as it is.
class SymbolPairCosts {
 public:
  // Room for about as many rows as the sample will make, taken once: rows
  // that move cost their copies' pages (64 KiB of Russian makes over 4,096).
  explicit SymbolPairCosts(Cost pairs) { rows_.reserve(static_cast<std::size_t>(std::clamp<Cost>(pairs / 4, 256, 8192))); }
  const LanguageCosts& of(std::uint8_t a, std::uint8_t b) {
    std::uint16_t& at = index_[static_cast<std::size_t>(a * model::kSymbolCount + b)];
    if (at == 0) {
      LanguageCosts& row = rows_.emplace_back();
      for (int l = 0; l < kLanguageCount; ++l) row[l] = static_cast<std::uint16_t>(pair_cost(model::kLanguages[l], a, b));
      at = static_cast<std::uint16_t>(rows_.size());
    }
    return rows_[at - 1u];
  }

 private:
  std::vector<std::uint16_t> index_ = std::vector<std::uint16_t>(model::kSymbolCount * model::kSymbolCount);  // row plus one
  std::vector<LanguageCosts> rows_;
};

// A character's class, whatever the character: those of the code pages as the
// model has them, other letters as letters of no language, the rest as signs.
ByteClass class_of_any_looked_up(Character c) {
  if (c < 0x80) return {model::kAscii[c].symbol, model::kAscii[c].letter_case};
  if (const std::size_t at = find_class(c); at < model::kNonAscii.size())
    return {model::kNonAscii[at].symbol, model::kNonAscii[at].letter_case};
  if (is_cyrillic_letter(c) || (c >= 0xC0 && c <= 0x24F)) return {model::kOtherLetter, model::kLower};
  if (c == kReplacementCharacter) return {model::kControl, model::kNoCase};
  return {model::kSign, model::kNoCase};
}

// The same from a table for the characters below kClassTableSize, built once:
// text_cost asks for every character of many candidate readings.
constexpr Character kClassTableSize = 0x2600;

ByteClass class_of_any(Character c) {
  static const std::vector<ByteClass> table = [] {
    std::vector<ByteClass> t(kClassTableSize);
    for (Character x = 0; x < kClassTableSize; ++x) t[x] = class_of_any_looked_up(x);
    return t;
  }();
  return c < kClassTableSize ? table[c] : class_of_any_looked_up(c);
}

constexpr bool has_byte_order_mark(std::span<const std::uint8_t> s) {
  return s.size() >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF;
}

std::span<const std::uint8_t> bounded(std::span<const std::uint8_t> sample) {
  return sample.first(std::min(sample.size(), kDetectionSampleSize));
}


// How far around its bytes above ASCII a line counts as theirs: beyond it, a
// long line (one-line JSON, a log line) is plain ASCII, which only helps to
// choose the language.
constexpr std::size_t kLineContext = 64;

// A stray byte's neighbourhood: the characters on each side that tell which
// code page wrote it.
constexpr std::size_t kStrayContext = 8;
constexpr std::size_t kStrayRunsKept = 64;

struct StrayRun {
  std::vector<Character> before, after;
  std::vector<std::uint8_t> bytes;
};

// How often each pair of neighbouring bytes occurs, in a table of the byte
// values the sample holds (a short text's is small, and every entry is
// read), with the rare pairs whose key carries no-break space flags apart.
class PairCounts {
 public:
  PairCounts() = default;
  explicit PairCounts(const ByteSet& present) {
    for (std::size_t b = 0; b < 256; ++b)
      if ((present[b >> 6] >> (b & 63)) & 1) {
        dense_[b] = static_cast<std::uint8_t>(values_);
        byte_of_[values_++] = static_cast<std::uint8_t>(b);
      }
    counts_.assign(values_ * values_, 0);
  }
  void add(std::uint32_t key) {
    if (key >> 16 != 0) return flagged_.add(key);
    add_plain(static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key));
  }
  void add_plain(std::uint8_t a, std::uint8_t b) {
    std::uint16_t& n = counts_[dense_[a] * values_ + dense_[b]];
    n += n != kMostPairs;
  }
  template <class F>
  void for_each(F&& f) const {
    const std::uint16_t* count = counts_.data();
    for (std::size_t a = 0; a < values_; ++a)
      for (std::size_t b = 0; b < values_; ++b, ++count)
        if (*count != 0) f(static_cast<std::uint32_t>(byte_of_[a]) << 8 | byte_of_[b], std::uint32_t{*count});
    flagged_.for_each(f);
  }

 private:
  std::array<std::uint8_t, 256> dense_{}, byte_of_{};
  std::size_t values_ = 0;
  // Half the memory of 32-bit counts, touched afresh by every decision. A
  // sample's pairs are one per byte: only a sample that is one line end
  // repeated could reach 2^16 of one pair, and that sample is plain ASCII.
  static constexpr std::uint16_t kMostPairs = 0xFFFF;
  static_assert(kDetectionSampleSize <= 0x10000);
  std::vector<std::uint16_t> counts_;
  detection::CountMap flagged_;
};

// What one pass over the sample learns: how it reads as UTF-8, which bytes occur,
// and how often each pair of neighbouring bytes does (each line starts after a
// line end), near the bytes above ASCII and, apart, in plain ASCII.
struct SampleStatistics {
  // The characters above ASCII that the sample reads as in UTF-8, well-formed,
  // and the ill-formed parts and their bytes; a sequence cut by the sample's end is forgiven.
  std::uint64_t utf8_characters = 0, utf8_replaced = 0, stray_bytes = 0;
  std::vector<StrayRun> strays;
  // UTF-8, perhaps with a few stray bytes: far more well-formed characters
  // above ASCII than ill-formed parts.
  bool utf8() const { return utf8_characters > 0 && utf8_characters >= 4 * utf8_replaced; }
  // Text named as UTF-8 that is mostly not: more of its characters above
  // ASCII are ill-formed than well-formed.
  bool mostly_ill_formed() const { return utf8_replaced > utf8_characters; }
  ByteSet bytes{};
  std::array<std::uint32_t, 256> occurrences{};  // of each byte value
  // Keys: a pair's bytes, and whether the byte before it is a space or the first byte again.
  PairCounts pairs, ascii_lines;
  Cost pairs_total = 0, ascii_total = 0;
};

// A pair's key: its two bytes, and for a byte that some source reads as a
// no-break space, whether a letter stands on its other side.
constexpr std::uint32_t kLetterBefore = 1u << 16, kLetterAfter = 1u << 17;
// And whether that letter is above ASCII.
constexpr std::uint32_t kHighBefore = 1u << 18, kHighAfter = 1u << 19;

// The bytes that some source reads as a no-break space: only pairs that
// begin with one need to know what came before them.
constexpr std::array<bool, 256> no_break_space_bytes() {
  std::array<bool, 256> out{};
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) continue;
    const CodePage page = read_page_of(e);
    for (std::size_t b = 0x80; b < 256; ++b) out[b] = out[b] || page.characters[b] == U'\u00A0';
  }
  return out;
}
constexpr std::array<bool, 256> kNoBreakSpaceBytes = no_break_space_bytes();

// A letter in most sources: an ASCII letter or a byte above ASCII, but one
// that some source reads as a no-break space (a run of them indents a line).
constexpr bool letter_like(std::uint8_t b) {
  return b >= 0x80 ? !kNoBreakSpaceBytes[b] : (b | 0x20) >= 'a' && (b | 0x20) <= 'z';
}

// Reads the sample as UTF-8, counting what is well-formed and what is not.
void count_utf8(std::span<const std::uint8_t> sample, SampleStatistics& s) {
  Utf8Decoder utf8;
  auto character = [&](Character c) { s.utf8_characters += c >= 0x80; };
  auto stray = [&](std::span<const std::uint8_t> bytes) {
    ++s.utf8_replaced;
    s.stray_bytes += bytes.size();
  };
  // Each character above ASCII takes two bytes above ASCII at least: once the
  // ill-formed parts outnumber the characters that the rest could still make,
  // the text is plainly no UTF-8 (a code page's), and counting stops.
  std::uint64_t high_left = 0;
  for (const std::uint8_t b : sample) high_left += b >> 7;
  for (const std::uint8_t b : sample) {
    // ASCII outside a sequence is a character below 0x80 and nothing else: skipped.
    if (b < 0x80 && !utf8.in_sequence()) continue;
    high_left -= b >> 7;
    utf8.put(b, character, stray);
    if (s.utf8_replaced > s.utf8_characters + high_left / 2) return;
  }
}

// Keeps the neighbourhood of the first stray runs of UTF-8 text.
void collect_stray_runs(std::span<const std::uint8_t> sample, SampleStatistics& s) {
  Utf8Decoder utf8;
  std::vector<Character> recent;  // the last characters read
  std::vector<StrayRun*> open;    // runs still waiting for the characters after them
  // The neighbourhood ends at the nearest break on each side: the word that
  // holds the stray bytes tells their code page, not the text around it.
  auto character = [&](Character c) {
    const bool breaks = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    for (StrayRun* r : open) r->after.push_back(c);
    std::erase_if(open, [&](StrayRun* r) { return breaks || r->after.size() >= kStrayContext; });
    recent.push_back(c);
    if (recent.size() > 2 * kStrayContext) recent.erase(recent.begin(), recent.begin() + kStrayContext);
  };
  auto stray = [&](std::span<const std::uint8_t> bytes) {
    if (!open.empty() && open.back()->after.empty()) {  // next to the one before: one run
      open.back()->bytes.insert(open.back()->bytes.end(), bytes.begin(), bytes.end());
      return;
    }
    if (s.strays.size() >= kStrayRunsKept) return;
    StrayRun& r = s.strays.emplace_back();
    auto from = recent.end() - static_cast<std::ptrdiff_t>(std::min(recent.size(), kStrayContext));
    for (auto it = recent.end(); it != from; --it)
      if (it[-1] == ' ' || it[-1] == '\t' || it[-1] == '\n' || it[-1] == '\r') {
        from = it - 1;
        break;
      }
    r.before.assign(from, recent.end());
    r.bytes.assign(bytes.begin(), bytes.end());
    open.push_back(&r);
  };
  s.strays.reserve(kStrayRunsKept);
  for (const std::uint8_t b : sample) utf8.put(b, character, stray);
}

// Counts the pairs of a line whose second byte lies in [from, to), the first
// after a line end.
void count_pairs(std::span<const std::uint8_t> line, std::size_t from, std::size_t to, PairCounts& pairs, Cost& total) {
  total += static_cast<Cost>(to - from);
  for (std::size_t i = from; i < to; ++i) {
    const std::uint8_t previous = i == 0 ? '\n' : line[i - 1], b = line[i];
    std::uint32_t key = static_cast<std::uint32_t>(previous) << 8 | b;
    if (kNoBreakSpaceBytes[previous] || kNoBreakSpaceBytes[b]) [[unlikely]] {
      const std::uint8_t before = i < 2 ? '\n' : line[i - 2], after = i + 1 < line.size() ? line[i + 1] : '\n';
      key |= (kNoBreakSpaceBytes[previous] && letter_like(before) ? kLetterBefore | (before >= 0x80 ? kHighBefore : 0) : 0) |
             (kNoBreakSpaceBytes[b] && letter_like(after) ? kLetterAfter | (after >= 0x80 ? kHighAfter : 0) : 0);
      pairs.add(key);
    } else {
      pairs.add_plain(previous, b);
    }
  }
}

SampleStatistics gather(std::span<const std::uint8_t> sample) {
  SampleStatistics s;
  count_utf8(sample, s);
  if (s.utf8() && s.stray_bytes > 0) collect_stray_runs(sample, s);
  for (const std::uint8_t b : sample) ++s.occurrences[b];
  for (std::size_t b = 0; b < 256; ++b)
    if (s.occurrences[b] != 0) s.bytes[b >> 6] |= std::uint64_t{1} << (b & 63);
  ByteSet present = s.bytes;
  present[0] |= std::uint64_t{1} << '\n';  // each line starts after one
  s.pairs = PairCounts(present);
  // The plain lines, and the ends of lines away from their bytes above ASCII, hold ASCII only.
  s.ascii_lines = PairCounts(ByteSet{present[0], present[1], 0, 0});
  for (std::size_t start = 0; start < sample.size();) {
    const auto end_of_line = std::find(sample.begin() + static_cast<std::ptrdiff_t>(start), sample.end(), '\n');
    const std::size_t end = static_cast<std::size_t>(end_of_line - sample.begin()) + (end_of_line != sample.end());
    const std::span<const std::uint8_t> line = sample.subspan(start, end - start);
    const auto first = std::find_if(line.begin(), line.end(), [](std::uint8_t b) { return b >= 0x80; });
    if (first == line.end()) {
      count_pairs(line, 0, line.size(), s.ascii_lines, s.ascii_total);
    } else {
      const auto last = std::find_if(line.rbegin(), line.rend(), [](std::uint8_t b) { return b >= 0x80; });
      const std::size_t first_high = static_cast<std::size_t>(first - line.begin());
      const std::size_t last_high = line.size() - 1 - static_cast<std::size_t>(last - line.rbegin());
      const std::size_t from = first_high - std::min(first_high, kLineContext);
      const std::size_t to = std::min(line.size(), last_high + kLineContext + 1);
      count_pairs(line, 0, from, s.ascii_lines, s.ascii_total);
      count_pairs(line, from, to, s.pairs, s.pairs_total);
      count_pairs(line, to, line.size(), s.ascii_lines, s.ascii_total);
    }
    start = end;
  }
  return s;
}

bool has_non_ascii(const ByteSet& bytes) { return (bytes[2] | bytes[3]) != 0; }

bool alike_on(const ByteSet& bytes, EncodingId a, EncodingId b) {
  const ByteSet& differ = kReadDifferently[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
  for (std::size_t w = 0; w < 4; ++w)
    if ((bytes[w] & differ[w]) != 0) return false;
  return true;
}

constexpr bool is_letter(const ByteClass& c) { return c.symbol >= model::kOtherLetter; }

// A no-break space is a space, as writers use it (indenting a line, before a
// dash or a unit, after a number), unless it stands between two letters:
// there a wrong code page put it where a letter belongs (DOS 866's а read as
// Windows 1251). The model, learnt from prose that holds few, cannot tell.
// Between two ASCII letters it may be either (a Dutch "kleine letters" kept
// together, or DOS 850's á read as Windows 1252): a space, at this cost.
constexpr Cost kNoBreakSpaceInLatinWord = 12 * 8;

// Reads the pair's no-break spaces; returns the cost of one between ASCII
// letters, counted once, in the pair before it.
constexpr Cost read_no_break_spaces(ByteClass& x, ByteClass& y, std::uint32_t key) {
  const auto a = static_cast<std::uint8_t>(key >> 8), b = static_cast<std::uint8_t>(key);
  const bool x_between = x.symbol == model::kNoBreakSpace && (key & kLetterBefore) != 0 && is_letter(y);
  const bool y_between = y.symbol == model::kNoBreakSpace && is_letter(x) && (key & kLetterAfter) != 0;
  const bool x_in_latin_word = x_between && b < 0x80 && (key & kHighBefore) == 0;
  const bool y_in_latin_word = y_between && a < 0x80 && (key & kHighAfter) == 0;
  if (x.symbol == model::kNoBreakSpace && (!x_between || x_in_latin_word)) x.symbol = model::kBreak;
  if (y.symbol == model::kNoBreakSpace && (!y_between || y_in_latin_word)) y.symbol = model::kBreak;
  return y_in_latin_word ? kNoBreakSpaceInLatinWord : 0;
}

struct Scores {
  std::array<Cost, kEncodingCount> total{};
  Cost own_pairs = 0;  // the pairs that some source reads otherwise than ASCII
  // Each source's cost in every language, the shared pairs' included: what
  // the answer's margin must hold against in each language the text may be in.
  std::array<std::array<Cost, kLanguageCount>, kEncodingCount> in_language{};
};

// A source that reads the sample as another does but for a few of its bytes
// is scored by the pairs with those bytes: what they cost through it, less
// what they cost through the other.
struct Difference {
  EncodingId id, base;
  ByteSet bytes;  // the sample's bytes that the two read differently
};

struct SourcePlan {
  std::array<EncodingId, kEncodingCount> scored_as{};  // a source that reads every byte of the sample alike
  std::vector<EncodingId> whole;                       // scored pair by pair
  std::vector<Difference> differences;                 // scored by their difference from one of `whole`
};

// A difference is scored when its bytes occur at most this fraction as often
// as the sample's bytes above ASCII: each pair with one is costed twice.
constexpr std::uint64_t kDifferenceShare = 4;

SourcePlan plan_sources(const SampleStatistics& s, detection::ScanPath path) {
  SourcePlan plan;
  std::uint64_t high = 0;
  for (std::size_t b = 0x80; b < 256; ++b) high += s.occurrences[b];
  std::vector<EncodingId> distinct;
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) continue;
    // Sources that read every byte of the sample alike score alike: the first of them is scored for all.
    const auto twin = std::find_if(distinct.begin(), distinct.end(), [&](EncodingId r) { return alike_on(s.bytes, e.id, r); });
    plan.scored_as[e.id] = twin == distinct.end() ? e.id : *twin;
    if (twin != distinct.end()) continue;
    distinct.push_back(e.id);
    Difference best{e.id, e.id, {}};
    std::uint64_t fewest = std::numeric_limits<std::uint64_t>::max();
    for (const EncodingId base : plan.whole) {
      const ByteSet& differ = kReadDifferently[static_cast<std::size_t>(e.id)][static_cast<std::size_t>(base)];
      ByteSet bytes;
      std::uint64_t n = 0;
      for (std::size_t w = 0; w < 4; ++w) {
        bytes[w] = differ[w] & s.bytes[w];
        for (std::uint64_t m = bytes[w]; m != 0; m &= m - 1) n += s.occurrences[w * 64 + static_cast<std::size_t>(std::countr_zero(m))];
      }
      if (n < fewest) fewest = n, best = {e.id, base, bytes};
    }
    if (path == detection::ScanPath::fast && fewest * kDifferenceShare <= high) plan.differences.push_back(best);
    else plan.whole.push_back(e.id);
  }
  return plan;
}

// Lines of plain ASCII weigh at most this fraction of the lines with letters
// above ASCII in choosing the language: a program's code or English around
// the text speaks no language of the model, and must not choose one for it.
constexpr Cost kAsciiLinesShare = 4;

// A source read in a language that the shared pairs fit worse than the best
// pays this fraction of the difference: Italian CP850 "più" read as Mac
// Roman "pió" fits Spanish best, which the Italian around it does not.
constexpr Cost kSharedShare = 4;

// The cost of the sample through every source encoding. The pairs that every
// source reads alike mostly choose the language by which the others are
// judged, so that a long stretch of ASCII in one language cannot outweigh the
// letters that tell the encodings apart; a quarter of what they say against
// that language counts too.
Scores score_sources(const SampleStatistics& s, detection::ScanPath path = detection::ScanPath::fast) {
  // Sums over at most a sample's pairs of at most 510 eighths each: 32 bits
  // hold them, and the compiler adds the languages' columns side by side.
  using Sum = std::int32_t;
  static_assert(kDetectionSampleSize * 2 * 255 < std::numeric_limits<Sum>::max());
  std::array<Sum, kLanguageCount> shared{};
  std::array<std::array<Sum, kLanguageCount>, kEncodingCount> own{};
  std::array<Cost, kEncodingCount> fixed{};  // the same in every language
  Scores out;
  const SourcePlan plan = plan_sources(s, path);
  const ByteClasses& ascii = kClasses[kDos866];
  SymbolPairCosts costs(s.pairs_total + s.ascii_total);
  // What a pair adds to a source's cost (`n` its count) or takes away (`n` less than 0), in `into`'s sums.
  auto add_pair = [&](EncodingId id, EncodingId into, std::uint32_t key, Sum n) {
    const auto a = static_cast<std::uint8_t>(key >> 8), b = static_cast<std::uint8_t>(key);
    ByteClass x = kClasses[id][a], y = kClasses[id][b];
    if (b >= 0x80 && y.symbol == model::kControl) fixed[into] += n * kForeignControlCost;
    if (mixes_scripts(id, a, b)) fixed[into] += n * kMixedScriptCost;
    if ((is_letter(x) && in(kLowQuotes[id], b)) || (in(kRightQuotes[id], a) && is_letter(y))) fixed[into] += n * kQuoteAgainstWordCost;
    // A drawn table repeats its lines; two letters that a wrong code page
    // makes into box drawing seldom meet three times.
    if ((n >= 3 || n <= -3) && joins(x, y)) {
      fixed[into] += n * kJoinedLineCost;
      return;
    }
    fixed[into] += n * read_no_break_spaces(x, y, key);
    fixed[into] += n * model::kCaseCost[x.letter_case][y.letter_case];
    const LanguageCosts& cost = costs.of(x.symbol, y.symbol);
    for (int l = 0; l < kLanguageCount; ++l) own[into][l] += n * cost[l];
  };
  s.pairs.for_each([&](std::uint32_t key, std::uint32_t count) {
    const auto a = static_cast<std::uint8_t>(key >> 8), b = static_cast<std::uint8_t>(key);
    const auto n = static_cast<Sum>(count);
    if (reads_as_ascii(a) && reads_as_ascii(b)) {
      const LanguageCosts& cost = costs.of(ascii[a].symbol, ascii[b].symbol);
      for (int l = 0; l < kLanguageCount; ++l) shared[l] += n * cost[l];
      return;
    }
    out.own_pairs += n;
    for (const EncodingId id : plan.whole) add_pair(id, id, key, n);
    for (const Difference& d : plan.differences)
      if (d.bytes[a >> 6] >> (a & 63) & 1 || d.bytes[b >> 6] >> (b & 63) & 1) {
        add_pair(d.id, d.id, key, n);
        add_pair(d.base, d.id, key, -n);
      }
  });
  // A source scored by its difference from another: that one's sums, and the difference.
  for (const Difference& d : plan.differences) {
    for (int l = 0; l < kLanguageCount; ++l) own[d.id][l] += own[d.base][l];
    fixed[d.id] += fixed[d.base];
  }
  // The lines of plain ASCII choose the language too, but weigh at most a
  // quarter of the lines with the letters that tell the encodings apart: in a
  // text that mixes them (English around Russian, a program with Russian
  // comments) they are often in a language that none of these encodings serves.
  std::array<Sum, kLanguageCount> plain{};
  s.ascii_lines.for_each([&](std::uint32_t key, std::uint32_t count) {
    const auto a = static_cast<std::uint8_t>(key >> 8), b = static_cast<std::uint8_t>(key);
    const LanguageCosts& cost = costs.of(ascii[a].symbol, ascii[b].symbol);
    for (int l = 0; l < kLanguageCount; ++l) plain[l] += static_cast<Sum>(count) * cost[l];
  });
  const Cost weight = std::min(s.ascii_total, s.pairs_total / kAsciiLinesShare);
  for (int l = 0; l < kLanguageCount; ++l)
    shared[l] += static_cast<Sum>(Cost{plain[l]} * weight / std::max<Cost>(1, s.ascii_total));
  const Cost least_shared = *std::min_element(shared.begin(), shared.end());
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) {
      out.total[e.id] = std::numeric_limits<Cost>::max();
      continue;
    }
    const EncodingId id = plan.scored_as[e.id];
    int language = 0;
    for (int l = 1; l < kLanguageCount; ++l)
      if (Cost{own[id][l]} + shared[l] < Cost{own[id][language]} + shared[language]) language = l;
    const Cost preference = kPreferenceCost[e.id] + (e.id == kKoi7 && !reads_cyrillic_letters(s.bytes, kKoi7) ? kKoi7Doubt : 0);
    out.total[e.id] = Cost{own[id][language]} + (Cost{shared[language]} - least_shared) / kSharedShare + fixed[id] + preference;
    for (int l = 0; l < kLanguageCount; ++l) out.in_language[e.id][l] = Cost{own[id][l]} + shared[l] + fixed[id] + preference;
  }
  return out;
}

EncodingId cheapest(const std::array<Cost, kEncodingCount>& total) {
  return static_cast<EncodingId>(std::min_element(total.begin(), total.end()) - total.begin());
}

int bits(Cost eighths) { return static_cast<int>(std::min<Cost>(eighths / 8, std::numeric_limits<int>::max())); }

// The symbols of a run of characters, for the language model.
std::vector<ByteClass> classes_of(std::span<const Character> text) {
  std::vector<ByteClass> out;
  out.reserve(text.size());
  for (const Character c : text) out.push_back(class_of_any(c));
  return out;
}

// The cost of a run of classes in one language, the first after `previous`.
Cost run_cost(const model::Language& l, std::span<const ByteClass> run, ByteClass previous) {
  Cost c = 0;
  for (const ByteClass& x : run) {
    c += pair_cost(l, previous.symbol, x.symbol) + model::kCaseCost[previous.letter_case][x.letter_case];
    previous = x;
  }
  return c;
}

// A stray byte is mostly a letter or a typographic sign that the UTF-8 around
// it lacked: read as another sign, box drawing or a control, it costs this more.
constexpr Cost kStraySignCost = 8 * 8;

// The single-byte source through which the stray runs read best between their
// neighbours, in the language those fit best.
EncodingId stray_encoding(std::span<const StrayRun> runs) {
  if (runs.empty()) return kWindows1252;
  std::array<Cost, kEncodingCount> total;
  total.fill(std::numeric_limits<Cost>::max());
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) continue;
    std::array<Cost, kLanguageCount> by_language{};
    Cost signs = 0;
    for (const StrayRun& r : runs) {
      std::vector<Character> text = r.before;
      for (const std::uint8_t b : r.bytes) {
        text.push_back(read_byte(e.id, b));
        const std::uint8_t symbol = class_of_any(text.back()).symbol;
        signs += symbol == model::kSign || symbol == model::kRareSign || symbol == model::kGraphic || symbol == model::kControl;
      }
      text.insert(text.end(), r.after.begin(), r.after.end());
      const std::vector<ByteClass> classes = classes_of(text);
      for (int l = 0; l < kLanguageCount; ++l)
        by_language[l] += run_cost(model::kLanguages[l], classes, {model::kBreak, model::kNoCase});
    }
    total[e.id] = *std::min_element(by_language.begin(), by_language.end()) + signs * kStraySignCost + kPreferenceCost[e.id];
  }
  return cheapest(total);
}

// Reading the best source's choice costs more than this, per pair of
// characters that tell the sources apart, only where no source reads the
// bytes as text: random bytes, data.
constexpr Cost kGibberishPerPair = 12 * 8;

// A language whose best reading costs at most this much more than the best
// reading in any language may be the text's: three sixteenths of a bit per
// pair of the letters' lines (JSON keys around 1 KB of Serbian made Russian
// cheaper by a tenth of a bit per pair).
Cost plausible_language_slack(const SampleStatistics& s) { return 3 * s.pairs_total / 2; }

// The answer's margin in every language that the text may be in: the
// language is chosen mostly by the pairs that every source reads alike, and
// a text whose plain ASCII fits another language (JSON keys around Serbian
// read best as Russian) must not make an answer sure that the text's own
// language would not. Each source is costed in that language.
int margin_in_languages(const Scores& scores, const ByteSet& bytes, EncodingId answer, Cost slack) {
  std::array<Cost, kLanguageCount> best_in{};
  best_in.fill(std::numeric_limits<Cost>::max());
  for (const Encoding& e : kEncodings)
    if (is_single_byte_source(e))
      for (int l = 0; l < kLanguageCount; ++l) best_in[l] = std::min(best_in[l], scores.in_language[e.id][l]);
  const Cost best = *std::min_element(best_in.begin(), best_in.end());
  int margin = std::numeric_limits<int>::max();
  for (int l = 0; l < kLanguageCount; ++l) {
    if (best_in[l] > best + slack) continue;
    Cost rival = std::numeric_limits<Cost>::max();
    for (const Encoding& e : kEncodings)
      if (is_single_byte_source(e) && !alike_on(bytes, e.id, answer)) rival = std::min(rival, scores.in_language[e.id][l]);
    if (rival != std::numeric_limits<Cost>::max()) margin = std::min(margin, bits(std::max<Cost>(0, rival - scores.in_language[answer][l])));
  }
  return margin;
}

// The single-byte source through which a sample with bytes above ASCII reads
// best, and its margin over the best that reads it differently.
Detection weigh(const SampleStatistics& s) {
  const Scores scores = score_sources(s);
  const EncodingId best = cheapest(scores.total);
  Cost runner_up = std::numeric_limits<Cost>::max();
  for (const Encoding& e : kEncodings)
    if (is_single_byte_source(e) && !alike_on(s.bytes, e.id, best)) runner_up = std::min(runner_up, scores.total[e.id]);
  int margin = runner_up == std::numeric_limits<Cost>::max() ? 0 : bits(runner_up - scores.total[best]);
  margin = std::min(margin, margin_in_languages(scores, s.bytes, best, plausible_language_slack(s)));
  if (scores.total[best] > kGibberishPerPair * std::max<Cost>(1, scores.own_pairs)) margin = 0;
  Detection d;
  d.kind = TextKind::single_byte;
  d.encoding = best;
  d.margin_bits = margin;
  return d;
}

// UTF-8 with this many well-formed characters above ASCII is sure; with
// fewer, a code page may have made them by chance, and the UTF-8 reading must
// read better than the best single-byte one by the sure margin.
constexpr std::uint64_t kSureUtf8Characters = 16;

std::vector<Character> decoded(std::span<const std::uint8_t> sample, EncodingId id) {
  std::vector<Character> out;
  out.reserve(sample.size());
  if (id == kUtf8) {
    Utf8Decoder d;
    for (const std::uint8_t b : sample) d.put(b, [&](Character c) { out.push_back(c); });
    return out;
  }
  for (const std::uint8_t b : sample) out.push_back(read_byte(id, b));
  return out;
}

int utf8_margin(std::span<const std::uint8_t> sample, const SampleStatistics& s) {
  if (s.utf8_characters >= kSureUtf8Characters) return std::numeric_limits<int>::max();
  const EncodingId other = weigh(s).encoding;
  return bits(text_cost(decoded(sample, other)) - text_cost(decoded(sample, kUtf8)));
}

// UTF-8 and plain ASCII, which need no weighing of the single-byte encodings.
std::optional<Detection> without_weighing(std::span<const std::uint8_t> sample, const SampleStatistics& s) {
  Detection d;
  if (has_byte_order_mark(sample) || s.utf8()) {
    d.kind = TextKind::utf8;
    d.encoding = kUtf8;
    d.byte_order_mark = has_byte_order_mark(sample);
    d.margin_bits = d.byte_order_mark ? std::numeric_limits<int>::max() : utf8_margin(sample, s);
    d.stray_bytes = s.stray_bytes;
    if (s.stray_bytes > 0) d.stray_encoding = stray_encoding(s.strays);
    return d;
  }
  if (!has_non_ascii(s.bytes)) return d;
  return std::nullopt;
}

struct Signature {
  std::string_view bytes;
  std::size_t at;
  std::string_view what;
};

using namespace std::string_view_literals;

// Signatures of what is not text, each at its place from the start.
constexpr std::array kSignatures = {
    Signature{"\x7F" "ELF"sv, 0, "ELF executable"},
    Signature{"MZ"sv, 0, "DOS or Windows executable"},
    Signature{"\xFE\xED\xFA\xCE"sv, 0, "Mach-O executable"},
    Signature{"\xFE\xED\xFA\xCF"sv, 0, "Mach-O executable"},
    Signature{"\xCE\xFA\xED\xFE"sv, 0, "Mach-O executable"},
    Signature{"\xCF\xFA\xED\xFE"sv, 0, "Mach-O executable"},
    Signature{"\xCA\xFE\xBA\xBE"sv, 0, "Java class or Mach-O executable"},
    Signature{"\x00" "asm"sv, 0, "WebAssembly module"},
    Signature{"\x89PNG\r\n\x1A\n"sv, 0, "PNG image"},
    Signature{"\xFF\xD8\xFF"sv, 0, "JPEG image"},
    Signature{"GIF87a"sv, 0, "GIF image"},
    Signature{"GIF89a"sv, 0, "GIF image"},
    Signature{"II*\x00"sv, 0, "TIFF image"},
    Signature{"MM\x00*"sv, 0, "TIFF image"},
    Signature{"%PDF-"sv, 0, "PDF document"},
    Signature{"PK\x03\x04"sv, 0, "ZIP archive"},
    Signature{"PK\x05\x06"sv, 0, "ZIP archive"},
    Signature{"\x1F\x8B"sv, 0, "gzip archive"},
    Signature{"BZh"sv, 0, "bzip2 archive"},
    Signature{"\xFD" "7zXZ\x00"sv, 0, "xz archive"},
    Signature{"\x28\xB5\x2F\xFD"sv, 0, "Zstandard archive"},
    Signature{"7z\xBC\xAF\x27\x1C"sv, 0, "7-Zip archive"},
    Signature{"Rar!\x1A\x07"sv, 0, "RAR archive"},
    Signature{"!<arch>\n"sv, 0, "ar archive"},
    Signature{"ustar"sv, 257, "tar archive"},
    Signature{"\xDE\x12\x04\x95"sv, 0, "gettext catalogue"},
    Signature{"\x95\x04\x12\xDE"sv, 0, "gettext catalogue"},
    Signature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv, 0, "Office document"},
    Signature{"SQLite format 3\x00"sv, 0, "SQLite database"},
    Signature{"\x1A\x45\xDF\xA3"sv, 0, "Matroska or WebM media"},
    Signature{"OggS\x00"sv, 0, "Ogg media"},
    Signature{"RIFF"sv, 0, "RIFF media"},
    Signature{"fLaC"sv, 0, "FLAC audio"},
    Signature{"ID3"sv, 0, "MP3 audio"},
};

// The signatures that are plain letters ("MZ", "BZh", "RIFF", "fLaC", "ID3")
// also begin words: they count only when a byte no text holds follows soon.
constexpr bool is_printable(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// The bytes that count against text in binary_verdict.
constexpr std::array<std::uint8_t, 256> binary_controls() {
  std::array<std::uint8_t, 256> out{};
  for (std::size_t b = 0; b < 256; ++b) out[b] = detection::is_binary_control(static_cast<std::uint8_t>(b)) || b == 0x7F;
  return out;
}
constexpr std::array<std::uint8_t, 256> kBinaryControl = binary_controls();

}  // namespace

namespace detection {

Cost byte_cost(EncodingId id, int language, std::uint8_t b) {
  const ByteClass& c = kClasses[id][b];
  return model::kLanguages[static_cast<std::size_t>(language)].alone[c.symbol] +
         (c.letter_case == model::kUpper ? model::kUpperCaseCost : 0);
}

int language_count() { return kLanguageCount; }

std::vector<Cost> source_costs(std::span<const std::uint8_t> sample, ScanPath path) {
  const Scores scores = score_sources(gather(bounded(sample)), path);
  std::vector<Cost> out;
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) continue;
    out.push_back(scores.total[e.id]);
    out.insert(out.end(), scores.in_language[e.id].begin(), scores.in_language[e.id].end());
  }
  return out;
}

std::size_t count_binary_controls(std::span<const std::uint8_t> bytes, ScanPath path) {
  std::size_t controls = 0, i = 0;
  // Eight at a time where none is below 0x20 or DEL (most of a text).
  constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
  for (; path == ScanPath::fast && i + 8 <= bytes.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, bytes.data() + i, 8);
    const std::uint64_t del = w ^ (0x7F * kOnes);  // DEL turned zero
    if (((((w - 0x20 * kOnes) & ~w) | ((del - kOnes) & ~del)) & kHigh) == 0) continue;
    for (std::size_t k = i; k < i + 8; ++k) controls += kBinaryControl[bytes[k]];
  }
  for (; i < bytes.size(); ++i) controls += kBinaryControl[bytes[i]];
  return controls;
}

}  // namespace detection

BinaryVerdict binary_verdict(std::span<const std::uint8_t> start) {
  start = bounded(start);
  const std::string_view text(reinterpret_cast<const char*>(start.data()), start.size());
  std::size_t controls = detection::count_binary_controls(start);
  const std::size_t first_nul = text.find('\0');
  // A DOS end-of-file mark is text's last byte.
  if (!start.empty() && start.back() == 0x1A) --controls;
  for (const Signature& s : kSignatures) {
    if (text.size() < s.at + s.bytes.size() || text.substr(s.at, s.bytes.size()) != s.bytes) continue;
    if (is_printable(s.bytes) && s.at == 0 && s.bytes != "%PDF-" && s.bytes != "!<arch>\n" && s.bytes.size() < 6 &&
        first_nul > 64 && controls == 0)
      continue;
    return {BinarySign::signature, s.what};
  }
  if (first_nul != std::string_view::npos) return {BinarySign::nul_byte, {}};
  // Random bytes and data: one byte in eight a control that no text holds.
  if (controls >= 8 && controls * 8 >= start.size()) return {BinarySign::control_bytes, {}};
  return {};
}

bool reads_alike(std::span<const std::uint8_t> sample, EncodingId a, EncodingId b) {
  ByteSet bytes{};
  for (std::uint8_t c : sample) bytes[c >> 6] |= std::uint64_t{1} << (c & 63);
  return alike_on(bytes, a, b);
}

Detection detect_encoding(std::span<const std::uint8_t> sample) {
  sample = bounded(sample);
  // UTF-16 and UTF-32, told by their byte-order marks and zero bytes, come
  // before the binary verdict, which a zero byte would otherwise settle.
  if (const auto wide = detect_utf16_or_32(sample)) return *wide;
  if (const BinaryVerdict binary = binary_verdict(sample); binary.sign != BinarySign::none) {
    Detection d;
    d.kind = TextKind::binary;
    d.binary = binary.sign;
    d.signature = binary.what;
    return d;
  }
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
    // Only another encoding is plainly other: what is not text is judged apart.
    const bool text = d.kind == TextKind::single_byte || d.kind == TextKind::utf8;
    return text && is_sure(d) ? std::optional(d) : std::nullopt;
  }
  const SampleStatistics s = gather(sample);
  if (const auto plain = without_weighing(sample, s))
    return plain->kind == TextKind::utf8 && named != kUtf8 ? plain : std::nullopt;
  if (named == kUtf8) return s.mostly_ill_formed() ? std::optional(weigh(s)) : std::nullopt;
  const std::array<Cost, kEncodingCount> total = score_sources(s).total;
  const EncodingId best = cheapest(total);
  const int margin = bits(total[named] - total[best]);
  if (alike_on(s.bytes, best, named) || margin < kPlainMarginBits) return std::nullopt;
  Detection d;
  d.kind = TextKind::single_byte;
  d.encoding = best;
  d.margin_bits = margin;
  return d;
}

std::int64_t text_cost_below(std::span<const Character> text, std::int64_t bound) {
  const std::vector<ByteClass> classes = classes_of(text);
  Cost best = std::numeric_limits<Cost>::max();
  for (const model::Language& l : model::kLanguages) {
    const Cost limit = std::min(best, bound);
    Cost c = 0;
    ByteClass previous{model::kBreak, model::kNoCase};
    for (std::size_t i = 0; i < classes.size() && c <= limit; ++i) {
      const ByteClass& x = classes[i];
      c += pair_cost(l, previous.symbol, x.symbol) + model::kCaseCost[previous.letter_case][x.letter_case];
      previous = x;
    }
    best = std::min(best, c);
  }
  return best;
}

bool cheapest_language_among(std::span<const Character> text, std::uint32_t languages) {
  const std::vector<ByteClass> classes = classes_of(text);
  Cost best = std::numeric_limits<Cost>::max();
  bool among = false;
  for (std::size_t l = 0; l < model::kLanguages.size(); ++l) {
    // Costs only grow: a language is out once it costs as much as the best
    // so far (of equal costs, text_cost names the first).
    Cost c = 0;
    ByteClass previous{model::kBreak, model::kNoCase};
    for (std::size_t i = 0; i < classes.size() && c < best; ++i) {
      c += pair_cost(model::kLanguages[l], previous.symbol, classes[i].symbol) +
           model::kCaseCost[previous.letter_case][classes[i].letter_case];
      previous = classes[i];
    }
    if (c < best) best = c, among = (languages >> l & 1) != 0;
  }
  return among;
}

std::vector<std::int64_t> costs_by_language(std::span<const Character> text) {
  const std::vector<ByteClass> classes = classes_of(text);
  std::vector<std::int64_t> out;
  out.reserve(model::kLanguages.size());
  for (const model::Language& l : model::kLanguages) out.push_back(run_cost(l, classes, {model::kBreak, model::kNoCase}));
  return out;
}

std::int64_t changed_text_cost(std::span<const Character> text, std::span<const std::int64_t> costs,
                               std::span<const Character> changed) {
  // The pairs that differ: each as it was and as it is.
  struct Pair {
    ByteClass before_first, before, after_first, after;
  };
  std::vector<Pair> pairs;
  const ByteClass start{model::kBreak, model::kNoCase};
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == changed[i] && (i == 0 || text[i - 1] == changed[i - 1])) continue;
    pairs.push_back({i == 0 ? start : class_of_any(text[i - 1]), class_of_any(text[i]),
                     i == 0 ? start : class_of_any(changed[i - 1]), class_of_any(changed[i])});
  }
  Cost best = std::numeric_limits<Cost>::max();
  for (std::size_t l = 0; l < model::kLanguages.size(); ++l) {
    const model::Language& language = model::kLanguages[l];
    Cost c = costs[l];
    for (const Pair& p : pairs)
      c += pair_cost(language, p.after_first.symbol, p.after.symbol) + model::kCaseCost[p.after_first.letter_case][p.after.letter_case] -
           pair_cost(language, p.before_first.symbol, p.before.symbol) - model::kCaseCost[p.before_first.letter_case][p.before.letter_case];
    best = std::min(best, c);
  }
  return best;
}

std::array<std::uint8_t, 32> costs_alone(Character c) {
  static_assert(kLanguageCount <= 32);
  const auto symbol = class_of_any(c).symbol;
  std::array<std::uint8_t, 32> out{};
  for (std::size_t l = 0; l < model::kLanguages.size(); ++l) out[l] = model::kLanguages[l].alone[symbol];
  return out;
}

std::int64_t text_cost(std::span<const Character> text, int* language) {
  const std::vector<ByteClass> classes = classes_of(text);
  Cost best = std::numeric_limits<Cost>::max();
  for (int l = 0; l < kLanguageCount; ++l) {
    const Cost c = run_cost(model::kLanguages[static_cast<std::size_t>(l)], classes, {model::kBreak, model::kNoCase});
    if (c < best) {
      best = c;
      if (language) *language = l;
    }
  }
  return best;
}

}  // namespace recodia
