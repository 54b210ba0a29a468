#include "cli/messages.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <tuple>

#include "cli/quoting.hpp"
#include "convert/code_pages.hpp"
#include "convert/utf8.hpp"

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

// Where DOS 866 keeps each character below U+0460 (Latin-1 and Cyrillic):
// 0x80 + its index in the page's upper half, or 0 where it has none. Worked
// out once, so that the messages' many letters are each one lookup: the
// compilers bound how much a constant evaluation may do.
inline constexpr std::size_t kIndexedCharacters = 0x460;
constexpr std::array<std::uint8_t, kIndexedCharacters> kDos866Bytes = [] {
  std::array<std::uint8_t, kIndexedCharacters> bytes{};
  for (std::size_t b = 0; b < 128; ++b)
    if (code_pages::kDos866[b] < kIndexedCharacters) bytes[code_pages::kDos866[b]] = static_cast<std::uint8_t>(0x80 + b);
  return bytes;
}();

template <std::size_t N>
consteval Dos866Text<N> dos866(const char8_t (&utf8)[N]) {
  Dos866Text<N> out;
  const auto put = [&out](Character c) {
    if (c == kReplacementCharacter) throw "a Russian message is no well-formed UTF-8";
    std::size_t b = c < kIndexedCharacters ? kDos866Bytes[c] : 0;
    if (c >= kIndexedCharacters)
      for (std::size_t i = 0; i < 128 && b == 0; ++i)
        if (code_pages::kDos866[i] == c) b = 0x80 + i;
    if (c >= 0x80 && b == 0) throw "a Russian message holds a character that DOS 866 lacks";
    out.bytes[out.size++] = static_cast<char>(c < 0x80 ? c : b);
  };
  Utf8Decoder decoder;
  for (std::size_t i = 0; i + 1 < N; ++i) decoder.put(static_cast<std::uint8_t>(utf8[i]), put);
  decoder.finish(put);
  return out;
}

