// HTML character entities for characters that a target lacks ("-html").
#pragma once

#include <array>
#include <string_view>

#include "convert/byte_in_progress.hpp"

namespace recodia {

struct EntityRow {
  SymbolCode code;     // 0 for the two rows that match the working byte instead
  unsigned char byte;  // the working byte matched by the rows without a code
  const char* entity;
};

inline constexpr int kEntityRowCount = 128;

// The table in its order: where a code row and a byte row both match, the row
// further down wins.
const std::array<EntityRow, kEntityRowCount>& entity_table();

// Attaches the entity of the byte's symbol code or working byte, if any;
// never changes the working byte. Runs only with "-html" and without "-dhcs".
void apply_html_entity(ByteInProgress& byte);

}  // namespace recodia
