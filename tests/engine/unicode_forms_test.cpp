// UTF-16 and UTF-32: every scalar value written and read as glibc's iconv
// has it; every single-byte source through UTF-16 and back; ill-formed input
// (tests/data/utf16-ill-formed.txt); the fast path and every kernel this
// processor runs against the plain path, the input cut at every place; line
// ends where CR alone ends a line (tests/data/line-ends.txt), cut at every
// place; and the detection by byte-order mark and by zero bytes.
#include <algorithm>
#include <random>

#include "convert/detect.hpp"
#include "convert/pages.hpp"
#include "convert/registry.hpp"
#include "convert/unicode_text.hpp"
#include "support.hpp"

namespace recodia::test {
namespace {

constexpr std::size_t kPieces[] = {1, 63, 64, 65, 2, 200, 1000, 127, 4096, 3, 130, 17, 16, 15};

// Each unit of `size` bytes reversed; a unit cut short by the end left as it is.
Bytes swapped(const Bytes& in, std::size_t size) {
  Bytes out = in;
  for (std::size_t i = 0; i + size <= out.size(); i += size) std::reverse(out.begin() + static_cast<std::ptrdiff_t>(i), out.begin() + static_cast<std::ptrdiff_t>(i + size));
  return out;
}

// The text converted on both paths, in pieces and whole: they must agree;
// the table path's output.
Conversion converted(const std::vector<std::string>& switches, const Bytes& input) {
  const auto s = resolved(switches);
  const Conversion fast = convert_in_pieces(s, input, kPieces);
  const Conversion plain = convert_in_pieces(s, input, {}, ConversionPath::reference);
  EXPECT_TRUE(same_bytes(plain.out, fast.out) && plain.replaced == fast.replaced) << testing::PrintToString(switches);
  return fast;
}

TEST(UnicodeForms, EveryScalarValueWrittenAndReadAsIconvHasIt) {
  Bytes utf32;  // the Basic Multilingual Plane whole, and every 61st character beyond it
  for (char32_t c = 0; c <= 0x10FFFF; c = c == 0xD7FF ? 0xE000 : c < 0xFFFF ? c + 1 : c + 61)
    utf32 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8 & 0xFF), static_cast<char>(c >> 16), 0};
  const Bytes utf8 = iconv_convert("UTF-32LE", "UTF-8", utf32);
  const Bytes le = iconv_convert("UTF-32LE", "UTF-16LE", utf32), be = iconv_convert("UTF-32LE", "UTF-16BE", utf32);
  EXPECT_TRUE(same_bytes("\xFF\xFE" + le, converted({"-utf8", "-toutf16", "-noaltlf"}, utf8).out));
  EXPECT_TRUE(same_bytes("\xFE\xFF" + be, converted({"-utf8", "-toutf16be", "-noaltlf"}, utf8).out));
  const Bytes utf32be = swapped(utf32, 4);
  struct Read {
    const char* source;
    Bytes input;
  };
  for (const Read& r : {Read{"-utf16", le}, {"-utf16", "\xFF\xFE" + le}, {"-utf16", "\xFE\xFF" + be}, {"-utf16be", be},
                        {"-utf16be", "\xFE\xFF" + be}, {"-utf16be", "\xFF\xFE" + le}, {"-utf32", utf32},
                        {"-utf32", Bytes("\xFF\xFE\0\0", 4) + utf32}, {"-utf32", Bytes("\0\0\xFE\xFF", 4) + utf32be},
                        {"-utf32be", utf32be}, {"-utf16", "\xFE\xFF" + be}}) {
    SCOPED_TRACE(testing::Message() << r.source << " " << hex(r.input.substr(0, 4)));
    const Conversion run = converted({r.source, "-toutf8", "-noaltlf"}, r.input);
    EXPECT_TRUE(same_bytes(utf8, run.out));
    EXPECT_EQ(run.replaced, 0u);
  }
  // UTF-16 into UTF-16 of the other order, and UTF-32 into UTF-16.
  EXPECT_TRUE(same_bytes("\xFE\xFF" + be, converted({"-utf16", "-toutf16be", "-noaltlf"}, "\xFF\xFE" + le).out));
  EXPECT_TRUE(same_bytes("\xFF\xFE" + le, converted({"-utf32be", "-toutf16", "-noaltlf"}, utf32be).out));
}

