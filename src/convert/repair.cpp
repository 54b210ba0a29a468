#include "convert/repair.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <unordered_set>

#include "convert/detect.hpp"
#include "convert/detect_common.hpp"
#include "convert/pages.hpp"
#include "convert/registry.hpp"

namespace recodia {
namespace {

using Cost = std::int64_t;  // eighths of a bit, as text_cost counts
using PageMask = std::uint32_t;

constexpr Cost bits(int b) { return Cost{b} * 8; }

// One wrong decoding undone: what the text was before it.
struct Undoing {
  WrongReading reading;
  std::vector<Character> text;
  std::size_t recovered = 0, unrecovered = 0;
};

// A byte of a stretch written in a code page, or a byte that page lost: one it
// has no character for, which arrived as U+FFFD.
using Unit = std::uint16_t;
constexpr Unit kLostByte = 0x100;

// Rarer than this on its own, a character is hardly of the language (the
// model's letters of a language cost 4 to 12 bits, the others 19 or more).
constexpr Cost kRareCharacterCost = 14 * 8;

constexpr bool takes_part(const Encoding& e) { return is_single_byte_source(e) && e.form != Form::koi7; }

// Every character of the code pages, and the byte each page writes it as.
class PageTables {
 public:
  PageTables() {
    std::vector<const Encoding*> by_rank;
    for (const Encoding& e : kEncodings)
      if (takes_part(e)) by_rank.push_back(&e);
    std::sort(by_rank.begin(), by_rank.end(), [](auto* a, auto* b) { return a->detection_rank < b->detection_rank; });
    for (const Encoding* e : by_rank) {
      const CodePage& page = read_page(e->id);
      const bool same_as_kept = std::any_of(ids_.begin(), ids_.end(), [&](EncodingId k) {
        return read_page(k).characters == page.characters;
      });
      if (!same_as_kept) ids_.push_back(e->id);
    }
    slot_of_.assign(0x10000, 0);
    for (std::size_t p = 0; p < ids_.size(); ++p) {
      const CodePage& page = read_page(ids_[p]);
      // The lowest byte that reads as a character is the one taken for it.
      for (std::size_t b = 0xFF; b >= 0x80; --b) {
        Character c = page.characters[b];
        if (c == kNoCharacter) {
          lost_[p].push_back(static_cast<std::uint8_t>(b));
          // Browsers read such a byte in 0x80..0x9F as the C1 control of its
          // number, which keeps it: written back, it is that byte again.
          if (b > 0x9F) continue;
          c = static_cast<Character>(b);
        }
        if (c >= 0x10000) continue;
        std::uint16_t& slot = slot_of_[c];
        if (slot == 0) {
          slots_.emplace_back();
          slot = static_cast<std::uint16_t>(slots_.size());
        }
        Slot& s = slots_[slot - 1u];
        s.byte[p] = static_cast<std::uint8_t>(b);
        s.pages |= PageMask{1} << p;
        if (b >= 0xC2 && b <= 0xF4) s.leads |= PageMask{1} << p;
        if (b <= 0xBF) s.continues |= PageMask{1} << p;
        s.alone = recodia::costs_alone(c);
      }
      std::sort(lost_[p].begin(), lost_[p].end());

      if (!lost_[p].empty()) losing_ |= PageMask{1} << p;
    }
    for (Character c = 'A'; c <= 'z'; ++c)
      if (c <= 'Z' || c >= 'a') ascii_alone_[c] = recodia::costs_alone(c);
  }

  std::span<const EncodingId> ids() const { return ids_; }
  std::size_t index_of(EncodingId id) const {
    return static_cast<std::size_t>(std::find(ids_.begin(), ids_.end(), id) - ids_.begin());
  }

