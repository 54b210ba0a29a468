// The pure parts of the platform layers, tested on every system: the DOS date
// and time that -pdt carries, and the UTF-16 text and long paths of Windows.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "platform/dos_time.hpp"
#include "platform/windows_text.hpp"
#include "test_support.hpp"

namespace recodia::test {
namespace {

using platform::DosDateTime;
using platform::LocalTime;

TEST(DosTime, HoldsEvenSecondsOf1980To2107) {
  struct Case {
    LocalTime time;
    std::optional<LocalTime> kept;  // what comes back; nothing when it does not fit
  };
  const Case cases[] = {
      {{1980, 1, 1, 0, 0, 0}, LocalTime{1980, 1, 1, 0, 0, 0}},
      {{2107, 12, 31, 23, 59, 59}, LocalTime{2107, 12, 31, 23, 59, 58}},
      {{2024, 2, 29, 13, 7, 31}, LocalTime{2024, 2, 29, 13, 7, 30}},
      {{2016, 12, 31, 23, 59, 60}, LocalTime{2016, 12, 31, 23, 59, 58}},  // a leap second
      {{1979, 12, 31, 23, 59, 58}, std::nullopt},
      {{2108, 1, 1, 0, 0, 0}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.time.year << "-" << c.time.month << "-" << c.time.day << " " << c.time.hour
                                    << ":" << c.time.minute << ":" << c.time.second);
    const std::optional<DosDateTime> packed = platform::pack_dos_date_time(c.time);
    ASSERT_EQ(packed.has_value(), c.kept.has_value());
    if (!packed) continue;
    const LocalTime back = platform::unpack_dos_date_time(*packed);
    EXPECT_EQ((std::array{back.year, back.month, back.day, back.hour, back.minute, back.second}),
              (std::array{c.kept->year, c.kept->month, c.kept->day, c.kept->hour, c.kept->minute, c.kept->second}));
  }
  // The first day that FAT can hold, as its directory entries store it.
  EXPECT_EQ(platform::pack_dos_date_time({1980, 1, 1, 0, 0, 0}), (DosDateTime{0x0021, 0x0000}));
}

Bytes utf16le_bytes(std::u16string_view text) {
  Bytes bytes;
  for (char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes;
}

TEST(WindowsText, Utf16AndUtf8AsIconvHasThem) {
  // ASCII, Cyrillic, a sign, CJK and characters beyond the 16-bit plane, which
  // UTF-16 holds as surrogate pairs.
  const Bytes utf8 = "name.txt Съешь ещё Їжак € 漢字 \xF0\x9F\x98\x80\xF0\x90\x8D\x88 \x7F\xC2\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF";
  const std::u16string utf16 = platform::utf8_to_utf16(utf8);
  EXPECT_EQ(hex(utf16le_bytes(utf16)), hex(iconv_convert("UTF-8", "UTF-16LE", utf8)));
  EXPECT_EQ(hex(platform::utf16_to_utf8(utf16)), hex(utf8));
}

TEST(WindowsText, NamesWithALoneSurrogateComeBackUnchanged) {
  // Windows allows them in names; an argument that holds one must still open the file.
  for (const std::u16string& name : {std::u16string(u"a\xD800" "b"), std::u16string(u"\xDC00" "z"),
                                    std::u16string(u"end\xDBFF"), std::u16string(u"\xDC00\xD800")}) {
    SCOPED_TRACE(hex(utf16le_bytes(name)));
    EXPECT_EQ(platform::utf8_to_utf16(platform::utf16_to_utf8(name)), name);
  }
}

TEST(WindowsText, LongPathsTakeTheExtendedFormAndShortOnesLoseIt) {
  const std::u16string folder(300, u'f');
  struct Case {
    std::u16string plain, extended;  // as a full path, and as Windows is to be given it
  };
  const Case cases[] = {
      {u"C:\\short\\a.txt", u"C:\\short\\a.txt"},
      {u"\\\\server\\share\\a.txt", u"\\\\server\\share\\a.txt"},
      {u"C:\\" + folder + u"\\a.txt", u"\\\\?\\C:\\" + folder + u"\\a.txt"},
      {u"\\\\server\\share\\" + folder, u"\\\\?\\UNC\\server\\share\\" + folder},
      {u"\\\\.\\pipe\\" + folder, u"\\\\.\\pipe\\" + folder},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::long_path_form(c.plain), c.extended);
    EXPECT_EQ(platform::plain_path_form(c.extended), c.plain);
  }
  // Windows names even a short path in the extended form.
  EXPECT_EQ(platform::plain_path_form(u"\\\\?\\C:\\short\\a.txt"), u"C:\\short\\a.txt");
  EXPECT_EQ(platform::plain_path_form(u"\\\\?\\UNC\\server\\share\\a.txt"), u"\\\\server\\share\\a.txt");
}

}  // namespace
}  // namespace recodia::test
