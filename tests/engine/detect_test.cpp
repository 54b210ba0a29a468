// The encoding detector: short real samples with the answer each must get
// (tests/data/detect/answers.txt), and what is UTF-8.
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
  // Any ill-formed part makes it no UTF-8, but a sequence cut by the end of the sample.
  for (const auto& row : data_rows("utf8-ill-formed.txt"))
    EXPECT_EQ(detect_encoding(bytes(unhex(row[0]) + " ok")).kind == TextKind::utf8, row[2] == "0") << row[0];
  EXPECT_EQ(answer(detect_encoding(bytes("\xD0\x9F\xD1"))), "utf8");
  EXPECT_NE(answer(detect_encoding(bytes("ab\xD0"))), "utf8");  // nothing but a cut sequence
}

}  // namespace
}  // namespace recodia::test
