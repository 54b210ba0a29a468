// File names as the lines of the program show them, so that no name can
// forge a line or reach a terminal as a control sequence.
#pragma once

#include <string>
#include <string_view>

namespace recodia {

// A name without control characters as it is (within single quotes when
// `quoted`); one with them (C0, DEL, C1, or a stray byte of the C1 range) as
// `ls --quoting-style=shell-escape` writes it: 'a'$'\n''b', which a shell
// reads back as the name.
std::string shown_name(std::string_view name, bool quoted);

}  // namespace recodia
