#include "cli/text_stream.hpp"

#include <memory>
#include <optional>
#include <vector>

#include "convert/detect.hpp"
#include "convert/registry.hpp"
#include "convert/stream_converter.hpp"

namespace recodia {

using platform::InputFile;
using platform::OutputFile;

bool copy_blocks(InputFile& in, OutputFile& out) {
  std::vector<std::uint8_t> block(kInputBlock);
  while (const std::size_t n = in.read(block.data(), block.size())) {
    if (!out.write(block.data(), n)) return false;
  }
  return !in.failed() && !out.failed();
}

// Reads into `buffer` until it is full or the input ends; the count read.
std::size_t fill(InputFile& in, std::span<std::uint8_t> buffer) {
  std::size_t n = 0;
  while (n < buffer.size()) {
    const std::size_t got = in.read(buffer.data() + n, buffer.size() - n);
    if (got == 0) break;
    n += got;
  }
  return n;
}

namespace {

// A text in `source` that the target reads as it is.
bool already_in_target(std::span<const std::uint8_t> window, EncodingId source, EncodingId target) {
  return source == target || (source != kUtf8 && is_single_byte_source(encoding(target)) &&
                              reads_alike(window, source, target));
}

enum class SourceDecision { as_it_is, convert, refuse };

// With "-auto": settles a text's source by the window that tells it (see
// read_window), says on standard error what was decided, and sets
// `settings.source`. An answer that is not sure never replaces the only copy.
SourceDecision choose_source(const RunContext& context, const std::string& in_name,
                             std::span<const std::uint8_t> window, bool empty, bool guarded,
                             ConversionSettings& settings) {
  const Reporter& r = context.reporter;
  const std::string shown = r.name(in_name, false);
  const Detection d = detect_encoding(window);
  if (d.kind == TextKind::ascii) {
    if (!empty) r.report(Diagnostic::plain_ascii, {shown});
    return SourceDecision::as_it_is;
  }
  settings.source = d.encoding;
  const Encoding& e = encoding(settings.source);
  const std::string_view named = e.source_switches[0];
  if (already_in_target(window, settings.source, settings.target)) {
    r.report(Diagnostic::already_target, {shown, e.name, named});
    return SourceDecision::as_it_is;
  }
  if (is_sure(d)) {
    r.report(Diagnostic::detected, {shown, e.name, named});
  } else if (guarded) {
    r.report(Diagnostic::unsure_in_place, {shown, e.name, named});
    return SourceDecision::refuse;
  } else {
    r.report(Diagnostic::detected_unsure, {shown, e.name, named});
  }
  return SourceDecision::convert;
}

// With a source switch, and in place with the default source too: whether
// the text plainly is in another encoding. A warning; in place without
// "-force", a refusal (false), since the only copy would be garbled.
bool check_source(const RunContext& context, const std::string& in_name, std::span<const std::uint8_t> window,
                  bool guarded) {
  const EncodingId named = context.settings.source;
  // The detector's verdict that a text is binary joins the refusals here.
  const std::optional<Detection> other = plainly_other_than(window, named);
  if (!other) return true;
  const Encoding& looks = encoding(other->encoding);
  const Reporter& r = context.reporter;
  const std::string shown = r.name(in_name, false);
  if (!guarded) {
    r.report(Diagnostic::looks_like, {shown, looks.name, looks.source_switches[0], encoding(named).name});
  } else if (other->encoding == kUtf8 && context.settings.target == kUtf8) {
    r.report(Diagnostic::refused_converted_twice, {shown, encoding(named).name});
  } else {
    r.report(Diagnostic::refused_other_source, {shown, looks.name, looks.source_switches[0], encoding(named).name});
  }
  return !guarded;
}

}  // namespace

StreamResult convert_stream(InputFile& in, OutputFile& out, const RunContext& context, const std::string& in_name,
                            bool in_place) {
  const ConversionSettings& settings = context.settings;
  const CommandLine& command_line = context.command_line;
  // Whether the only copy is at stake: then a text that does not fit is refused.
  const bool guarded = in_place && !command_line.force;
  // "-noenc" converts nothing, so there is nothing to choose or check.
  const SourceChoice choice = settings.no_encoding ? SourceChoice::unnamed : command_line.source_choice;
  const bool checked = choice == SourceChoice::named || (in_place && choice == SourceChoice::unnamed && !settings.no_encoding);
  ConversionSettings detected = settings;
  std::optional<StreamConverter> converter;
  // With "-auto" the text goes through as it is until its source is known.
  converter.emplace(settings, context.path, choice == SourceChoice::detected ? StreamMode::pass_through : StreamMode::convert);
  const auto put = [&](std::span<const std::uint8_t> converted) {
    return out.write(converted.data(), converted.size());
  };
  std::vector<std::uint8_t> block(kInputBlock);
  std::size_t n = 0;
  if (checked || choice == SourceChoice::detected) {
    bool empty = true;
    n = read_window(in, std::span(block).first(kDetectionSampleSize), [&](std::span<const std::uint8_t> text) {
      empty = false;
      return put(converter->convert(text));
    });
    if (in.failed() || out.failed()) return StreamResult::failed;
    const std::span<const std::uint8_t> window(block.data(), n);
    if (checked) {
      if (!check_source(context, in_name, window, guarded)) return StreamResult::refused;
    } else {
      switch (choose_source(context, in_name, window, empty && n == 0, guarded, detected)) {
        case SourceDecision::as_it_is: break;
        case SourceDecision::refuse: return StreamResult::refused;
        case SourceDecision::convert:
          if (!put(converter->finish())) return StreamResult::failed;
          converter.emplace(detected, context.path);
          break;
      }
    }
  }
  if (n > 0 && !put(converter->convert({block.data(), n}))) return StreamResult::failed;
  // The whole-file check of whether the parts of a text agree joins here,
  // each block seen as it is converted, its verdict refused in place below.
  while (const std::size_t got = in.read(block.data(), block.size())) {
    if (!put(converter->convert({block.data(), got}))) return StreamResult::failed;
  }
  if (in.failed() || !put(converter->finish()) || out.failed()) return StreamResult::failed;
  if (const std::uint64_t replaced = converter->replaced()) {
    const Reporter& r = context.reporter;
    // Each stands for bytes that are lost: the only copy is not given up for that.
    r.report(guarded ? Diagnostic::refused_ill_formed : Diagnostic::ill_formed_utf8, {r.name(in_name, false), std::to_string(replaced)});
    if (guarded) return StreamResult::refused;
  }
  return StreamResult::converted;
}

// Says which side of a failed copy or conversion failed, and why.
void report_stream_failure(const RunContext& context, const InputFile& in, const std::string& in_name,
                           const OutputFile& out, const std::string& out_name) {
  const Reporter& r = context.reporter;
  if (in.failed()) r.report(Diagnostic::cannot_read, {r.name(in_name, false), in.failure()->reason});
  else if (out.failed()) r.report(Diagnostic::cannot_write, {r.name(out_name, true), out.failure()->reason});
}

}  // namespace recodia
