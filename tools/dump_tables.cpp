// Writes the engine's own data as JSON, for the Python tools and benchmarks,
// so that none of them retypes a table or parses C++: every encoding of the
// registry with the characters its bytes are read as and written for, the
// fallbacks, and the Latin transliteration of Cyrillic.
//
//   recodia_dump_tables FILE     (cmake --build build --target tables_json
//                                 writes build/recodia-tables.json)
//
// Characters are written as code points; null marks a byte with none.
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "convert/fallbacks.hpp"
#include "convert/pages.hpp"
#include "convert/registry.hpp"
#include "convert/transliteration.hpp"

namespace {

using recodia::Character;

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string code_points(std::u32string_view text) {
  std::string out = "[";
  for (Character c : text) out.append(out.size() > 1 ? ", " : "").append(std::to_string(c));
  return out + "]";
}

std::string switch_list(const recodia::SwitchNames& names) {
  std::string out = "[";
  for (std::string_view n : names)
    if (!n.empty()) out.append(out.size() > 1 ? ", " : "").append(quoted(n));
  return out + "]";
}

std::string_view script_key(recodia::Script s) {
  for (const recodia::ScriptName& name : recodia::kScripts)
    if (name.script == s) return name.key;
  return "";
}

std::string_view form_name(recodia::Form f) {
  switch (f) {
    case recodia::Form::code_page: return "code_page";
    case recodia::Form::kx: return "kx";
    case recodia::Form::koi7: return "koi7";
    case recodia::Form::transliteration: return "transliteration";
    case recodia::Form::utf8: return "utf8";
    case recodia::Form::utf16: return "utf16";
    case recodia::Form::utf32: return "utf32";
  }
  return "";
}

std::string line_ends(const std::optional<recodia::LineStyle>& style) {
  if (!style) return "null";
  return *style == recodia::LineStyle::crlf ? "\"crlf\"" : *style == recodia::LineStyle::lf ? "\"lf\"" : "\"keep\"";
}

std::string trait_list(const recodia::Encoding& e) {
  constexpr std::pair<recodia::Trait, std::string_view> kNames[] = {
      {recodia::kAsciiAsIs, "ascii_as_is"},
      {recodia::kDosGlyphs, "dos_glyphs"},
      {recodia::kDosControlSymbols, "dos_control_symbols"},
      {recodia::kBigEndian, "big_endian"},
  };
  std::string out = "[";
  for (const auto& [trait, name] : kNames)
    if (recodia::has_trait(e, trait)) out.append(out.size() > 1 ? ", " : "").append(quoted(name));
  return out + "]";
}

bool has_code_page(const recodia::Encoding& e) {
  return e.form != recodia::Form::transliteration && !recodia::is_unicode(e);
}

// The 256 characters of the bytes: as read, or as written (the byte a target
// writes for each character; null where it writes none there).
std::string byte_table(const recodia::Encoding& e, bool written) {
  std::string out = "[";
  for (int b = 0; b < 256; ++b) {
    const Character c = recodia::read_page(e.id).characters[static_cast<std::size_t>(b)];
    const bool present = c != recodia::kNoCharacter && (!written || recodia::written_byte(e.id, c) == b);
    out.append(b == 0 ? "" : ",").append(present ? std::to_string(c) : "null");
  }
  return out + "]";
}

std::string encoding_json(const recodia::Encoding& e) {
  std::string out = "    {";
  out += "\"name\": " + quoted(e.name) + ", \"description\": " + quoted(e.description);
  out += ", \"script\": " + quoted(script_key(e.script)) + ", \"form\": " + quoted(form_name(e.form));
  out += ", \"source_switches\": " + switch_list(e.source_switches);
  out += ", \"target_switches\": " + switch_list(e.target_switches);
  out += ", \"line_ends\": " + line_ends(e.target_line_style) + ", \"traits\": " + trait_list(e);
  out += ", \"detection_rank\": " + std::to_string(e.detection_rank);
  if (has_code_page(e)) {
    out += ",\n     \"read\": " + byte_table(e, false);
    out += ",\n     \"written\": " + byte_table(e, true);
  }
  return out + "}";
}

// Every character that has a fallback: its one-character form and its text,
// in a target without DOS glyphs and in one with them (special symbols on).
std::string fallbacks_json() {
  const recodia::ConversionSettings settings;
  std::string out;
  for (Character c = 0x80; c < 0x10000; ++c) {
    const auto plain = recodia::apply_fallback(c, settings, false);
    if (!plain) continue;
    const auto dos = recodia::apply_fallback(c, settings, true);
    out.append(out.empty() ? "" : ",\n").append("    {\"character\": ").append(std::to_string(c));
    out.append(", \"single\": ").append(plain->single == recodia::kNoCharacter ? "null" : std::to_string(plain->single));
    out.append(", \"dos_single\": ").append(dos->single == recodia::kNoCharacter ? "null" : std::to_string(dos->single));
    out.append(", \"text\": ").append(code_points(plain->text)).append("}");
  }
  return out;
}

std::string transliteration_json() {
  std::string out;
  for (Character c = 0x400; c < 0x500; ++c) {
    const std::u32string_view latin = recodia::transliteration_of(c);
    if (latin.empty()) continue;
    out.append(out.empty() ? "" : ",\n").append("    {\"character\": ").append(std::to_string(c));
    out.append(", \"latin\": ").append(code_points(latin)).append("}");
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: recodia_dump_tables FILE\n");
    return 2;
  }
  std::string out = "{\n  \"encodings\": [\n";
  for (const recodia::Encoding& e : recodia::kEncodings)
    out.append(&e == recodia::kEncodings.data() ? "" : ",\n").append(encoding_json(e));
  out += "\n  ],\n  \"fallbacks\": [\n" + fallbacks_json() + "\n  ],\n";
  out += "  \"transliteration\": [\n" + transliteration_json() + "\n  ]\n}\n";
  std::ofstream file(argv[1], std::ios::binary);
  file << out;
  file.close();
  if (!file) {
    std::fprintf(stderr, "recodia_dump_tables: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