// Every byte that a single-byte source reads as a character it writes back
// there, through UTF-16 of either order and back, unchanged.
TEST(UnicodeForms, EverySingleByteSourceThroughUtf16AndBack) {
  for (const Encoding& e : kEncodings) {
    if (!is_single_byte_source(e)) continue;
    Bytes text;
    for (int b = 0; b < 256; ++b) {
      const Character c = read_page(e.id).characters[static_cast<std::size_t>(b)];
      // (KOI-7 reads ASCII punctuation in its upper half too, and writes it
      // back there only for a source whose ASCII is not passed on as it is.)
      if (c != kNoCharacter && written_byte(e.id, c) == b && (c < 0x80) == (b < 0x80)) text += static_cast<char>(b);
    }
    for (const char* utf16 : {"-toutf16", "-toutf16be"}) {
      const Bytes there = converted({std::string(e.source_switches[0]), utf16, "-nta", "-32", "-noaltlf"}, text).out;
      const std::string back_from = utf16 == std::string("-toutf16") ? "-utf16" : "-utf16be";
      const Bytes back = converted({back_from, std::string(e.target_switches[0]), "-nta", "-32", "-noaltlf"}, there).out;
      EXPECT_EQ(hex(text), hex(back)) << e.name << " " << utf16;
      EXPECT_EQ(there.size(), 2 * text.size() + 2) << e.name;
    }
  }
}

TEST(UnicodeForms, IllFormedInputAndWhatItGives) {
  const auto rows = data_rows("utf16-ill-formed.txt");
  for (const auto& row : rows) {
    const bool utf32 = row[0] == "UTF-32LE";
    const Bytes le = unhex(row[1]), expected = unhex(row[2]);
    for (const bool big : {false, true}) {
      const std::string source = std::string(utf32 ? "-utf32" : "-utf16") + (big ? "be" : "");
      const Bytes input = big ? swapped(le, utf32 ? 4 : 2) : le;
      const Conversion run = converted({source, "-toutf8", "-noaltlf"}, input);
      EXPECT_EQ(hex(run.out), hex(expected)) << source << " " << row[1];
      EXPECT_EQ(run.replaced, std::stoull(row[3])) << source << " " << row[1];
      // In a single-byte target each replacement is a question mark, as in UTF-8's.
      EXPECT_EQ(hex(converted({source, "-tokoi8", "-noaltlf"}, input).out),
                hex(converted({"-utf8", "-tokoi8", "-noaltlf"}, run.out).out))
          << source << " " << row[1];
    }
  }
  EXPECT_GT(rows.size(), 15u);
}

// Random text in a Unicode form: `rare` in a hundred pieces are line ends
// of every kind, characters of three and four bytes in UTF-8, byte-order
// marks, noncharacters and ill-formed units of every kind, the others ASCII,
// Latin-1 and Cyrillic letters and quotation marks, as in running text, with
// a line end after one in thirty or so; half the texts end their first line
// in CR alone.
Bytes random_text(const std::string& form, std::size_t pieces, std::uint32_t seed, unsigned rare) {
  static const char32_t kPieces[] = {U'a', U' ', U'"', U'Z', U'Ж', U'я', U'«', U'é', U'\u07FF',  // common
                                     U'\r', U'\n', U'\t', U'\u0800', U'—', U'€', U'╔', U'\uFEFF', U'\uFFFD', U'\uFFFF',
                                     U'😀', U'\U00010348', U'\U0010FFFF', 0xD800, 0xDC00, 0xDBFF, 0x110000};
  std::mt19937 rng(seed);
  std::u32string text = seed % 2 ? U"x\ry" : U"";
  for (std::size_t i = 0; i < pieces; ++i) {
    const std::size_t k = rng() % 100 < rare ? rng() % std::size(kPieces) : rng() % 9;
    if (k == 9 && rng() % 2) text += U"\r\n";
    else text += kPieces[k];
    if (rng() % 100 < 3) text += rng() % 4 ? U"\r\n" : rng() % 2 ? U"\n" : U"\r";  // lines of every kind
  }
  Bytes out = seed % 3 ? "" : form == "UTF-16BE" ? "\xFE\xFF" : form == "UTF-16LE" ? "\xFF\xFE" : "";
  for (const char32_t c : text) {
    if (form == "UTF-8") {
      if (c >= 0xD800 && c <= 0xDFFF) out += "\xED\xA0\x80";  // a surrogate, ill-formed in UTF-8 too
      else if (c > 0x10FFFF) out += "\xF4\x90\x80\x80";
      else out += iconv_convert("UTF-32LE", "UTF-8", Bytes{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8 & 0xFF), static_cast<char>(c >> 16), 0});
      continue;
    }
    const bool big = form.ends_with("BE");
    const auto unit = [&](std::uint32_t u, int size) { put_unit(u, size, big, [&](std::uint8_t b) { out += static_cast<char>(b); }); };
    if (form.starts_with("UTF-32")) unit(c, 4);
    else if (c >= 0x10000 && c <= 0x10FFFF) unit(0xD800 + ((c - 0x10000) >> 10), 2), unit(0xDC00 + ((c - 0x10000) & 0x3FF), 2);
    else unit(c & 0xFFFF, 2);
  }
  if (seed % 5 == 0) out += 'q';  // a unit cut short
  return out;
}