  // The pages that have a character (ASCII: all of them).
  PageMask pages_with(Character c) const {
    if (c < 0x80) return all();
    if (c == kReplacementCharacter) return losing_;
    if (c >= 0x10000 || slot_of_[c] == 0) return 0;
    return slots_[slot_of_[c] - 1u].pages;
  }
  // The byte page `p` writes for `c`, which it has.
  Unit byte_of(std::size_t p, Character c) const {
    if (c < 0x80) return static_cast<Unit>(c);
    if (c == kReplacementCharacter) return kLostByte;
    return slots_[slot_of_[c] - 1u].byte[p];
  }
  // The pages that write `c` (above ASCII) as a byte that can start a UTF-8
  // sequence of two bytes or more ...
  PageMask pages_leading_with(Character c) const {
    if (c >= 0x10000 || c == kReplacementCharacter || slot_of_[c] == 0) return 0;
    return slots_[slot_of_[c] - 1u].leads;
  }
  // ... and those that write it as a byte that can continue one, or as a byte
  // they lost (U+FFFD, or `?`).
  PageMask pages_continuing_with(Character c) const {
    if (c == '?' || c == kReplacementCharacter) return losing_;
    if (c < 0x80 || c >= 0x10000 || slot_of_[c] == 0) return 0;
    return slots_[slot_of_[c] - 1u].continues;
  }
  // What `c` costs on its own in each of the model's languages (an ASCII
  // letter too; nothing for other ASCII characters).
  std::array<std::uint8_t, 32> costs_alone(Character c) const {
    if (c < 0x80) return ascii_alone_[c];
    if (c >= 0x10000 || c == kReplacementCharacter || slot_of_[c] == 0) return recodia::costs_alone(c);
    return slots_[slot_of_[c] - 1u].alone;
  }
  // The bytes page `p` has no character for, in order.
  std::span<const std::uint8_t> lost(std::size_t p) const { return lost_[p]; }

  PageMask all() const { return ids_.size() >= 32 ? ~PageMask{0} : (PageMask{1} << ids_.size()) - 1; }

