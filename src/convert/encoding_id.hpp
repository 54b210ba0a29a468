// The encodings Recodia converts between, numbered as the rest of the engine
// refers to them.
#pragma once

namespace recodia {

enum EncodingId : int {
  kKx = 0,             // DOS 866 with Zh/zh at 0xB0/0xB1 and no Yo (the default target)
  kDos866 = 1,         // the pivot code page (the default source)
  kWindows1251 = 2,
  kKoi8r = 3,
  kDos855 = 4,
  kMacCyrillic = 5,
  kIso8859_5 = 6,
  kKoi7 = 7,
  kTransliteration = 8,  // a target only
  kIsoIr111 = 9,
  kKoi8u = 10,
  kMacUkrainian = 11,
  kWindows1254 = 12,
  kDos857 = 13,
  kMacTurkish = 14,
  kIso8859_9 = 15,
  kDos850 = 16,
  kWindows1252 = 17,
  kIso8859_1 = 18,
  kIso8859_15 = 19,
  kMacRoman = 20,
  kUtf8 = 21,
  kUtf16 = 22,    // little-endian unless a byte-order mark says otherwise
  kUtf16be = 23,
  kUtf32 = 24,    // a source only, as kUtf32be
  kUtf32be = 25,
};

inline constexpr int kEncodingCount = 26;

}  // namespace recodia