// The text through the UnicodeText alone, on the plain path or on the fast one with the kernel given.
Conversion through_unicode_text(const ConversionSettings& s, const Bytes& input, std::span<const std::size_t> pieces,
                                ConversionPath path, std::optional<utf16_kernel::Level> level) {
  UnicodeText text(s, path, level);
  Conversion run;
  std::vector<std::uint8_t> room;
  const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
  for (std::size_t at = 0, k = 0; at <= input.size(); ++k) {
    const bool last = at == input.size();
    const std::size_t n = last ? 0 : std::min(pieces.empty() ? input.size() : std::max<std::size_t>(pieces[k % pieces.size()], 1), input.size() - at);
    room.resize(UnicodeText::capacity_for(n));
    const std::size_t written = last ? text.finish(room.data()) : text.convert({data + at, n}, room.data());
    run.out.append(room.begin(), room.begin() + static_cast<std::ptrdiff_t>(written));
    if (last) break;
    at += n;
  }
  run.replaced = text.replaced();
  return run;
}

TEST(UnicodeForms, FastPathAndEveryKernelAsThePlainPathAtEveryCut) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"UTF-16LE", {"-utf16", "-toutf8"}},          {"UTF-16LE", {"-utf16", "-toutf8", "-crlf"}},
      {"UTF-16LE", {"-utf16", "-toutf8", "-noaltlf"}}, {"UTF-16LE", {"-utf16", "-tokoi8"}},
      {"UTF-16LE", {"-utf16", "-to1252", "-html"}}, {"UTF-16LE", {"-utf16", "-toutf16be"}},
      {"UTF-16LE", {"-utf16", "-totl", "-nqt"}},    {"UTF-16LE", {"-utf16", "-noenc", "-crlf"}},
      {"UTF-16BE", {"-utf16be", "-toutf8", "-lf"}}, {"UTF-16BE", {"-utf16be", "-tow", "-nstr"}},
      {"UTF-32LE", {"-utf32", "-toutf8"}},          {"UTF-32BE", {"-utf32be", "-toutf16", "-noenc"}},
      {"UTF-8", {"-utf8", "-toutf16"}},             {"UTF-8", {"-utf8", "-toutf16be", "-lf"}},
      {"UTF-8", {"-utf8", "-toutf16", "-noaltlf"}}, {"UTF-8", {"-utf8", "-toutf16", "-nstr"}},
  };
  std::vector<std::size_t> uneven;
  for (std::mt19937 rng(3); uneven.size() < 400;) uneven.push_back(rng() % 700);
  for (const auto& [form, switches] : cases) {
    const auto s = resolved(switches);
    ASSERT_TRUE(UnicodeText::serves(s)) << testing::PrintToString(switches);
    for (std::uint32_t seed = 0; seed < 6; ++seed) {
      const Bytes text = random_text(form, 60, seed, 30), long_text = random_text(form, 30000, seed + 100, 2);
      const Conversion plain = through_unicode_text(s, text, {}, ConversionPath::reference, std::nullopt);
      const Conversion long_plain = through_unicode_text(s, long_text, {}, ConversionPath::reference, std::nullopt);
      for (const utf16_kernel::Level level : utf16_kernel::available()) {
        SCOPED_TRACE(testing::Message() << testing::PrintToString(switches) << " seed " << seed << " kernel " << static_cast<int>(level));
        for (std::size_t cut = 1; cut <= text.size(); ++cut) {
          const std::size_t pieces[] = {cut, text.size()};
          const Conversion fast = through_unicode_text(s, text, pieces, ConversionPath::table, level);
          ASSERT_TRUE(same_bytes(plain.out, fast.out)) << "cut at " << cut << " of " << hex(text);
          ASSERT_EQ(plain.replaced, fast.replaced) << "cut at " << cut;
        }
        const Conversion long_fast = through_unicode_text(s, long_text, uneven, ConversionPath::table, level);
        EXPECT_TRUE(same_bytes(long_plain.out, long_fast.out));
        EXPECT_EQ(long_plain.replaced, long_fast.replaced);
      }
    }
  }
}