 private:
  struct Slot {
    std::array<std::uint8_t, 32> byte{};
    PageMask pages = 0, leads = 0, continues = 0;
    std::array<std::uint8_t, 32> alone{};
  };
  std::vector<EncodingId> ids_;
  std::vector<std::uint16_t> slot_of_;  // a BMP character's slot plus one; 0: no page has it
  std::vector<Slot> slots_;
  std::array<std::vector<std::uint8_t>, 32> lost_;
  std::array<std::array<std::uint8_t, 32>, 0x80> ascii_alone_{};
  PageMask losing_ = 0;
};

const PageTables& tables() {
  static const PageTables t;
  return t;
}

// The pages that can write every character of the text.
PageMask pages_writing(std::span<const Character> text) {
  const PageTables& t = tables();
  PageMask m = t.all();
  for (const Character c : text)
    if (c >= 0x80 && (m &= t.pages_with(c)) == 0) break;
  return m;
}

// The pages whose bytes for the text may be UTF-8: a character above ASCII
// after ASCII (but `?`, which may stand for a lost continuation byte) must
// start a sequence, and the next continue it. Only these are worth reading
// as UTF-8 (a table look-up a character, where the reading is a vector).
// Then each page left is walked through: every lead followed by as many
// continuations as it announces.
bool may_be_utf8(std::span<const Character> text, std::size_t page) {
  const PageTables& t = tables();
  const PageMask bit = PageMask{1} << page;
  int owed = 0;
  for (const Character c : text) {
    if (owed > 0) {
      if (!(t.pages_continuing_with(c) & bit)) return false;
      --owed;
    } else if (c >= 0x80) {
      if (!(t.pages_leading_with(c) & bit)) return false;
      const Unit b = t.byte_of(page, c);
      owed = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    }
  }
  return owed == 0;
}

PageMask pages_maybe_utf8(std::span<const Character> text, PageMask writers) {
  const PageTables& t = tables();
  PageMask m = writers;
  for (std::size_t i = 0; i < text.size() && m != 0; ++i) {
    if (text[i] < 0x80 || (i > 0 && (text[i - 1] >= 0x80 || text[i - 1] == '?'))) continue;
    m &= t.pages_leading_with(text[i]) & (i + 1 < text.size() ? t.pages_continuing_with(text[i + 1]) : 0);
  }
  for (PageMask left = m; left != 0; left &= left - 1) {
    const auto p = static_cast<std::size_t>(std::countr_zero(left));
    if (!may_be_utf8(text, p)) m &= ~(PageMask{1} << p);
  }
  return m;
}

std::vector<Unit> written(std::span<const Character> text, std::size_t page) {
  std::vector<Unit> out;
  out.reserve(text.size());
  for (const Character c : text) out.push_back(tables().byte_of(page, c));
  return out;
}

bool has_non_ascii(std::span<const Character> text) {
  return std::any_of(text.begin(), text.end(), [](Character c) { return c >= 0x80; });
}

// A lost byte inside a UTF-8 sequence: where the character goes, and what it
// may have been.
struct LostInSequence {
  std::size_t at;
  std::vector<Character> choices;
};

// The bytes read as UTF-8, strictly; a byte the page lost (U+FFFD, or `?`
// where a continuation byte must be) may be any byte the page has no
// character for. Nothing when they are no UTF-8.
std::optional<Undoing> read_as_utf8(std::span<const Unit> units, std::size_t page) {
  const PageTables& t = tables();
  const std::span<const std::uint8_t> lost = t.lost(page);
  Undoing u;
  u.text.reserve(units.size());
  std::vector<LostInSequence> lost_ones;
  for (std::size_t i = 0; i < units.size();) {
    const Unit lead = units[i];
    if (lead == kLostByte) return std::nullopt;
    if (lead < 0x80) {
      u.text.push_back(lead);
      ++i;
      continue;
    }
    int need = 0;
    Character value = 0;
    Unit low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) need = 1, value = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) need = 2, value = lead & 0x0F, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4) need = 3, value = lead & 0x07, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    else return std::nullopt;
    if (i + static_cast<std::size_t>(need) >= units.size()) return std::nullopt;
    int lost_at = -1;  // which continuation byte was lost
    std::vector<std::uint8_t> lost_range;
    for (int k = 1; k <= need; ++k) {
      const Unit b = units[i + static_cast<std::size_t>(k)];
      const bool missing = b == kLostByte || (b == '?' && !lost.empty());
      if (missing) {
        if (lost_at >= 0) return std::nullopt;  // two lost in one character: too little left to tell
        lost_at = k;
        for (const std::uint8_t x : lost)
          if (x >= low && x <= high) lost_range.push_back(x);
        if (lost_range.empty()) return std::nullopt;
        value = value << 6;
      } else if (b >= low && b <= high) {
        value = value << 6 | (b & 0x3F);
      } else {
        return std::nullopt;
      }
      low = 0x80, high = 0xBF;
    }
    if (lost_at >= 0) {
      LostInSequence l{u.text.size(), {}};
      const int shift = 6 * (need - lost_at);
      for (const std::uint8_t x : lost_range) l.choices.push_back(value | Character(x & 0x3F) << shift);
      lost_ones.push_back(std::move(l));
      u.text.push_back(kReplacementCharacter);
    } else {
      u.text.push_back(value);
    }
    i += static_cast<std::size_t>(need) + 1;
  }
  // Each lost byte: the one character it can have been, or the one the
  // context prefers surely.
  for (const LostInSequence& l : lost_ones) {
    if (l.choices.size() == 1) {
      u.text[l.at] = l.choices.front();
      ++u.recovered;
      continue;
    }
    Cost best = std::numeric_limits<Cost>::max(), second = best;
    Character chosen = kReplacementCharacter;
    for (const Character c : l.choices) {
      u.text[l.at] = c;
      const Cost cost = text_cost(u.text);
      if (cost < best) second = best, best = cost, chosen = c;
      else second = std::min(second, cost);
    }
    const bool sure = second - best >= bits(kSureLostByteBits);
    u.text[l.at] = sure ? chosen : kReplacementCharacter;
    ++(sure ? u.recovered : u.unrecovered);
  }
  return u;
}

// The bytes read through a code page; nothing when it lacks one of them.
std::optional<Undoing> read_as_page(std::span<const Unit> units, EncodingId id) {
  const CodePage& page = read_page(id);
  Undoing u;
  u.text.reserve(units.size());
  for (const Unit b : units) {
    if (b == kLostByte || page.characters[b] == kNoCharacter) return std::nullopt;
    u.text.push_back(page.characters[b]);
  }
  return u;
}

