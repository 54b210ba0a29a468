#include "cli/detection.hpp"

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "cli/quoting.hpp"
#include "cli/repair_run.hpp"
#include "cli/run.hpp"
#include "convert/registry.hpp"

namespace recodia {
namespace {

constexpr std::size_t kReadBlock = 128 * 1024;

std::string source_answer(EncodingId id) {
  const Encoding& e = encoding(id);
  return std::string(e.source_switches[0]) + " " + std::string(e.name);
}

bool every_part_sure(const Survey& s) {
  return std::all_of(s.parts.begin(), s.parts.end(), [](const TextPart& p) { return is_sure(p.detection); });
}

// A text already in the target encoding, or in one the target reads alike.
bool already_in_target(std::span<const std::uint8_t> window, const Detection& d, EncodingId target) {
  if (d.stray_bytes > 0) return false;  // its stray bytes are to be read, not copied
  return d.encoding == target || (is_single_byte_source(encoding(d.encoding)) && is_single_byte_source(encoding(target)) &&
                                  reads_alike(window, d.encoding, target));
}

}  // namespace

std::string_view binary_what(const Detection& d) {
  switch (d.binary) {
    case BinarySign::signature: return d.signature;
    case BinarySign::nul_byte: return "NUL bytes";
    case BinarySign::control_bytes: return "control bytes";
    case BinarySign::none: break;
  }
  return "not text";
}

namespace {

std::string stray_note(const Detection& d) {
  if (d.stray_bytes == 0) return {};
  return ", " + std::to_string(d.stray_bytes) + (d.stray_bytes == 1 ? " stray byte" : " stray bytes") + " read as " +
         source_answer(d.stray_encoding);
}

}  // namespace

// "-w lines 1–120, -koi8 lines 121–240", the lines counted from `first_line` on.
std::string part_list(const Survey& s, std::string_view dash, std::uint64_t lines_before, bool mark_unsure) {
  std::string out;
  for (const TextPart& p : s.parts) {
    if (!out.empty()) out += ", ";
    out += encoding(p.detection.encoding).source_switches[0];
    const std::uint64_t first = p.first_line + lines_before, last = std::max(p.last_line, p.first_line) + lines_before;
    out += first == last ? " line " + std::to_string(first)
                         : " lines " + std::to_string(first) + std::string(dash) + std::to_string(last);
    if (mark_unsure && !is_sure(p.detection)) out += " (not surely)";
  }
  return out;
}

std::string detect_answer(const Survey& s) {
  const Detection& d = s.detection;
  switch (d.kind) {
    case TextKind::ascii: return "ascii";
    case TextKind::binary: return "binary (" + std::string(binary_what(d)) + ")";
    case TextKind::mixed: return "mixed: " + part_list(s, "\u2013", 0, false);
    case TextKind::utf8: return source_answer(d.encoding) + stray_note(d);
    case TextKind::utf16_or_32:
    case TextKind::single_byte: break;
  }
  return source_answer(d.encoding);
}

namespace {

// Lines damaged by a wrong decoding, in a file that can be read again.
std::string mojibake_in(platform::InputFile& in, const Survey& s) {
  const auto status = in.status();
  const bool text = s.detection.kind == TextKind::utf8 || s.detection.kind == TextKind::single_byte;
  if (!text || !status || !status->regular_file || !in.rewind()) return {};
  return mojibake_note(in, s.detection.kind == TextKind::utf8 ? kUtf8 : s.detection.encoding);
}

}  // namespace

int detect_files(const CommandLine& command_line, platform::FileSystem& files, platform::Console& console,
                  const Reporter& reporter) {
  std::vector<std::string> names = command_line.file_names;
  if (names.empty() && !files.standard_input_is_terminal()) names.emplace_back(kStandardStream);
  if (names.empty()) reporter.report(Diagnostic::no_file_names);
  bool all = !names.empty();
  std::vector<std::uint8_t> block(kReadBlock);
  for (const std::string& name : names) {
    const std::unique_ptr<platform::InputFile> input = open_input(files, reporter, name);
    if (!input) {
      all = false;
      continue;
    }
    const auto status = input->status();
    const bool bounded = !status || !status->regular_file;
    TextSurvey survey;
    std::uint64_t read = 0;
    bool cut = false;
    for (;;) {
      const std::size_t room = bounded ? static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), kDetectReadLimit - read)) : block.size();
      const std::size_t n = room == 0 ? 0 : input->read(block.data(), room);
      if (n == 0) {
        cut = room == 0;
        break;
      }
      survey.add(std::span(block).first(n));
      read += n;
      if (survey.found_binary()) break;
    }
    const std::string shown = reporter.name(name, false);
    if (input->failed()) {
      reporter.report(Diagnostic::cannot_read, {shown, input->failure()->reason});
      all = false;
      continue;
    }
    const Survey s = survey.finish();
    const std::string mojibake = mojibake_in(*input, s);
    if (!console.write(platform::Stream::standard_output, shown_name(name, false) + ": " + detect_answer(s) + mojibake + "\n"))
      return kClosedPipeExitCode;  // nobody reads the answers: cat's way, quietly
    if (cut) reporter.report(Diagnostic::detect_read_only, {shown, std::to_string(read)});
    if (s.detection.kind == TextKind::mixed && !every_part_sure(s))
      reporter.report(Diagnostic::detect_parts_unsure, {shown, part_list(s, "-", 0, true)});
    else if (!is_sure(s.detection))
      reporter.report(Diagnostic::detect_unsure, {shown, encoding(s.detection.encoding).name});
  }
  return all ? 0 : 1;
}

