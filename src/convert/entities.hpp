// HTML character entities for characters that a target lacks ("-html").
#pragma once

#include <string_view>

#include "convert/characters.hpp"

namespace recodia {

// The entity that "-html" writes for a character the target lacks; empty for
// a character without one.
std::u32string_view html_entity(Character c);

// Whether "-html" may write a character without an entity by its number
// ("&#N;"); otherwise it takes the substitute it has without "-html".
bool has_numeric_reference(Character c);

}  // namespace recodia