// Every undoing of one wrong decoding; with `utf8_only` those alone whose
// bytes were UTF-8 (the telltale kind, cheap to rule out).
std::vector<Undoing> undoings_of(std::span<const Character> text, bool utf8_only, Search search) {
  std::vector<Undoing> out;
  if (!has_non_ascii(text)) return out;
  const PageTables& t = tables();
  const PageMask writers = pages_writing(text);
  const PageMask utf8 = search == Search::screened ? pages_maybe_utf8(text, writers) : writers;
  for (std::size_t w = 0; w < t.ids().size(); ++w) {
    if (!(writers >> w & 1) || (utf8_only && !(utf8 >> w & 1))) continue;
    const std::vector<Unit> units = written(text, w);
    if (utf8 >> w & 1) {
      if (auto u = read_as_utf8(units, w)) {
        u->reading = {kUtf8, t.ids()[w]};
        out.push_back(std::move(*u));
      }
    }
    if (utf8_only) continue;
    for (std::size_t o = 0; o < t.ids().size(); ++o) {
      if (o == w) continue;
      if (auto u = read_as_page(units, t.ids()[o])) {
        u->reading = {t.ids()[o], t.ids()[w]};
        out.push_back(std::move(*u));
      }
    }
  }
  return out;
}

// A character of no code page, unless a sign (punctuation, arrows, shapes,
// emoji): a letter of another script (Greek, CJK, Hangul, ...) is what UTF-8 makes of bytes that were never UTF-8
// more often than what any of Recodia's languages holds: the model, which
// counts it as a sign of no language, is told so.
constexpr Cost kForeignCharacterCost = 16 * 8;

bool is_foreign_letter(Character c) {
  if (c < 0x80 || c == kReplacementCharacter || tables().pages_with(c) != 0) return false;
  const bool sign = (c >= 0x2000 && c < 0x2460) || (c >= 0x2500 && c < 0x2800) || (c >= 0x1F000 && c < 0x1FB00);
  return !sign;
}

// What a wrong page makes of one letter in a word, and which the model, which
// weighs pairs of neighbours, forgives too easily: a word of Latin and
// Cyrillic letters at once (verifiлren), a sign inside a word (h›gre, fГјr).
constexpr Cost kMixedWordCost = 16 * 8;

enum class LetterKind : std::uint8_t { none, latin, cyrillic, other };

constexpr LetterKind letter_kind(Character c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return LetterKind::latin;
  if (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) return LetterKind::latin;
  if (is_cyrillic_letter(c)) return LetterKind::cyrillic;
  if (c >= 0x370 && c <= 0x3FF && c != 0x37E && c != 0x387) return LetterKind::other;
  return LetterKind::none;
}

// Signs that sound words hold between letters: apostrophes, hyphens, the
// middle dot of Catalan, the soft hyphen.
constexpr bool joins_letters(Character c) {
  return c < 0x80 || c == U'’' || c == U'‘' || c == U'ʼ' || c == U'′' || c == U'‐' || c == U'‑' || c == U'·' ||
         c == 0xAD;
}

Cost word_cost(std::span<const Character> text) {
  Cost cost = 0;
  bool latin = false, cyrillic = false, counted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const LetterKind k = letter_kind(text[i]);
    if (k == LetterKind::none) {
      const bool inside = i > 0 && i + 1 < text.size() && letter_kind(text[i - 1]) != LetterKind::none &&
                          letter_kind(text[i + 1]) != LetterKind::none;
      if (inside && !joins_letters(text[i])) {
        cost += kMixedWordCost;
        continue;  // the word goes on
      }
      latin = cyrillic = counted = false;
      continue;
    }
    latin = latin || k == LetterKind::latin;
    cyrillic = cyrillic || k == LetterKind::cyrillic;
    if (latin && cyrillic && !counted) cost += kMixedWordCost, counted = true;
  }
  return cost;
}

// The model's cost with the penalties above; beyond `bound` only known to
// be more than that.
Cost penalty_of(std::span<const Character> text) {
  Cost penalty = word_cost(text);
  for (const Character c : text)
    if (c >= 0x80 && is_foreign_letter(c)) penalty += kForeignCharacterCost;
  return penalty;
}

Cost judged_cost(std::span<const Character> text, Cost bound = std::numeric_limits<Cost>::max()) {
  const Cost penalty = penalty_of(text);
  if (penalty > bound) return penalty;
  return text_cost_below(text, bound - penalty) + penalty;
}


