#include <gtest/gtest.h>

#include "test_support.hpp"

namespace recodia::test {
namespace {

// The Russian alphabet from Windows 1251 to KOI8-R, against glibc's iconv.
TEST(Smoke, RussianLettersFromWindows1251ToKoi8r) {
  const Bytes utf8 = "Съешь же ещё этих мягких французских булок, да выпей чаю. ЁЖ";
  const Bytes input = iconv_convert("UTF-8", "CP1251", utf8);
  EXPECT_EQ(hex(convert({"-w", "-tokoi8"}, input)), hex(iconv_convert("UTF-8", "KOI8-R", utf8)));
}

}  // namespace
}  // namespace recodia::test
