#include "cli/messages.hpp"

#include <cstddef>

#include "convert/code_pages.hpp"

namespace recodia {
namespace {

// The Russian messages are written here in UTF-8 and stored as DOS 866 bytes,
// converted while compiling; a character that DOS 866 lacks stops the build.
template <std::size_t N>
struct Dos866Text {
  std::array<char, N> bytes{};
  std::size_t size = 0;
  constexpr std::string_view view() const { return {bytes.data(), size}; }
};

template <std::size_t N>
consteval Dos866Text<N> dos866(const char8_t (&utf8)[N]) {
  Dos866Text<N> out;
  for (std::size_t i = 0; i + 1 < N;) {
    char32_t c = utf8[i];
    std::size_t length = 1;
    if (c >= 0xE0) {
      c = ((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
      length = 3;
    } else if (c >= 0xC0) {
      c = ((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
      length = 2;
    }
    i += length;
    if (c < 0x80) {
      out.bytes[out.size++] = static_cast<char>(c);
      continue;
    }
    std::size_t b = 0;
    while (b < 128 && code_pages::kDos866[b] != c) ++b;
    if (b == 128) throw "a Russian message holds a character that DOS 866 lacks";
    out.bytes[out.size++] = static_cast<char>(0x80 + b);
  }
  return out;
}

constexpr MessageSet kEnglish = {
    "Converter of texts in different encodings (with lf style adjustment)\n"
    " Recodia version 0.8.3; Build date Nov 30 2014\n"
    "For RUSSIAN help type: recodia -? -rus",
    "   Languages supported:",
    "     east-european (Cyrillic, e.g. Russian);",
    "     Turkish; west-european;",
    "Program call syntax: recodia [swithces] [file1 file2]",
    "Some swithces (FULL LIST SEE IN readme FILE):",
    "       -32     do not work with special symbols (<32);",
    "       -ni     dont show version info;",
    "       -rus    use Russian interface;",
    "       -? or /?  help;",
    "file1  name of input file;",
    "file2  name of output file.",
    "Returns exit codes:",
    "0 -file's been converted; 1 -file's not been converted.",
    "Written by the Recodia developers.",
    "Web: Recodia has no site of its own; see the README file.",
    "E-mail: none; the README file says where to report problems.",
    "Wait...",
    " Done.",
};

constexpr auto kRu1 = dos866(
    u8"Преобразование текстов в разных кодировках (с настройкой перевода строки)\n"
    u8" Recodia версия 0.8.3; Дата сборки Nov 30 2014\n"
    u8"For ENGLISH help type: recodia -? -en");
constexpr auto kRu2 = dos866(u8"   Поддерживаемые языки:");
constexpr auto kRu3 = dos866(u8"     восточно-европейские (кириллица);");
constexpr auto kRu4 = dos866(u8"     турецкий; западно-европейские;");
constexpr auto kRu5 = dos866(u8"Синтаксис вызова программы: recodia [ключи] [файл1 файл2]");
constexpr auto kRu6 = dos866(u8"Некоторые ключи (полный список см. в файле README):");
constexpr auto kRu7 = dos866(u8"       -32     не обрабатывать служебные символы;");
constexpr auto kRu8 = dos866(u8"       -ni     не выводить сведения о версии;");
constexpr auto kRu9 = dos866(u8"       -en     USE ENGLISH LANGUAGE;");
constexpr auto kRu10 = dos866(u8"       -? или /?  помощь;");
constexpr auto kRu11 = dos866(u8"файл1  имя исходного файла;");
constexpr auto kRu12 = dos866(u8"файл2  имя файла, куда записать результат.");
// The first letter is the Latin B, as the message has always been printed.
constexpr auto kRu13 = dos866(u8"B" u8"озвращает коды завершения:");
constexpr auto kRu14 = dos866(u8"0 -файл преобразован; 1 -файл не преобразован.");
constexpr auto kRu15 = dos866(u8"Авторы: разработчики Recodia.");
constexpr auto kRu16 = dos866(u8"Сайт: своего сайта у Recodia нет; см. файл README.");
constexpr auto kRu17 = dos866(u8"Эл. почта: нет; куда сообщать об ошибках, сказано в файле README.");
constexpr auto kRu18 = dos866(u8"Подождите...");
constexpr auto kRu19 = dos866(u8" Готово.");

constexpr MessageSet kRussian = {
    kRu1.view(),  kRu2.view(),  kRu3.view(),  kRu4.view(),  kRu5.view(),  kRu6.view(),  kRu7.view(),
    kRu8.view(),  kRu9.view(),  kRu10.view(), kRu11.view(), kRu12.view(), kRu13.view(), kRu14.view(),
    kRu15.view(), kRu16.view(), kRu17.view(), kRu18.view(), kRu19.view(),
};

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

const MessageSet& select_messages(Language language) {
  return language == Language::russian ? kRussian : kEnglish;
}

std::string dos866_to_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    append_utf8(out, b < 0x80 ? char32_t{b} : code_pages::kDos866[b - 0x80]);
  }
  return out;
}

MessagePrinter::MessagePrinter(const MessageSet& messages, platform::Console& console,
                               platform::Stream stream)
    : messages_(messages),
      console_(console),
      stream_(stream),
      // The stored bytes go to files and pipes unchanged; only a UTF-8
      // terminal gets the Russian texts converted, so that they are readable.
      as_utf8_(&messages == &kRussian && console.is_terminal(stream) && console.uses_utf8()) {}

void MessagePrinter::print(int number) const {
  std::string line(messages_[static_cast<std::size_t>(number - 1)]);
  if (as_utf8_) line = dos866_to_utf8(line);
  line += '\n';
  console_.write(stream_, line);
}

void print_help(const MessagePrinter& printer) {
  for (int n = kBannerMessage; n <= kLastHelpMessage; ++n) printer.print(n);
}

}  // namespace recodia