constexpr bool is_upper(Character c) {
  return (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x400 && c <= 0x42F);
}
constexpr bool is_lower(Character c) {
  return (c >= 'a' && c <= 'z') || (c >= 0xDF && c <= 0xFF && c != 0xF7) || (c >= 0x430 && c <= 0x45F);
}

// A capital beyond ASCII after a small letter, or more such capitals than
// small letters: what KOI8-R and Windows 1251 make of each other's letters
// (рТЙЧЕФ, ПТЙЧЕФ). An ASCII capital inside a word is only camelCase, and a
// few capitals are acronyms.
bool has_odd_capitals(std::span<const Character> text) {
  std::size_t capitals = 0, small = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] < 0x80) continue;
    if (is_upper(text[i])) {
      ++capitals;
      if (i > 0 && is_lower(text[i - 1])) return true;
    } else if (is_lower(text[i])) {
      ++small;
    }
  }
  return capitals > small;
}

// The signs above ASCII that sound text is full of; any other sign may be
// what a wrong page made of a letter.
constexpr bool is_common_sign(Character c) {
  constexpr std::u32string_view kCommon = U"\u00A0«»“”„‘’‚–—…•·€£©®°§№™\uFFFD";
  return kCommon.find(c) != std::u32string_view::npos;
}

bool has_odd_sign(std::span<const Character> text) {
  return std::any_of(text.begin(), text.end(), [](Character c) {
    return c >= 0x80 && letter_kind(c) == LetterKind::none && !is_common_sign(c);
  });
}

// A character above ASCII rare in the text's language (the one the model
// finds it most natural in). The text is weighed only where the languages
// that find one of its characters rare are some but not all.
bool has_rare_character(std::span<const Character> text) {
  const PageTables& t = tables();
  const auto languages = static_cast<std::size_t>(detection::language_count());
  std::uint32_t finding_rare = 0;
  for (const Character c : text) {
    if (c < 0x80) continue;
    const auto alone = t.costs_alone(c);
    for (std::size_t l = 0; l < languages; ++l)
      if (alone[l] >= kRareCharacterCost) finding_rare |= std::uint32_t{1} << l;
  }
  if (finding_rare == 0) return false;
  if (std::popcount(finding_rare) == static_cast<int>(languages)) return true;
  return cheapest_language_among(text, finding_rare);
}

// A code page's mix-up leaves a sign: a character the text's language
// hardly has, a capital inside a word, a sign or a script change inside a
// word. The cheap signs first.
bool shows_mix_up(std::span<const Character> text) {
  return word_cost(text) > 0 || has_odd_capitals(text) || has_odd_sign(text) || has_rare_character(text);
}

struct Candidate {
  WrongChain chain;
  std::vector<Character> text;
  std::size_t recovered = 0, unrecovered = 0;
  Cost cost = 0;
  Cost rank = 0;  // the cost, less the evidence of well-formed UTF-8: what candidates are chosen by
};

bool through_utf8(const WrongChain& c) {
  for (std::size_t i = 0; i < c.length; ++i)
    if (c.readings[i].original == kUtf8) return true;
  return false;
}

Cost step_margin(const WrongReading& r) { return bits(r.original == kUtf8 ? kSureUtf8RepairBits : kSureRepairBits); }

Cost sure_margin(const WrongChain& c) { return bits(through_utf8(c) ? kSureUtf8RepairBits : kSureRepairBits); }

std::size_t hash_of(std::span<const Character> text) {
  std::size_t h = 1469598103934665603ull;
  for (const Character c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

// A repair must read like prose, which costs the model 3 to 4.5 bits a
// character: of two readings that are both gibberish (signs for letters, say),
// the model may like one better, and neither is the text.
constexpr int kNaturalBitsPerCharacter = 6;

// Bytes that form UTF-8 throughout are evidence beside the model's: between
// two readings that the model finds about as natural, the one through UTF-8
// is taken (c.à.d. read as Windows 1251 is `c.Г .d.`, which a code page's
// mix-up would make `c.¡ .d.`).
constexpr Cost kUtf8Evidence = 16 * 8;

bool reads_naturally(const Candidate& c) {
  return c.cost <= bits(kNaturalBitsPerCharacter) * static_cast<Cost>(c.text.size());
}

// Gibberish is never chosen while a reading like prose is there.
Cost ranked(const Candidate& c) {
  if (!reads_naturally(c)) return std::numeric_limits<Cost>::max() / 2 + c.cost;
  return c.cost - (through_utf8(c.chain) ? kUtf8Evidence : 0);
}

constexpr Character lower_case(Character c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x410 && c <= 0x42F)) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

// A reading that only changes letter case is no repair: all capitals are
// what such a chain would "repair".
bool same_but_case(std::span<const Character> a, std::span<const Character> b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](Character x, Character y) {
           return lower_case(x) == lower_case(y);
         });
}

