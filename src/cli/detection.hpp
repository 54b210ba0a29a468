// The front end's side of detection: "-detect"'s lines, and what "-auto"
// makes of a survey of the text (one source, UTF-8 with stray bytes read by
// a code page, parts each from its own encoding, or a refusal).
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cli/messages.hpp"
#include "cli/options.hpp"
#include "convert/detect.hpp"
#include "convert/settings.hpp"
#include "convert/stream_converter.hpp"
#include "platform/console.hpp"
#include "platform/files.hpp"

namespace recodia {

// "-detect": for each file one line on standard output, its answer; the exit
// code: 0 when every file could be read, else 1, and kClosedPipeExitCode as
// soon as the reader of the answers has gone (the rest are not read). A
// regular file is surveyed whole; a pipe or a device only as far as
// kDetectReadLimit, and standard error says so.
inline constexpr std::uint64_t kDetectReadLimit = 16 * kDetectionSampleSize;
int detect_files(const CommandLine& command_line, platform::FileSystem& files, platform::Console& console,
                  const Reporter& reporter);

// "-detect"'s answer for a text: "-koi8 KOI8-R", "ascii", "binary (PNG image)",
// "-utf8 UTF-8, 2 stray bytes read as -1252 Windows-1252",
// "mixed: -w lines 1–120, -koi8 lines 121–240".
std::string detect_answer(const Survey& survey);

// What makes a binary content binary, in a few words ("PNG image", "NUL bytes").
std::string_view binary_what(const Detection& d);

// The parts of a mixed text: "-w lines 1-120, -koi8 lines 121-240", the lines
// counted after `lines_before`, with `dash` between numbers and, when
// `mark_unsure`, "(not surely)" after a part that is not sure.
std::string part_list(const Survey& s, std::string_view dash, std::uint64_t lines_before, bool mark_unsure);

// Surveys the whole input when it can be read again, and goes back to where
// it began; nothing for a pipe or a device, of which nothing is then read.
// `failed` when reading failed.
std::optional<Survey> survey_whole(platform::InputFile& in, bool& failed);

// One stretch of a text converted with one set of settings, from `offset` on.
struct Segment {
  std::uint64_t offset = 0;
  ConversionSettings settings;
  std::optional<EncodingId> stray_source;  // UTF-8's stray bytes read as this source
};

enum class SourceAction { as_it_is, convert, refuse };

struct SourcePlan {
  SourceAction action = SourceAction::as_it_is;
  std::deque<Segment> segments;  // in order; the first from the window on
};

// What "-auto" does with a text, said on standard error: `survey` is of the
// whole text (its offsets from the text's start) or of the window alone (from
// the window's start, which is `window_offset` into the text, after
// `window_line` lines). An answer that is not sure, binary content or parts
// in different encodings never replace the only copy.
struct AutoInput {
  const Survey& survey;
  std::span<const std::uint8_t> window;
  std::uint64_t window_offset = 0, window_line = 0;
  bool surveyed_whole = false;
  bool empty = false;
  bool in_place = false;
};
SourcePlan plan_source(const Reporter& reporter, const std::string& shown_name, const AutoInput& input,
                       const ConversionSettings& settings);

// Converts a text stretch by stretch, each with its segment's settings.
class SegmentedConverter {
 public:
  SegmentedConverter(std::deque<Segment> segments, ConversionPath path);
  // The output for the next block, which starts `at` bytes into the text.
  std::span<const std::uint8_t> convert(std::span<const std::uint8_t> block, std::uint64_t at);
  std::span<const std::uint8_t> finish();
  // Replacement characters written for ill-formed UTF-8 (stray bytes read by a code page are none).
  std::uint64_t replaced() const;
  // The encoding the stretch now converted is read as.
  EncodingId source() const { return segments_[current_].settings.source; }

 private:
  void start_segment();

  std::deque<Segment> segments_;
  std::size_t current_ = 0;
  ConversionPath path_;
  std::optional<StreamConverter> converter_;
  std::uint64_t replaced_ = 0;
  std::vector<std::uint8_t> joined_;
};

}  // namespace recodia
