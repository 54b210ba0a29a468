// HTML character entities for characters that a target lacks ("-html").
#pragma once

#include <string_view>

#include "convert/characters.hpp"

namespace recodia {

// The entity that "-html" writes for a character the target lacks; empty for
// a character without one.
std::u32string_view html_entity(Character c);

}  // namespace recodia