// A code page's mix-up is undone by giving letters back: a reading that only
// changes signs (© for ¿), or letters into signs (ná for n·), is no repair
// the model can judge, the signs of one page being as plausible as another's.
bool gives_a_letter(std::span<const Character> before, std::span<const Character> after) {
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i)
    if (before[i] != after[i] && letter_kind(after[i]) != LetterKind::none) return true;
  return false;
}

StretchRepair repaired(Candidate&& c, Cost margin) {
  StretchRepair r;
  r.verdict = RepairVerdict::repaired;
  r.chain = c.chain;
  r.text = std::move(c.text);
  r.recovered = c.recovered;
  r.unrecovered = c.unrecovered;
  r.margin_bits = static_cast<int>(margin / 8);
  return r;
}

// How many single-byte undoings of the first step are searched a step deeper
// in full: the most natural ones (beyond them, only UTF-8's telltale bytes).
constexpr std::size_t kDeepSingleByte = 3;
constexpr int kDeeperBits = 32;

}  // namespace

std::span<const EncodingId> repair_pages() { return tables().ids(); }

std::string describe(const WrongChain& chain) {
  std::string out;
  for (std::size_t i = 0; i < chain.length; ++i) {
    if (i > 0) out += ", then ";
    out += encoding(chain.readings[i].original).name;
    out += " read as ";
    out += encoding(chain.readings[i].wrong).name;
  }
  return out;
}


