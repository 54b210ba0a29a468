// "-fix": the conversion with the repair of wrong decodings between its two
// halves. The text is read into UTF-8 by the ordinary conversion (a source
// named or detected, in place or not), each line is repaired on its way, and
// the repaired text is converted into the target.
#pragma once

#include <string>

#include "cli/run.hpp"
#include "cli/text_stream.hpp"

namespace recodia {

// convert_stream with every line repaired where sure; says on standard error
// what was repaired and what was left alone.
StreamResult convert_stream_repairing(platform::InputFile& in, platform::OutputFile& out, const RunContext& context,
                                      const std::string& in_name, bool in_place);

// For "-detect": ", mojibake: UTF-8 read as Windows-1251 (lines 3–40)" when
// lines of the text, read as `source`, are surely damaged so; else empty.
// Reads the input from where it is, up to its first 4 MiB.
std::string mojibake_note(platform::InputFile& in, EncodingId source);

}  // namespace recodia