std::optional<Survey> survey_whole(platform::InputFile& in, bool& failed) {
  failed = false;
  const auto status = in.status();
  // Only what can be read again is read whole first; the rest is read once, as a pipe is.
  if (!status || !status->regular_file || !in.rewind()) return std::nullopt;
  TextSurvey survey;
  std::vector<std::uint8_t> block(kReadBlock);
  while (const std::size_t n = in.read(block.data(), block.size())) {
    survey.add(std::span(block).first(n));
    if (survey.found_binary()) break;
  }
  failed = in.failed() || !in.rewind();
  if (failed) return std::nullopt;
  return survey.finish();
}

SourcePlan plan_source(const Reporter& r, const std::string& shown, const AutoInput& in,
                       const ConversionSettings& settings) {
  const Survey& s = in.survey;
  const Detection& d = s.detection;
  SourcePlan plan;
  auto segment = [&](std::uint64_t offset, const Detection& answer) {
    Segment g{offset, settings, std::nullopt};
    g.settings.source = answer.encoding;
    if (answer.kind == TextKind::utf8 && answer.stray_bytes > 0) g.stray_source = answer.stray_encoding;
    return g;
  };
  switch (d.kind) {
    case TextKind::ascii:
      if (!in.empty) r.report(Diagnostic::plain_ascii, {shown});
      return plan;
    case TextKind::binary:
      r.report(Diagnostic::not_text, {shown, binary_what(d)});
      plan.action = SourceAction::refuse;
      return plan;
    case TextKind::mixed: {
      const std::uint64_t shift = in.surveyed_whole ? 0 : in.window_offset;
      const std::string list = part_list(s, "-", in.surveyed_whole ? 0 : in.window_line, true);
      plan.action = SourceAction::refuse;
      if (in.in_place) {
        r.report(Diagnostic::mixed_in_place, {shown, list});
      } else if (!every_part_sure(s)) {
        r.report(Diagnostic::mixed_unsure, {shown, list});
      } else {
        r.report(Diagnostic::mixed_converted, {shown, list});
        plan.action = SourceAction::convert;
        for (const TextPart& p : s.parts)
          plan.segments.push_back(segment(std::max(p.offset + shift, in.window_offset), p.detection));
      }
      return plan;
    }
    case TextKind::utf8:
    case TextKind::utf16_or_32:
    case TextKind::single_byte: break;
  }
  const Encoding& e = encoding(d.encoding);
  const std::string_view named = e.source_switches[0];
  if (already_in_target(in.window, d, settings.final_target.value_or(settings.target))) {
    r.report(Diagnostic::already_target, {shown, e.name, named});
    // UTF-16 and UTF-32 are read and written again, character for
    // character: their line ends are units, not bytes.
    if (!is_wide_unicode(e)) return plan;
  } else if (d.stray_bytes > 0) {
    const Encoding& stray = encoding(d.stray_encoding);
    r.report(Diagnostic::detected_stray_bytes, {shown, std::to_string(d.stray_bytes), stray.name, stray.source_switches[0]});
  } else if (is_sure(d)) {
    r.report(Diagnostic::detected, {shown, e.name, named});
  } else if (in.in_place) {
    r.report(Diagnostic::unsure_in_place, {shown, e.name, named});
    plan.action = SourceAction::refuse;
    return plan;
  } else {
    r.report(Diagnostic::detected_unsure, {shown, e.name, named});
  }
  plan.action = SourceAction::convert;
  plan.segments.push_back(segment(in.window_offset, d));
  return plan;
}

SegmentedConverter::SegmentedConverter(std::deque<Segment> segments, ConversionPath path)
    : segments_(std::move(segments)), path_(path) {
  start_segment();
}

void SegmentedConverter::start_segment() {
  if (converter_ && !segments_[current_].stray_source) replaced_ += converter_->replaced();
  // A UTF-16 target's byte-order mark stands once, before the text.
  if (converter_) segments_[++current_].settings.continues_text = true;
  const Segment& s = segments_[current_];
  converter_.emplace(s.settings, path_);
  if (s.stray_source) converter_->read_stray_bytes_as(*s.stray_source);
}

std::uint64_t SegmentedConverter::replaced() const {
  return replaced_ + (segments_[current_].stray_source ? 0 : converter_->replaced());
}

std::span<const std::uint8_t> SegmentedConverter::convert(std::span<const std::uint8_t> block, std::uint64_t at) {
  auto next = [&] {
    return current_ + 1 < segments_.size() ? segments_[current_ + 1].offset : std::numeric_limits<std::uint64_t>::max();
  };
  if (at + block.size() <= next()) return converter_->convert(block);
  joined_.clear();
  auto append = [&](std::span<const std::uint8_t> out) { joined_.insert(joined_.end(), out.begin(), out.end()); };
  while (!block.empty()) {
    if (at + block.size() <= next()) {
      append(converter_->convert(block));
      break;
    }
    const auto cut = static_cast<std::size_t>(next() - at);
    append(converter_->convert(block.first(cut)));
    append(converter_->finish());
    block = block.subspan(cut);
    at += cut;
    start_segment();
  }
  return joined_;
}

std::span<const std::uint8_t> SegmentedConverter::finish() { return converter_->finish(); }

}  // namespace recodia