constexpr MessageSet kEnglish = {
    "Converter of texts in different encodings (with lf style adjustment)\n"
    " Recodia version " RECODIA_VERSION "; Build date Nov 30 2014\n"
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
    u8" Recodia версия " RECODIA_VERSION "; Дата сборки Nov 30 2014\n"
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

// The short help's last line, which the help of old did not have.
constexpr std::string_view kEnglishHelpPointer = "Every switch, with what it does: recodia --help";
constexpr auto kRussianHelpPointer = dos866(u8"Все ключи и что делает каждый: recodia --help");

constexpr MessageSet kRussian = {
    kRu1.view(),  kRu2.view(),  kRu3.view(),  kRu4.view(),  kRu5.view(),  kRu6.view(),  kRu7.view(),
    kRu8.view(),  kRu9.view(),  kRu10.view(), kRu11.view(), kRu12.view(), kRu13.view(), kRu14.view(),
    kRu15.view(), kRu16.view(), kRu17.view(), kRu18.view(), kRu19.view(),
};

constexpr int kDiagnosticCount = static_cast<int>(Diagnostic::standard_output) + 1;
using DiagnosticSet = std::array<std::string_view, kDiagnosticCount>;

// In the order of the enumeration.
constexpr DiagnosticSet kEnglishDiagnostics = {
    "cannot open %1: %2",
    "cannot read %1: %2",
    "cannot create %1: %2",
    "cannot write %1: %2",
    "cannot convert %1 in place: no file can be made beside it: %2",
    "cannot convert %1 in place: its converted text cannot be written: %2; the file is left as it was",
    "%1 was converted but could not replace the original: %2; the file is left as it was",
    "cannot convert %1 in place: by the time it was converted, its name led to another file; nothing was replaced",
    "cannot keep %1 as %2: %3; the file is left as it was",
    "cannot convert %1 in place: it is not a regular file",
    "cannot convert standard input or output in place",
    "converting %1 in place",
    "%1 is named again; it is converted once",
    "cannot convert %1 into itself through standard output; name it twice to convert it in place",
    "%1: could not keep its permission bits: %2",
    "%1: could not keep its owner: %2",
    "%1: could not keep its group: %2",
    "%1: could not keep its access control list: %2",
    "%1: could not keep its extended attribute '%2': %3",
    "%1: could not keep its attributes: %2",
    "unknown switch '%1'; see recodia --help",
    "unknown switch '%1'; did you mean '%2'?",
    "too many file names (%1); to convert several files in place, use -i",
    "no output file name; give two names (- for standard output)",
    "no file names; give two, or see recodia --help",
    "no file names to convert in place",
    "%1: %2 ill-formed UTF-8 sequences were written as replacement characters",
    "%1: detected %2 (%3)",
    "%1: detected %2 (%3), but not surely; if the text comes out wrong, name its encoding with a switch",
    "cannot convert %1 in place: its encoding is not sure (most likely %2, %3); name it with a switch, or add -force",
    "cannot convert %1 in place: it looks like %2 (%3), not %4; name its encoding with a switch, or add -force to convert it as %4",
    "cannot convert %1 in place: it already is UTF-8 with letters beyond ASCII, which converting it again as %2 would garble; add -force to do it all the same",
    "cannot convert %1 in place: %2 ill-formed UTF-8 sequences would be lost; name its encoding with a switch, or add -force to write them as replacement characters",
    "%1: plain ASCII, which every encoding reads alike; its characters are written unchanged",
    "%1: detected %2 (%3), already the target encoding; its characters are written unchanged",
    "%1 looks like %2 (%3), not %4; converted as %4, as asked",
    "%1: most likely %2, but not surely",
    "%1: not a regular file; only its first %2 bytes were read",
    "%1: parts in different encodings, not every one surely: %2",
    "%1: detected UTF-8 (-utf8) with stray bytes (%2), each read as %3 (%4)",
    "cannot convert %1: it is not text (%2); name its encoding with a switch to convert it all the same",
    "%1: parts in different encodings, each converted from its own: %2",
    "cannot convert %1: its parts are in different encodings, not every one surely (%2); convert the parts apart, naming each one's encoding",
    "cannot convert %1 in place: its parts are in different encodings (%2); convert it into another file",
    "cannot convert %1 in place: it is not text (%2); add -force to convert it all the same",
    "%1: %2 ill-formed %3 code units were written as replacement characters",
    "cannot convert %1 in place: %2 ill-formed %3 code units would be lost; name its encoding with a switch, or add -force to write them as replacement characters",
    "%1: fixed %2 lines: %3",
    "%1: bytes lost to a wrong decoding: %2 told by their context, %3 written as replacement characters",
    "%1: %2 lines read as if decoded wrongly, but not surely; left as they are",
    "standard input",
    "standard output",
};

template <std::size_t... N>
consteval auto dos866_all(const char8_t (&... utf8)[N]) {
  return std::tuple{dos866(utf8)...};
}

constexpr auto kRussianDiagnosticTexts = dos866_all(
    u8"не удалось открыть %1: %2",
    u8"не удалось прочитать %1: %2",
    u8"не удалось создать %1: %2",
    u8"не удалось записать %1: %2",
    u8"нельзя преобразовать %1 на месте: рядом с ним не удалось создать файл: %2",
    u8"нельзя преобразовать %1 на месте: не удалось записать преобразованный текст: %2; файл оставлен как был",
    u8"%1 преобразован, но заменить исходный файл не удалось: %2; файл оставлен как был",
    u8"нельзя преобразовать %1 на месте: пока он преобразовывался, его имя стало вести к другому файлу; ничего не заменено",
    u8"не удалось сохранить %1 как %2: %3; файл оставлен как был",
    u8"нельзя преобразовать %1 на месте: это не обычный файл",
    u8"нельзя преобразовать на месте стандартный ввод или вывод",
    u8"преобразование %1 на месте",
    u8"%1 назван ещё раз; он преобразуется один раз",
    u8"нельзя преобразовать %1 в самого себя через стандартный вывод; чтобы преобразовать его на месте, назовите его дважды",
    u8"%1: не удалось сохранить права доступа: %2",
    u8"%1: не удалось сохранить владельца: %2",
    u8"%1: не удалось сохранить группу: %2",
    u8"%1: не удалось сохранить список управления доступом: %2",
    u8"%1: не удалось сохранить расширенный атрибут '%2': %3",
    u8"%1: не удалось сохранить атрибуты: %2",
    u8"неизвестный ключ '%1'; см. recodia --help",
    u8"неизвестный ключ '%1'; может быть, '%2'?",
    u8"слишком много имён файлов (%1); чтобы преобразовать несколько файлов на месте, дайте ключ -i",
    u8"нет имени выходного файла; дайте два имени (- для стандартного вывода)",
    u8"нет имён файлов; дайте два или см. recodia --help",
    u8"нет имён файлов для преобразования на месте",
    u8"%1: неправильных последовательностей UTF-8, записанных знаком замены: %2",
    u8"%1: обнаружена кодировка %2 (%3)",
    u8"%1: обнаружена кодировка %2 (%3), но без уверенности; если текст выйдет неверным, назовите его кодировку ключом",
    u8"нельзя преобразовать %1 на месте: его кодировка не ясна (вероятнее всего %2, %3); назовите её ключом или добавьте -force",
    u8"нельзя преобразовать %1 на месте: он похож на %2 (%3), а не на %4; назовите его кодировку ключом или добавьте -force, чтобы преобразовать его как %4",
    u8"нельзя преобразовать %1 на месте: он уже в UTF-8 с буквами за пределами ASCII, и повторное преобразование как %2 их испортит; добавьте -force, чтобы сделать это всё равно",
    u8"нельзя преобразовать %1 на месте: пропали бы неправильные последовательности UTF-8 (%2); назовите его кодировку ключом или добавьте -force, чтобы записать их знаком замены",
    u8"%1: простой ASCII, все кодировки читают его одинаково; знаки записаны без изменений",
    u8"%1: обнаружена кодировка %2 (%3), она уже целевая; знаки записаны без изменений",
    u8"%1 похож на %2 (%3), а не на %4; преобразован как %4, как задано",
    u8"%1: вероятнее всего %2, но без уверенности",
    u8"%1: это не обычный файл; прочитаны только первые %2 байт",
    u8"%1: части в разных кодировках, и не все определены уверенно: %2",
    u8"%1: обнаружена кодировка UTF-8 (-utf8) с посторонними байтами (%2), каждый прочитан как %3 (%4)",
    u8"нельзя преобразовать %1: это не текст (%2); чтобы всё же преобразовать его, назовите кодировку ключом",
    u8"%1: части в разных кодировках, каждая преобразована из своей: %2",
    u8"нельзя преобразовать %1: его части в разных кодировках, и не все определены уверенно (%2); преобразуйте части по отдельности, назвав кодировку каждой",
    u8"нельзя преобразовать %1 на месте: его части в разных кодировках (%2); преобразуйте его в другой файл",
    u8"нельзя преобразовать %1 на месте: это не текст (%2); чтобы всё же преобразовать его, добавьте -force",
    u8"%1: неправильных кодовых единиц %3, записанных знаком замены: %2",
    u8"нельзя преобразовать %1 на месте: пропали бы неправильные кодовые единицы %3 (%2); назовите его кодировку ключом или добавьте -force, чтобы записать их знаком замены",
    u8"%1: исправлено строк: %2: %3",
    u8"%1: байты, потерянные при неверном декодировании: восстановлено по контексту %2, записано знаком замены %3",
    u8"%1: строк, похожих на неверно декодированные, но без уверенности: %2; они оставлены как были",
    u8"стандартный ввод",
    u8"стандартный вывод");

static_assert(std::tuple_size_v<decltype(kRussianDiagnosticTexts)> == kDiagnosticCount, "one Russian text per diagnostic");

consteval bool every_text_given(const DiagnosticSet& set) {
  for (std::string_view text : set)
    if (text.empty()) return false;
  return true;
}
static_assert(every_text_given(kEnglishDiagnostics), "one English text per diagnostic");

constexpr DiagnosticSet kRussianDiagnostics = std::apply(
    [](const auto&... texts) { return DiagnosticSet{texts.view()...}; }, kRussianDiagnosticTexts);

}  // namespace

