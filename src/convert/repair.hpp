// Undoing wrong decodings (mojibake): text whose bytes were once read through
// the wrong encoding, perhaps twice, and saved that way. Pure functions of the
// characters they are given, a stretch at a time (a line, or a field of one).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "convert/characters.hpp"
#include "convert/encoding_id.hpp"

namespace recodia {

// One wrong decoding: bytes written in `original` were read as `wrong`.
struct WrongReading {
  EncodingId original = kUtf8;
  EncodingId wrong = kWindows1252;
  bool operator==(const WrongReading&) const = default;
};

// Two wrong decodings deep at most: beyond that the search grows for little.
inline constexpr std::size_t kMaxWrongReadings = 2;

// The wrong decodings a text went through, in the order they happened.
struct WrongChain {
  std::array<WrongReading, kMaxWrongReadings> readings{};
  std::size_t length = 0;
  bool operator==(const WrongChain&) const = default;
};

// "UTF-8 read as Windows-1251", "UTF-8 read as Windows-1252, then UTF-8 read as
// Windows-1252": the registry's names.
std::string describe(const WrongChain& chain);

// A repair is made only when it reads more naturally than the stretch as it
// stands by this many bits (calibrated on held-out prose, docs/repair.md):
// where the bytes must form UTF-8, which chance seldom gives, ...
inline constexpr int kSureUtf8RepairBits = 12;
// ... and where any byte reads as something, a mere reshuffling of letters.
inline constexpr int kSureRepairBits = 20;
// A stretch that some chain would read better by this much, but not surely,
// is counted as left alone; less than this is taken for sound text.
inline constexpr int kDoubtBits = 8;
// A lost byte (an undefined byte of the wrong page, arrived as `?` or U+FFFD)
// is given the character it stood for when the model prefers it over every
// other candidate by this much; else it stays U+FFFD.
inline constexpr int kSureLostByteBits = 6;

enum class RepairVerdict : std::uint8_t {
  sound,       // no wrong decoding reads it better: left exactly as it is
  repaired,    // `text` holds it undone
  left_alone,  // a chain reads it somewhat better, but not surely: left as it is
};

struct StretchRepair {
  RepairVerdict verdict = RepairVerdict::sound;
  WrongChain chain;              // when repaired, or the doubtful one when left alone
  std::vector<Character> text;   // when repaired
  std::size_t recovered = 0;     // lost bytes whose character the context told
  std::size_t unrecovered = 0;   // lost bytes left as U+FFFD
  int margin_bits = 0;           // how much better the chain reads than the stretch
};

// Finds the chain of wrong decodings whose undoing reads most naturally, and
// undoes it where sure. A `field` of a line (short, and beside sound text)
// is repaired only through UTF-8, and at the higher margin.
// `plain` searches every stretch in full: the reference the screen (which
// settles sound text before any model cost) is held to.
enum class Search : std::uint8_t { screened, plain };
StretchRepair repair_stretch(std::span<const Character> text, bool field = false, Search search = Search::screened);

// The undoing of a chain through UTF-8 alone, where sure and reading like
// prose: a file damaged throughout the same way need not be searched again
// for every line. Nothing where it does not hold (then search).
// `screened` takes a line that plainly reads undone (enough characters given
// back, no sign of more damage) without weighing it.
std::optional<StretchRepair> repair_through(std::span<const Character> text, const WrongChain& chain,
                                            Search search = Search::screened);


// A line: repaired whole where it can be, else field by field (tab, `;`,
// `,` or `|` apart), so that one damaged field of a CSV line is repaired and
// the rest left as they are.
struct LineRepair {
  RepairVerdict verdict = RepairVerdict::sound;  // repaired when any field was
  WrongChain chain;                              // the first repair's, or the doubt's
  std::vector<Character> text;                   // the whole line, when repaired
  std::size_t recovered = 0, unrecovered = 0;
};
LineRepair repair_line(std::span<const Character> line, Search search = Search::screened);

// The single-byte encodings a wrong decoding is sought through: the registry's
// single-byte sources, one for each different code page (KOI-7, which reads
// its upper half as ASCII signs and Cyrillic only, aside), most widespread first.
std::span<const EncodingId> repair_pages();

}  // namespace recodia
