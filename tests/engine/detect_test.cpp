// The encoding detector: short real samples with the answer each must get
// (tests/data/detect/answers.txt), what is UTF-8, the texts that once got
// sure wrong answers (tests/data/detect/probes.txt), and the survey of a
// whole text handed over in any pieces.
#include <algorithm>
#include <random>
#include <utility>

#include "cli/detection.hpp"
#include "convert/detect.hpp"
#include "convert/detect_common.hpp"
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

// A probe's text: its parts, each a data field or N*field, repeated to N bytes.
Bytes probe_text(const std::vector<std::string>& row) {
  Bytes text;
  for (std::size_t i = 2; i < row.size(); ++i) {
    const std::size_t star = row[i].find('*');
    const bool counted = star != std::string::npos && star > 0 && row[i].find_first_not_of("0123456789") == star;
    text += counted ? repeated(field_bytes(row[i].substr(star + 1)), std::stoul(row[i].substr(0, star))) : field_bytes(row[i]);
  }
  return text;
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

// The answers that were once surely wrong, and those that must never be sure.
TEST(Detect, ProbesGetTheirAnswersAndNoneIsSurelyWrong) {
  const auto rows = data_rows("detect/probes.txt");
  for (const auto& row : rows) {
    const Survey s = survey_text(bytes(probe_text(row)));
    const bool sure = is_sure(s.detection) &&
                      std::all_of(s.parts.begin(), s.parts.end(), [](const TextPart& p) { return is_sure(p.detection); });
    if (row[0] != "?") {
      EXPECT_EQ(detect_answer(s), row[0]);
    }
    EXPECT_EQ(sure ? "sure" : "unsure", row[1]) << row[0];
  }
  EXPECT_GE(rows.size(), 20u);
}

// The survey finds what it finds whatever the pieces it is handed, and the
// first sample's answer is the detector's.
TEST(Detect, SurveyInAnyPiecesAsWhole) {
  for (const auto& row : data_rows("detect/probes.txt")) {
    const Bytes text = probe_text(row);
    const std::string whole = detect_answer(survey_text(bytes(text)));
    std::mt19937 rng(static_cast<std::uint32_t>(text.size()));
    for (const std::size_t most : {1u, 7u, 64u, 5000u}) {
      if (most == 1 && text.size() > 20000) continue;
      TextSurvey survey;
      for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = std::min<std::size_t>(1 + rng() % most, text.size() - at);
        survey.add(bytes(text).subspan(at, n));
        at += n;
      }
      EXPECT_EQ(detect_answer(survey.finish()), whole) << row[0] << ", pieces up to " << most;
    }
  }
  const Bytes koi8 = data_file("detect/koi8-r.txt");
  EXPECT_EQ(survey_text(bytes(koi8)).detection.margin_bits, detect_encoding(bytes(koi8)).margin_bits);
}

// UTF-8's stray bytes read by a code page: each byte of an ill-formed part as
// the code page has it (iconv's reading), and the fast decoding as the plain
// one wherever the input is cut.
TEST(Detect, StrayBytesReadByTheirCodePageFastAndPlainAlike) {
  const Bytes text = "\xD0\x96 caf\xE9, \xE2\x82\xAC \xE2\x82 \xF0\x9F\x98\x80\x93x\x81\xC3";
  const Bytes expected = "\xD0\x96 caf" + iconv_convert("CP1252", "UTF-8", "\xE9") + ", \xE2\x82\xAC " +
                         iconv_convert("CP1252", "UTF-8", "\xE2\x82") + " \xF0\x9F\x98\x80" +
                         iconv_convert("CP1252", "UTF-8", "\x93") + "x\xEF\xBF\xBD" + iconv_convert("CP1252", "UTF-8", "\xC3");
  const auto s = resolved({"-utf8", "-toutf8", "-nta"});
  auto convert = [&](std::size_t cut, ConversionPath path) {
    StreamConverter c(s, path);
    c.read_stray_bytes_as(kWindows1252);
    Bytes out;
    const auto take = [&](std::span<const std::uint8_t> b) { out.append(b.begin(), b.end()); };
    for (std::size_t at = 0; at < text.size(); at += cut) take(c.convert(bytes(text).subspan(at, std::min(cut, text.size() - at))));
    take(c.finish());
    return out;
  };
  EXPECT_TRUE(same_bytes(expected, convert(text.size(), ConversionPath::reference)));
  for (std::size_t cut = 1; cut <= text.size(); ++cut) EXPECT_TRUE(same_bytes(expected, convert(cut, ConversionPath::table))) << cut;
}

