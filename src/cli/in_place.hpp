// Converting a file in place: the converted text written beside it and put
// in its place in one step, the original kept should anything fail.
#pragma once

#include <string>

#include "cli/run.hpp"

namespace recodia {

// Converts the file in place; true when it was converted. Says on standard
// error what went wrong.
bool convert_in_place(const std::string& name, const RunContext& context);

// "-i": every name in place, one after the other; true when all were converted.
bool convert_all_in_place(const RunContext& context);

}  // namespace recodia