const MessageSet& select_messages(Language language) {
  return language == Language::russian ? kRussian : kEnglish;
}

std::string dos866_to_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    const char32_t c = b < 0x80 ? char32_t{b} : code_pages::kDos866[b - 0x80];
    encode_utf8(c, [&out](std::uint8_t u) { out += static_cast<char>(u); });
  }
  return out;
}

MessagePrinter::MessagePrinter(const MessageSet& messages, platform::Console& console,
                               platform::Stream stream, bool silent)
    : messages_(messages),
      console_(console),
      stream_(stream),
      silent_(silent),
      // The stored bytes go to files and pipes unchanged; only a UTF-8
      // terminal gets the Russian texts converted, so that they are readable.
      as_utf8_(&messages == &kRussian && console.is_terminal(stream) && console.uses_utf8()) {}

void MessagePrinter::print(int number) const { print_line(messages_[static_cast<std::size_t>(number - 1)]); }

void MessagePrinter::print_line(std::string_view text) const {
  if (silent_) return;
  std::string line(text);
  if (as_utf8_) line = dos866_to_utf8(line);
  line += '\n';
  console_.write(stream_, line);
}

bool MessagePrinter::russian() const { return &messages_ == &kRussian; }

void print_help(const MessagePrinter& printer) {
  for (int n = kBannerMessage; n <= kLastHelpMessage; ++n) printer.print(n);
  printer.print_line(printer.russian() ? kRussianHelpPointer.view() : kEnglishHelpPointer);
}

