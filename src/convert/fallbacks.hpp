// Readable substitutes for characters that a target may lack: a one-byte
// fallback for every code that has a rule, and for many a spelled-out string.
#pragma once

#include "convert/byte_in_progress.hpp"
#include "convert/settings.hpp"

namespace recodia {

// Sets the fallback byte (and, where the code has one, the fallback string)
// of the byte's symbol code; leaves a code without a rule alone.
void apply_fallback(ByteInProgress& byte, const ConversionSettings& settings);

}  // namespace recodia
