// The encoding detector: short real samples with the answer each must get
// (tests/data/detect/answers.txt), what is UTF-8, and the guard's questions.
#include "convert/detect.hpp"
#include "convert/registry.hpp"
#include "support.hpp"

namespace recodia::test {
namespace {

std::span<const std::uint8_t> bytes(const std::string& s) { return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}; }

std::string answer(const Detection& d) {
  if (d.kind == TextKind::ascii) return "ascii";
  if (d.kind == TextKind::utf8) return d.byte_order_mark ? "utf8+bom" : "utf8";
  return std::string(encoding(d.encoding).name);
}

TEST(Detect, EverySampleGetsItsAnswer) {
  const auto rows = data_rows("detect/answers.txt", ' ');
  for (const auto& row : rows) EXPECT_EQ(answer(detect_encoding(bytes(data_file("detect/" + row[0])))), row[1]) << row[0];
  EXPECT_GE(rows.size(), 20u);
  // Only the start is read: a sample's worth of ASCII hides what follows.
  const std::string text(kDetectionSampleSize, 'a');
  EXPECT_EQ(answer(detect_encoding(bytes(text + data_file("detect/koi8-r.txt")))), "ascii");
}

TEST(Detect, Utf8IsValidTextWithCharactersBeyondAscii) {
  const std::string russian = data_file("russian.txt");
  EXPECT_EQ(answer(detect_encoding(bytes(russian))), "utf8");
  EXPECT_EQ(answer(detect_encoding(bytes("\xEF\xBB\xBF" + russian))), "utf8+bom");
  EXPECT_EQ(answer(detect_encoding(bytes("plain text\r\n"))), "ascii");
  const std::pair<std::string, bool> cases[] = {
      {"\xD0\x9F\xD1\x80\xD0\xB8", true}, {"\xD0\x9F\xD1", true},  // cut by the end of the sample
      {"ab\xD0", false},                  // nothing but a cut sequence
      {"\xEF\xBB\xBF", true},             // a byte-order mark alone
      {"a\x80z", false}, {"\xC0\xAF", false}, {"\xE0\x80\xAF", false},  // stray, overlong
      {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false},            // surrogate, past U+10FFFF
      {"\xF0\x9F\x98\x80 ok", true}};
  for (const auto& [text, utf8] : cases) EXPECT_EQ(is_utf8_text(bytes(text)), utf8) << hex(text);
}

// Text plainly in another encoding than the one named, and where nothing is
// to be said: the named one fits, or reads it alike.
TEST(Detect, GuardSeesTextThatIsPlainlyAnotherEncoding) {
  const std::string koi8r = data_file("detect/koi8-r.txt");
  const auto other = plainly_other_than(bytes(koi8r), kWindows1251);
  EXPECT_EQ(other ? answer(*other) : "nothing", "KOI8-R");
  EXPECT_FALSE(plainly_other_than(bytes(koi8r), kKoi8r));
  EXPECT_TRUE(reads_alike(bytes(koi8r), kKoi8r, kKoi8u));
  EXPECT_FALSE(plainly_other_than(bytes(koi8r), kKoi8u));
  const auto utf8 = plainly_other_than(bytes(data_file("russian.txt")), kDos866);
  EXPECT_EQ(utf8 ? answer(*utf8) : "nothing", "utf8");
}

}  // namespace
}  // namespace recodia::test
