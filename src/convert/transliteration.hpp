// Cyrillic written in Latin letters: the target "-translit" / "-totl", and the
// Latin spelling of Cyrillic letters in targets without them.
#pragma once

#include <optional>
#include <string_view>

#include "convert/characters.hpp"

namespace recodia {

// The Latin spelling of a Russian letter or of Ё ё Є є Ї ї Ў ў (capitals
// keep only their first letter upper case: "Sch", "Ya"); empty for any other
// character. With "-nqt" the hard and soft signs are Q and q.
std::u32string_view transliteration_of(Character c, bool no_quote_signs = false);

// The ASCII transliteration that glibc's iconv gives a character beyond
// ASCII, if it gives one other than "?" (it may be empty: iconv drops the
// character).
std::optional<std::u32string_view> ascii_transliteration_of(Character c);

}  // namespace recodia