// The rows of tests/data/line-ends.txt, whole and cut at every place.
TEST(UnicodeForms, LineEndsWhereCrAloneEndsALineAtEveryCut) {
  const auto rows = data_rows("line-ends.txt");
  for (const auto& row : rows) {
    const auto s = resolved(words(row[0]));
    const Bytes input = field_bytes(row[1]), expected = field_bytes(row[2]);
    for (const ConversionPath path : {ConversionPath::table, ConversionPath::reference}) {
      EXPECT_TRUE(same_bytes(expected, convert_in_pieces(s, input, {}, path).out)) << row[0] << " | " << row[1];
      for (std::size_t cut = 1; cut < input.size(); ++cut) {
        const std::size_t pieces[] = {cut, input.size()};
        EXPECT_TRUE(same_bytes(expected, convert_in_pieces(s, input, pieces, path).out)) << row[0] << " | " << row[1] << " cut at " << cut;
      }
    }
  }
  EXPECT_GT(rows.size(), 20u);
}

std::string answer(std::span<const std::uint8_t> sample) {
  const Detection d = detect_encoding(sample);
  if (d.kind == TextKind::ascii) return "ascii";
  return std::string(encoding(d.encoding).name) + (d.byte_order_mark ? "+bom" : "") + (is_sure(d) ? "" : " unsure");
}
std::string answer(const Bytes& s) { return answer({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}); }

TEST(UnicodeForms, DetectedByByteOrderMarkOrZeroBytes) {
  for (const char* sample : {"russian.txt", "german.txt", "french.txt", "ukrainian.txt", "turkish.txt"}) {
    const Bytes utf8 = data_file(sample);
    for (const char* form : {"UTF-16LE", "UTF-16BE", "UTF-32LE", "UTF-32BE"}) {
      const Bytes text = iconv_convert("UTF-8", form, utf8), marked = iconv_convert("UTF-8", form, "\xEF\xBB\xBF" + utf8);
      EXPECT_EQ(answer(marked), std::string(form) + "+bom") << sample;
      EXPECT_EQ(answer(text), form) << sample;
      // A line is enough, and so is one word of Russian without a space.
      EXPECT_EQ(answer(text.substr(0, 40)), form) << sample;
    }
  }
  EXPECT_EQ(answer(iconv_convert("UTF-8", "UTF-16LE", "Привет")), "UTF-16LE");
  EXPECT_EQ(answer(iconv_convert("UTF-8", "UTF-16BE", "Hi")), "UTF-16BE");
  // What is not UTF-16: Windows 1251 that begins with the bytes of a mark
  // ("яю"), spaces, an executable's header, English in UTF-8.
  const Bytes cp1251 = field_bytes("CP1251:@russian.txt");
  EXPECT_EQ(answer("\xFF\xFE" + cp1251), "Windows-1251");
  EXPECT_EQ(answer(Bytes(64, ' ')), "ascii");
  EXPECT_NE(answer(Bytes("\x7F" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0\x3E\0\x01\0\0\0", 24)).substr(0, 6), "UTF-16");
  EXPECT_EQ(answer("plain \"English\" text\r\n"), "ascii");
  // A mark and nothing else, or a mark and text that ends in a cut pair.
  EXPECT_EQ(answer("\xFF\xFE"), "UTF-16LE+bom");
  EXPECT_EQ(answer(Bytes("\xFF\xFE" "a\0\x3D\xD8", 6)), "UTF-16LE+bom");
  // The guard: a text named as the other byte order, or as another encoding.
  const Bytes le = iconv_convert("UTF-8", "UTF-16LE", data_file("russian.txt")), be = iconv_convert("UTF-8", "UTF-16BE", data_file("russian.txt"));
  const auto other = [](const Bytes& s, EncodingId named) {
    const auto d = plainly_other_than({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}, named);
    return d ? std::string(encoding(d->encoding).name) : "-";
  };
  EXPECT_EQ(other(le, kUtf16), "-");
  EXPECT_EQ(other(be, kUtf16), "UTF-16BE");
  EXPECT_EQ(other("\xFE\xFF" + be, kUtf16), "-");
  EXPECT_EQ(other(le, kWindows1251), "UTF-16LE");
  EXPECT_EQ(other(le, kUtf8), "UTF-16LE");
  EXPECT_EQ(other(cp1251, kUtf16), "Windows-1251");
  EXPECT_EQ(other("plain text", kUtf16), "-");
}

}  // namespace
}  // namespace recodia::test
