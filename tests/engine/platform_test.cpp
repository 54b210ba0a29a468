// The pure parts of the platform layers, tested on every system: the DOS
// date and time that "-pdt" carries, the UTF-16 names and long paths of
// Windows, and the folder of a path by either system's rules.
#include "platform/dos_time.hpp"
#include "platform/paths.hpp"
#include "platform/windows_text.hpp"
#include "support.hpp"

namespace recodia::test {
namespace {

using platform::LocalTime;

TEST(Platform, DosTimeHoldsEvenSecondsOf1980To2107) {
  const std::pair<LocalTime, std::optional<LocalTime>> cases[] = {
      {{2107, 12, 31, 23, 59, 59}, LocalTime{2107, 12, 31, 23, 59, 58}},
      {{2024, 2, 29, 13, 7, 31}, LocalTime{2024, 2, 29, 13, 7, 30}},
      {{2016, 12, 31, 23, 59, 60}, LocalTime{2016, 12, 31, 23, 59, 58}},  // a leap second
      {{1979, 12, 31, 23, 59, 58}, std::nullopt},
      {{2108, 1, 1, 0, 0, 0}, std::nullopt},
  };
  const auto text = [](const LocalTime& t) { return testing::PrintToString(std::array{t.year, t.month, t.day, t.hour, t.minute, t.second}); };
  for (const auto& [time, kept] : cases) {
    const auto packed = platform::pack_dos_date_time(time);
    EXPECT_EQ(packed ? text(platform::unpack_dos_date_time(*packed)) : "none", kept ? text(*kept) : "none") << text(time);
  }
  // The first day that FAT can hold, as its directory entries store it, and back.
  EXPECT_EQ(platform::pack_dos_date_time({1980, 1, 1, 0, 0, 0}), (platform::DosDateTime{0x0021, 0x0000}));
  EXPECT_EQ(text(platform::unpack_dos_date_time({0x0021, 0x0000})), text({1980, 1, 1, 0, 0, 0}));
}

TEST(Platform, Utf16NamesAsIconvHasThemAndLoneSurrogatesBack) {
  // ASCII, Cyrillic, a sign, CJK, and beyond the 16-bit plane (surrogate pairs in UTF-16).
  const Bytes utf8 = "name.txt Съешь ещё Їжак € 漢字 \xF0\x9F\x98\x80\xF0\x90\x8D\x88 \x7F\xC2\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF";
  const std::u16string utf16 = platform::utf8_to_utf16(utf8);
  Bytes utf16le;
  for (const char16_t unit : utf16) utf16le += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  EXPECT_EQ(hex(utf16le), hex(iconv_convert("UTF-8", "UTF-16LE", utf8)));
  EXPECT_EQ(hex(platform::utf16_to_utf8(utf16)), hex(utf8));
  // Windows allows them in names; an argument that holds one must still name the file.
  for (const std::u16string name : {u"a\xD800" "b", u"\xDC00" "z", u"end\xDBFF", u"\xDC00\xD800"})
    EXPECT_TRUE(platform::utf8_to_utf16(platform::utf16_to_utf8(name)) == name);
}

TEST(Platform, LongPathsTakeTheExtendedFormAndShortOnesLoseIt) {
  const std::u16string folder(300, u'f');
  const std::pair<std::u16string, std::u16string> cases[] = {  // a full path, and as Windows is given it
      {u"C:\\short\\a.txt", u"C:\\short\\a.txt"},
      {u"\\\\server\\share\\a.txt", u"\\\\server\\share\\a.txt"},
      {u"C:\\" + folder + u"\\a.txt", u"\\\\?\\C:\\" + folder + u"\\a.txt"},
      {u"\\\\server\\share\\" + folder, u"\\\\?\\UNC\\server\\share\\" + folder},
      {u"\\\\.\\pipe\\" + folder, u"\\\\.\\pipe\\" + folder},
  };
  for (const auto& [plain, extended] : cases) {
    EXPECT_TRUE(platform::long_path_form(plain) == extended);
    EXPECT_TRUE(platform::plain_path_form(extended) == plain);
  }
  // Windows names even a short path in the extended form.
  EXPECT_TRUE(platform::plain_path_form(u"\\\\?\\C:\\short\\a.txt") == u"C:\\short\\a.txt");
  EXPECT_TRUE(platform::plain_path_form(u"\\\\?\\UNC\\server\\share\\a.txt") == u"\\\\server\\share\\a.txt");
}

TEST(Platform, FolderOfAPath) {
  using platform::PathStyle;
  const std::tuple<const char*, PathStyle, const char*> cases[] = {
      {"a.txt", PathStyle::posix, ""},          {"d/a.txt", PathStyle::posix, "d/"},
      {"/a.txt", PathStyle::posix, "/"},        {"d\\a.txt", PathStyle::posix, ""},
      {"d\\a.txt", PathStyle::windows, "d\\"}, {"d/e\\a.txt", PathStyle::windows, "d/e\\"},
      {"C:a.txt", PathStyle::windows, "C:"},    {"C:\\a.txt", PathStyle::windows, "C:\\"},
      {"C:a.txt", PathStyle::posix, ""},        {"\\\\?\\C:\\d\\a.txt", PathStyle::windows, "\\\\?\\C:\\d\\"},
  };
  for (const auto& [path, style, folder] : cases) EXPECT_EQ(platform::directory_of(path, style), folder) << path;
}

}  // namespace
}  // namespace recodia::test
