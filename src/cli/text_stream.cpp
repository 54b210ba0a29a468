#include "cli/text_stream.hpp"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "cli/detection.hpp"
#include "cli/repair_run.hpp"
#include "convert/detect.hpp"
#include "convert/registry.hpp"
#include "convert/stream_converter.hpp"

namespace recodia {

using platform::InputFile;
using platform::OutputFile;

namespace {

// The block that input is read into: not zeroed, as every byte used is read
// first, and zeroing it was a tenth of a short run's time.
std::unique_ptr<std::uint8_t[]> input_block() { return std::make_unique_for_overwrite<std::uint8_t[]>(kInputBlock); }

}  // namespace

bool copy_blocks(InputFile& in, OutputFile& out) {
  const std::unique_ptr<std::uint8_t[]> block = input_block();
  while (const std::size_t n = in.read(block.get(), kInputBlock)) {
    if (!out.write(block.get(), n)) return false;
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

// With a source switch, and in place with the default source too: whether
// the text plainly is in another encoding, or no text at all (binary, or in
// place parts in different encodings, which the survey of the whole file
// finds). A warning; in place without "-force", a refusal (false), since
// the only copy would be garbled.
bool check_source(const RunContext& context, const std::string& in_name, std::span<const std::uint8_t> window,
                  const std::optional<Survey>& whole, bool guarded) {
  const EncodingId named = context.settings.source;
  const Reporter& r = context.reporter;
  const std::string shown = r.name(in_name, false);
  if (guarded) {
    const Detection& d = whole ? whole->detection : detect_encoding(window);
    if (d.kind == TextKind::binary) {
      r.report(Diagnostic::refused_not_text, {shown, binary_what(d)});
      return false;
    }
    if (d.kind == TextKind::mixed) {
      r.report(Diagnostic::mixed_in_place, {shown, part_list(*whole, "-", 0, true)});
      return false;
    }
  }
  const std::optional<Detection> other = plainly_other_than(window, named);
  if (!other) return true;
  const Encoding& looks = encoding(other->encoding);
  if (!guarded) {
    r.report(Diagnostic::looks_like, {shown, looks.name, looks.source_switches[0], encoding(named).name});
  } else if (other->encoding == kUtf8 && context.settings.final_target.value_or(context.settings.target) == kUtf8) {
    r.report(Diagnostic::refused_converted_twice, {shown, encoding(named).name});
  } else {
    r.report(Diagnostic::refused_other_source, {shown, looks.name, looks.source_switches[0], encoding(named).name});
  }
  return !guarded;
}

}  // namespace

StreamResult convert_stream(InputFile& in, OutputFile& out, const RunContext& context, const std::string& in_name,
                            bool in_place) {
  if (context.command_line.repair && !context.settings.no_encoding)
    return convert_stream_repairing(in, out, context, in_name, in_place);
  const ConversionSettings& settings = context.settings;
  const CommandLine& command_line = context.command_line;
  // Whether the only copy is at stake: then a text that does not fit is refused.
  const bool guarded = in_place && !command_line.force;
  // "-noenc" converts nothing, so there is nothing to choose or check.
  const SourceChoice choice = settings.no_encoding ? SourceChoice::unnamed : command_line.source_choice;
  const bool checked = choice == SourceChoice::named || (in_place && choice == SourceChoice::unnamed && !settings.no_encoding);
  // With "-auto", and where the only copy is at stake, a file that can be read
  // again is surveyed whole first: its parts must agree.
  std::optional<Survey> whole;
  if (choice == SourceChoice::detected || (checked && guarded)) {
    bool failed = false;
    whole = survey_whole(in, failed);
    if (failed) return StreamResult::failed;
  }
  std::optional<StreamConverter> converter;
  // With "-auto" the text goes through as it is until its source is known.
  converter.emplace(settings, context.path, choice == SourceChoice::detected ? StreamMode::pass_through : StreamMode::convert);
  std::optional<SegmentedConverter> parts;  // the source or sources detected
  std::uint64_t at = 0, lines = 0;          // where the next block starts
  const auto put = [&](std::span<const std::uint8_t> converted) {
    return out.write(converted.data(), converted.size());
  };
  const auto convert = [&](std::span<const std::uint8_t> block) {
    const std::uint64_t from = std::exchange(at, at + block.size());
    return put(parts ? parts->convert(block, from) : converter->convert(block));
  };
  const std::unique_ptr<std::uint8_t[]> storage = input_block();
  const std::span<std::uint8_t> block(storage.get(), kInputBlock);
  std::size_t n = 0;
  if (checked || choice == SourceChoice::detected) {
    bool empty = true;
    n = read_window(in, std::span(block).first(kDetectionSampleSize), [&](std::span<const std::uint8_t> text) {
      empty = false;
      lines += static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
      return convert(text);
    });
    if (in.failed() || out.failed()) return StreamResult::failed;
    const std::span<const std::uint8_t> window(block.data(), n);
    if (checked) {
      if (!check_source(context, in_name, window, whole, guarded)) return StreamResult::refused;
    } else {
      const Survey of_window = whole ? Survey{} : survey_text(window);
      SourcePlan plan = plan_source(context.reporter, context.reporter.name(in_name, false),
                                    {whole ? *whole : of_window, window, at, lines, whole.has_value(), empty && n == 0, guarded},
                                    settings);
      switch (plan.action) {
        case SourceAction::as_it_is: break;
        case SourceAction::refuse: return StreamResult::refused;
        case SourceAction::convert:
          if (!put(converter->finish())) return StreamResult::failed;
          // What went through as it is may have begun a UTF-16 text: no byte-order mark again.
          plan.segments.front().settings.continues_text = !empty;
          parts.emplace(std::move(plan.segments), context.path);
          break;
      }
    }
  }
  if (n > 0 && !convert({block.data(), n})) return StreamResult::failed;
  while (const std::size_t got = in.read(block.data(), block.size())) {
    if (!convert({block.data(), got})) return StreamResult::failed;
  }
  if (in.failed() || !put(parts ? parts->finish() : converter->finish()) || out.failed()) return StreamResult::failed;
  if (const std::uint64_t replaced = parts ? parts->replaced() : converter->replaced()) {
    const Reporter& r = context.reporter;
    const Encoding& read_as = encoding(parts ? parts->source() : converter->source());
    const bool utf8 = read_as.form == Form::utf8;
    // Each stands for bytes that are lost: the only copy is not given up for that.
    if (guarded)
      r.report(utf8 ? Diagnostic::refused_ill_formed : Diagnostic::refused_ill_formed_units,
               {r.name(in_name, false), std::to_string(replaced), read_as.name});
    else
      r.report(utf8 ? Diagnostic::ill_formed_utf8 : Diagnostic::ill_formed_units,
               {r.name(in_name, false), std::to_string(replaced), read_as.name});
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