// The detector's fast paths as their plain loops: the binary verdict's count
// of control bytes and the survey's pass, at every alignment, and the scores
// of sources counted by their differences from others, on real samples in
// every code page, halves of two, and random bytes with line ends and controls.
TEST(Detect, FastPathsAsThePlainLoops) {
  std::vector<Bytes> texts;
  for (const auto& row : data_rows("detect/answers.txt", ' ')) texts.push_back(data_file("detect/" + row[0]));
  const std::size_t samples = texts.size();
  for (std::size_t i = 0; i + 1 < samples; ++i) texts.push_back(texts[i].substr(0, texts[i].size() / 2) + texts[i + 1]);
  std::mt19937 random(21);
  for (const std::size_t size : {15, 16, 17, 100, 4000}) {
    Bytes noise(size, ' ');
    for (char& c : noise) c = static_cast<char>("\n\t\x01\x7F\x00 a\xC0\xFF\x80"[random() % 10] + (random() % 4 ? 0 : random()));
    texts.push_back(noise);
  }
  // UTF-8: runs of two-byte characters, broken by every kind of byte.
  for (const char* name : {"russian.txt", "french.txt", "ukrainian.txt"}) texts.push_back(data_file(name));
  Bytes pairs;
  for (int i = 0; i < 600; ++i) pairs += "\xD0\x96\xC2\x80\xDF\xBF\xD1\x8F\xC1\x80\xE0\xA0\xD0\xC0 \xC2"[random() % 17];
  texts.push_back(pairs);
  using detection::ScanPath;
  for (const Bytes& text : texts) {
    for (std::size_t from = 0; from < std::min<std::size_t>(17, text.size()); ++from) {
      const auto part = bytes(text).subspan(from);
      EXPECT_EQ(detection::count_binary_controls(part, ScanPath::fast), detection::count_binary_controls(part, ScanPath::plain));
      std::array<std::uint32_t, 256> fast{}, plain{};
      for (const std::uint8_t *p = part.data(), *q = p, *end = p + part.size(); p < end; ++p, ++q) {
        p = detection::count_to_line_end(p, end, fast, ScanPath::fast);
        q = detection::count_to_line_end(q, end, plain, ScanPath::plain);
        ASSERT_EQ(p, q) << from;
      }
      for (const std::uint8_t *p = part.data(), *end = p + part.size(); p < end; ++p)
        ASSERT_EQ(detection::two_byte_run_end(p, end, ScanPath::fast), detection::two_byte_run_end(p, end, ScanPath::plain));
      for (std::size_t b = 0; b < 256; ++b)
        if (b < 0x20 || b >= 0x7F) {
          EXPECT_EQ(fast[b], plain[b]) << b;
        }
    }
    EXPECT_EQ(detection::source_costs(bytes(text), ScanPath::fast), detection::source_costs(bytes(text), ScanPath::plain));
  }
}

// Across many blocks the survey counts every stray byte of UTF-8 text and
// every line, and a text that changes encoding more often than it can tell
// apart is still mixed.
TEST(Detect, SurveyCountsWholeTextsAndKeepsItsPartsBounded) {
  const Bytes russian = data_file("russian.txt");
  Bytes text;
  std::uint64_t strays = 0, lines = 0;
  for (int i = 0; i < 400; ++i) {
    text += russian;
    if (i % 7 == 3) text += " caf\xE9 au lait\n", ++strays, ++lines;
  }
  lines += 400 * static_cast<std::uint64_t>(std::count(russian.begin(), russian.end(), '\n'));
  text += "no line end";
  const Survey s = survey_text(bytes(text));
  ASSERT_GT(text.size(), 2 * kDetectionSampleSize);
  EXPECT_EQ(s.detection.kind, TextKind::utf8);
  EXPECT_EQ(s.detection.stray_bytes, strays);
  EXPECT_EQ(s.detection.stray_encoding, kWindows1252);
  EXPECT_EQ(s.lines, lines + 1);
  EXPECT_EQ(s.bytes, text.size());
  // A sequence cut by the end is counted: a text whose only byte above ASCII
  // is its last is no ASCII, and UTF-8 cut short ends in a stray byte.
  EXPECT_EQ(survey_text(bytes("lt-align            \xED")).detection.kind, TextKind::single_byte);
  EXPECT_EQ(survey_text(bytes(russian + "\xD0")).detection.stray_bytes, 1u);

  const Bytes win = repeated(iconv_convert("UTF-8", "CP1251", russian), 3000);
  const Bytes koi = repeated(iconv_convert("UTF-8", "KOI8-R", russian), 3000);
  Bytes patchwork;
  for (std::size_t i = 0; i < 2 * kMaxSurveyParts + 4; ++i) patchwork += i % 2 ? koi : win;
  const Survey p = survey_text(bytes(patchwork));
  EXPECT_EQ(p.detection.kind, TextKind::mixed);
  EXPECT_LE(p.parts.size(), kMaxSurveyParts);
  EXPECT_GE(p.parts.size(), 2u);
}

// What -fix compares: a text reads more naturally than what a wrong decoding
// made of it, in the language it is written in.
TEST(Detect, TextCostPrefersTheTextToItsMojibake) {
  const auto cost = [](const Bytes& utf8) {
    const std::u32string c = characters(utf8);
    return text_cost(std::span<const Character>(c.data(), c.size()));
  };
  for (const auto& [text, wrong] : std::vector<std::pair<Bytes, Bytes>>{
           {data_file("russian.txt"), iconv_convert("CP1252", "UTF-8", iconv_convert("UTF-8", "CP1251", data_file("russian.txt")))},
           {data_file("russian.txt"), iconv_convert("KOI8-R", "UTF-8", data_file("russian.txt"))},
           {data_file("french.txt"), iconv_convert("CP1252", "UTF-8", data_file("french.txt"))},
           {data_file("turkish.txt"), iconv_convert("CP1252", "UTF-8", iconv_convert("UTF-8", "CP1254", data_file("turkish.txt")))}})
    EXPECT_LT(cost(text), cost(wrong)) << text.substr(0, 40);
  int russian = -1, french = -1;
  const std::u32string r = characters(data_file("russian.txt")), f = characters(data_file("french.txt"));
  text_cost(std::span<const Character>(r.data(), r.size()), &russian);
  text_cost(std::span<const Character>(f.data(), f.size()), &french);
  EXPECT_NE(russian, french);
}

}  // namespace
}  // namespace recodia::test
