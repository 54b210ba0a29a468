// What one call of the converter carries from step to step.
#pragma once

#include <cstdint>

#include "convert/symbol_codes.hpp"

namespace recodia {

struct ByteInProgress {
  std::uint8_t input = 0;    // the byte as read from the file
  std::uint8_t working = 0;  // the pivot byte, then the fallback byte, then the target byte
  SymbolCode code = 0;       // 0: no symbol code
  bool string_pending = false;
  // A constant string stored in the pivot code page (re-encoded at the end);
  // meaningful only while string_pending is set.
  const char* replacement = "";

  void attach(const char* s) {
    string_pending = true;
    replacement = s;
  }
};

}  // namespace recodia
