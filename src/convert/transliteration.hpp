// Cyrillic written in Latin letters: the target "-translit" / "-totl".
#pragma once

#include <array>
#include <cstdint>

#include "convert/byte_in_progress.hpp"
#include "convert/settings.hpp"

namespace recodia {

using TransliterationTable = std::array<const char*, 256>;

// The Latin string of every pivot letter (and Є є Ї ї Ў ў); "" elsewhere.
const TransliterationTable& transliteration_table();

// Replaces whatever string a Cyrillic working byte carries by its Latin
// spelling; with "-nqt" the hard and soft signs become the byte Q or q.
void apply_transliteration(ByteInProgress& byte, const ConversionSettings& settings);

}  // namespace recodia
