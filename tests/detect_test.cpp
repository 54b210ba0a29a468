// The encoding detector: short real samples with the answer each must get
// (tests/data/detect/answers.txt), UTF-8 validity, and the guard's questions.
#include <gtest/gtest.h>

#include <span>
#include <sstream>
#include <string>

#include "convert/detect.hpp"
#include "convert/registry.hpp"
#include "test_support.hpp"

namespace recodia {
namespace {

std::string data_file(const std::string& name) {
  return test::read_file(std::string(RECODIA_SOURCE_DIR) + "/tests/data/" + name);
}

std::span<const std::uint8_t> bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::string answer(const Detection& d) {
  if (d.kind == TextKind::ascii) return "ascii";
  if (d.kind == TextKind::utf8) return d.byte_order_mark ? "utf8+bom" : "utf8";
  return std::string(encoding(d.encoding).name);
}

TEST(Detect, EverySampleGetsItsAnswer) {
  std::istringstream table(data_file("detect/answers.txt"));
  std::string file, expected;
  int rows = 0;
  while (table >> file >> expected) {
    ++rows;
    EXPECT_EQ(answer(detect_encoding(bytes(data_file("detect/" + file)))), expected) << file;
  }
  EXPECT_GE(rows, 20);
}

TEST(Detect, Utf8IsValidTextWithNonAsciiCharacters) {
  const std::string russian = data_file("russian.txt");
  EXPECT_EQ(answer(detect_encoding(bytes(russian))), "utf8");
  EXPECT_EQ(answer(detect_encoding(bytes("\xEF\xBB\xBF" + russian))), "utf8+bom");
  EXPECT_EQ(answer(detect_encoding(bytes(std::string("plain text\r\n")))), "ascii");
  struct Case {
    const char* bytes;
    bool utf8;
  };
  for (const Case& c : {
           Case{"\xD0\x9F\xD1\x80\xD0\xB8", true},
           Case{"\xD0\x9F\xD1", true},           // cut by the end of the sample
           Case{"ab\xD0", false},                // nothing but a cut sequence
           Case{"\xEF\xBB\xBF", true},           // a byte-order mark alone
           Case{"a\x80z", false},                // stray continuation byte
           Case{"\xC0\xAF", false},              // overlong
           Case{"\xE0\x80\xAF", false},          // overlong
           Case{"\xED\xA0\x80", false},          // surrogate
           Case{"\xF4\x90\x80\x80", false},      // past U+10FFFF
           Case{"\xF0\x9F\x98\x80 ok", true},
       })
    EXPECT_EQ(is_utf8_text(bytes(c.bytes)), c.utf8) << c.bytes;
}

TEST(Detect, ReadsOnlyTheStartOfTheText) {
  std::string text(kDetectionSampleSize, 'a');
  EXPECT_EQ(answer(detect_encoding(bytes(text + data_file("detect/koi8-r.txt")))), "ascii");
}

TEST(Detect, GuardSeesTextThatIsPlainlyAnotherEncoding) {
  const std::string koi8r = data_file("detect/koi8-r.txt");
  const auto other = plainly_other_than(bytes(koi8r), kWindows1251);
  ASSERT_TRUE(other);
  EXPECT_EQ(answer(*other), "KOI8-R");
  EXPECT_FALSE(plainly_other_than(bytes(koi8r), kKoi8r));
  EXPECT_TRUE(reads_alike(bytes(koi8r), kKoi8r, kKoi8u));
  EXPECT_FALSE(plainly_other_than(bytes(koi8r), kKoi8u));  // reads alike: nothing to warn of

  const auto utf8 = plainly_other_than(bytes(data_file("russian.txt")), kDos866);
  ASSERT_TRUE(utf8);
  EXPECT_EQ(answer(*utf8), "utf8");
}

}  // namespace
}  // namespace recodia