Severity severity(Diagnostic diagnostic) {
  switch (diagnostic) {
    case Diagnostic::converting_in_place:
    case Diagnostic::named_twice:
    case Diagnostic::detected:
    case Diagnostic::plain_ascii:
    case Diagnostic::already_target:
    case Diagnostic::repaired_lines:
    case Diagnostic::repaired_lost_bytes:
      return Severity::note;
    case Diagnostic::lost_permissions:
    case Diagnostic::lost_owner:
    case Diagnostic::lost_group:
    case Diagnostic::lost_access_control_list:
    case Diagnostic::lost_extended_attribute:
    case Diagnostic::lost_attributes:
    case Diagnostic::ill_formed_utf8:
    case Diagnostic::ill_formed_units:
    case Diagnostic::detected_unsure:
    case Diagnostic::looks_like:
    case Diagnostic::detect_unsure:
    case Diagnostic::repair_left_alone:
      return Severity::warning;
    default:  // whatever is not known to be harmless is shown
      return Severity::error;
  }
}

Reporter::Reporter(Language language, platform::Console& console, Severity least)
    : language_(language),
      console_(console),
      least_(least),
      as_utf8_(language == Language::russian && console.is_terminal(platform::Stream::standard_error) &&
               console.uses_utf8()) {}

std::string Reporter::phrase(Diagnostic diagnostic) const {
  const auto& set = language_ == Language::russian ? kRussianDiagnostics : kEnglishDiagnostics;
  const std::string_view stored = set[static_cast<std::size_t>(diagnostic)];
  return as_utf8_ ? dos866_to_utf8(stored) : std::string(stored);
}

void Reporter::report(Diagnostic diagnostic, std::initializer_list<std::string_view> arguments) const {
  if (severity(diagnostic) < least_) return;
  const std::string pattern = phrase(diagnostic);
  std::string line = "recodia: ";
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const std::size_t n = i + 1 < pattern.size() && pattern[i] == '%' ? static_cast<std::size_t>(pattern[i + 1] - '1') : 99;
    if (n < arguments.size()) {
      line += arguments.begin()[n];
      ++i;
    } else {
      line += pattern[i];
    }
  }
  console_.write(platform::Stream::standard_error, line + "\n");
}

std::string Reporter::name(std::string_view file_name, bool is_output) const {
  if (file_name == kStandardStream) return phrase(is_output ? Diagnostic::standard_output : Diagnostic::standard_input);
  return shown_name(file_name, true);
}

}  // namespace recodia