StretchRepair repair_stretch(std::span<const Character> text, bool field, Search search) {
  StretchRepair none;
  if (!has_non_ascii(text)) return none;
  // Where no sign of a code page's mix-up is, only UTF-8's telltale bytes
  // are looked for; where no page's bytes can be UTF-8 either, the text is
  // sound, and the model need not weigh it (the search would find nothing).
  const bool suspect = shows_mix_up(text);
  if (search == Search::screened && !suspect && pages_maybe_utf8(text, pages_writing(text)) == 0) return none;
  // A code page's reading changes only the characters above ASCII: it is
  // weighed from the text's own cost in each language, over those alone.
  std::vector<Cost> by_language;
  if (search == Search::screened) by_language = costs_by_language(text);
  const Cost as_it_stands = search == Search::screened
                                ? penalty_of(text) + *std::min_element(by_language.begin(), by_language.end())
                                : judged_cost(text);
  // Costs beyond these bounds are not worked out in full: a first step that
  // reads much worse than the text is searched no deeper, and the end of a
  // chain must read better than the text.
  const Cost first_bound = as_it_stands + bits(kDeeperBits);
  std::unordered_set<std::size_t> seen{hash_of(text)};
  std::vector<Candidate> found;
  for (const Undoing& u : undoings_of(text, !suspect, search)) {
    if (!seen.insert(hash_of(u.text)).second || same_but_case(u.text, text)) continue;
    if (u.reading.original != kUtf8 && !gives_a_letter(text, u.text)) continue;
    Candidate c;
    c.chain.readings[c.chain.length++] = u.reading;
    c.text = u.text;
    c.recovered = u.recovered;
    c.unrecovered = u.unrecovered;
    c.cost = search == Search::screened && u.reading.original != kUtf8
                 ? penalty_of(c.text) + changed_text_cost(text, by_language, c.text)
                 : judged_cost(c.text, first_bound);
    c.rank = ranked(c);
    found.push_back(std::move(c));
  }
  // A step deeper: the first step's undoings read as having been damaged before.
  std::vector<std::size_t> single_byte;
  for (std::size_t i = 0; i < found.size(); ++i)
    if (found[i].chain.readings[0].original != kUtf8) single_byte.push_back(i);
  std::sort(single_byte.begin(), single_byte.end(), [&](std::size_t a, std::size_t b) { return found[a].cost < found[b].cost; });
  const std::size_t first_step = found.size();
  for (std::size_t i = 0; i < first_step; ++i) {
    if (found[i].cost > first_bound) continue;
    const bool deep = found[i].chain.readings[0].original == kUtf8 ||
                      std::find(single_byte.begin(), single_byte.begin() + std::min(kDeepSingleByte, single_byte.size()), i) !=
                          single_byte.begin() + std::min(kDeepSingleByte, single_byte.size());
    const Candidate before = found[i];
    // Undone last step first: the earlier wrong reading goes before it in the chain.
    for (const Undoing& u : undoings_of(before.text, !deep, search)) {
      if (!seen.insert(hash_of(u.text)).second || same_but_case(u.text, text)) continue;
      const bool code_pages_only = u.reading.original != kUtf8 && before.chain.readings[0].original != kUtf8;
      if (code_pages_only && !gives_a_letter(text, u.text)) continue;
      Candidate c;
      c.chain.length = 2;
      c.chain.readings[0] = u.reading;
      c.chain.readings[1] = before.chain.readings[0];
      c.text = u.text;
      c.recovered = before.recovered + u.recovered;
      c.unrecovered = before.unrecovered + u.unrecovered;
      c.cost = judged_cost(c.text, as_it_stands);
      c.rank = ranked(c);
      found.push_back(std::move(c));
    }
  }
  if (found.empty()) return none;
  const auto cheaper = [](const Candidate& a, const Candidate& b) { return a.rank < b.rank; };
  auto best = std::min_element(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(first_step), cheaper);
  // Two wrong decodings are taken over one only when they read better by a
  // sure margin: else a second step merely tunes the letters to the model.
  const auto deeper = std::min_element(found.begin() + static_cast<std::ptrdiff_t>(first_step), found.end(), cheaper);
  if (best == found.begin() + static_cast<std::ptrdiff_t>(first_step) ||
      (deeper != found.end() && deeper->rank + step_margin(deeper->chain.readings[0]) <= best->rank))
    best = deeper;
  const Cost margin = as_it_stands - best->cost;
  // A field is short, and short text is more easily UTF-8 by chance, or
  // reshuffled into something the model likes: only a chain through UTF-8 is
  // taken there, and at the higher margin.
  const bool allowed = (!field || through_utf8(best->chain)) && reads_naturally(*best);
  const Cost needed = field ? std::max(sure_margin(best->chain), bits(kSureRepairBits)) : sure_margin(best->chain);
  if (allowed && margin >= needed) return repaired(std::move(*best), margin);
  if (margin >= bits(kDoubtBits)) {
    StretchRepair doubt;
    doubt.verdict = RepairVerdict::left_alone;
    doubt.chain = best->chain;
    doubt.margin_bits = static_cast<int>(margin / 8);
    return doubt;
  }
  return none;
}

namespace {

// Characters above ASCII that a settled chain must give back, each from a
// well-formed sequence of two bytes or more, before it is taken without the
// model: chance seldom makes that many.
constexpr std::size_t kPlainlyUndone = 3;

// Text undone through a settled chain that plainly reads as the text: enough
// characters given back, none of a code page's mix-up's signs, and no page's
// bytes for it UTF-8 again (a step further might be due).
bool plainly_undone(std::span<const Character> undone) {
  const auto given_back = static_cast<std::size_t>(std::count_if(undone.begin(), undone.end(), [](Character c) { return c >= 0x80; }));
  if (given_back < kPlainlyUndone) return false;
  if (std::any_of(undone.begin(), undone.end(), [](Character c) { return c == kReplacementCharacter || is_foreign_letter(c); }))
    return false;
  return !shows_mix_up(undone) && pages_maybe_utf8(undone, pages_writing(undone)) == 0;
}

}  // namespace

