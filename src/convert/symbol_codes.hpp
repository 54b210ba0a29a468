// Symbol codes: Recodia's own numbers for every character beyond ASCII that is
// not one of the 66 Russian letters of the pivot code page. Each encoding with
// a symbol-code table gives every byte its code (0 for none); a target finds a
// character's byte by looking its code up.
#pragma once

#include <array>
#include <cstdint>

#include "convert/encoding_id.hpp"

namespace recodia {

using SymbolCode = std::int32_t;

inline constexpr SymbolCode kFirstSymbolCode = 300;
inline constexpr SymbolCode kLastSymbolCode = 860;

struct CatalogueEntry {
  SymbolCode code;
  char32_t character;
};

inline constexpr int kSymbolCodeCount = 235;

// Every symbol code with the character it names, in ascending code order.
const std::array<CatalogueEntry, kSymbolCodeCount>& symbol_catalogue();

struct SymbolCodeTable {
  std::array<SymbolCode, 256> codes{};
  // For each code from kFirstSymbolCode up, the lowest byte (from 1) that
  // carries it, 0 where none does: the answer of a scan from byte 1 upward.
  std::array<std::uint8_t, kLastSymbolCode - kFirstSymbolCode + 1> lowest_byte{};
};

// The table of an encoding, or nullptr for KX, KOI-7 and transliteration,
// which have none. ISO 8859-1 shares the Windows 1252 table.
const SymbolCodeTable* symbol_code_table(EncodingId id);

// The symbol code of a byte of the source encoding; 0 for encodings without a table.
SymbolCode symbol_code_of(EncodingId id, std::uint8_t byte);

// The first byte from 1 upward whose code is `code`; 0 for code 0 or none.
inline std::uint8_t find_symbol(SymbolCode code, const SymbolCodeTable& table) {
  if (code < kFirstSymbolCode || code > kLastSymbolCode) return 0;
  return table.lowest_byte[static_cast<std::size_t>(code - kFirstSymbolCode)];
}

}  // namespace recodia