std::optional<StretchRepair> repair_through(std::span<const Character> text, const WrongChain& chain, Search search) {
  if (chain.length == 0 || !has_non_ascii(text)) return std::nullopt;
  for (std::size_t i = 0; i < chain.length; ++i)
    if (chain.readings[i].original != kUtf8) return std::nullopt;
  const PageTables& t = tables();
  Undoing u;
  u.text.assign(text.begin(), text.end());
  std::size_t recovered = 0, unrecovered = 0;
  // Pages that share most of their characters (Windows 1252 and ISO 8859-15)
  // can both make UTF-8 of a line: where another reads it otherwise than
  // the settled one, only the search can choose.
  std::optional<std::vector<Character>> outer;
  const PageMask writers = pages_writing(text);
  const PageMask utf8 = search == Search::screened ? pages_maybe_utf8(text, writers) : writers;
  for (std::size_t w = 0; w < t.ids().size(); ++w) {
    if (!(utf8 >> w & 1)) continue;
    auto other = read_as_utf8(written(text, w), w);
    if (!other) continue;
    if (outer && other->text != *outer) return std::nullopt;
    outer = std::move(other->text);
  }
  for (std::size_t i = chain.length; i-- > 0;) {
    const std::size_t w = t.index_of(chain.readings[i].wrong);
    if (w >= t.ids().size() || !(pages_writing(u.text) >> w & 1)) return std::nullopt;
    auto step = read_as_utf8(written(u.text, w), w);
    if (!step) return std::nullopt;
    u = std::move(*step);
    recovered += u.recovered;
    unrecovered += u.unrecovered;
  }
  Candidate c;
  c.chain = chain;
  c.text = std::move(u.text);
  c.recovered = recovered;
  c.unrecovered = unrecovered;
  if (search == Search::screened && plainly_undone(c.text)) return repaired(std::move(c), sure_margin(chain));
  c.cost = judged_cost(c.text, bits(kNaturalBitsPerCharacter) * static_cast<Cost>(c.text.size()));
  if (!reads_naturally(c)) return std::nullopt;
  // The text as it stands need only be known to cost that much more.
  const Cost needed = c.cost + sure_margin(chain);
  if (judged_cost(text, needed) < needed) return std::nullopt;
  return repaired(std::move(c), needed - c.cost);
}

namespace {

constexpr bool is_field_separator(Character c) { return c == '\t' || c == ';' || c == ',' || c == '|'; }

}  // namespace

LineRepair repair_line(std::span<const Character> line, Search search) {
  LineRepair out;
  StretchRepair whole = repair_stretch(line, false, search);
  if (whole.verdict == RepairVerdict::repaired) {
    out.verdict = whole.verdict;
    out.chain = whole.chain;
    out.text = std::move(whole.text);
    out.recovered = whole.recovered;
    out.unrecovered = whole.unrecovered;
    return out;
  }
  out.verdict = whole.verdict;
  out.chain = whole.chain;
  if (std::none_of(line.begin(), line.end(), is_field_separator)) return out;
  // Field by field: a damaged field between sound ones.
  std::vector<Character> text;
  text.reserve(line.size());
  bool any = false, doubt = whole.verdict == RepairVerdict::left_alone;
  WrongChain chain;
  for (std::size_t from = 0; from <= line.size();) {
    const auto end = std::find_if(line.begin() + static_cast<std::ptrdiff_t>(from), line.end(), is_field_separator);
    const std::size_t to = static_cast<std::size_t>(end - line.begin());
    const std::span<const Character> field = line.subspan(from, to - from);
    StretchRepair r = repair_stretch(field, true, search);
    if (r.verdict == RepairVerdict::repaired) {
      if (!any) chain = r.chain;
      any = true;
      text.insert(text.end(), r.text.begin(), r.text.end());
      out.recovered += r.recovered;
      out.unrecovered += r.unrecovered;
    } else {
      doubt = doubt || r.verdict == RepairVerdict::left_alone;
      text.insert(text.end(), field.begin(), field.end());
    }
    if (to < line.size()) text.push_back(line[to]);
    from = to + 1;
  }
  if (any) {
    out.verdict = RepairVerdict::repaired;
    out.chain = chain;
    out.text = std::move(text);
  } else {
    out.verdict = doubt ? RepairVerdict::left_alone : RepairVerdict::sound;
  }
  return out;
}

}  // namespace recodia
