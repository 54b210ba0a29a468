#include "cli/repair_run.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "convert/registry.hpp"
#include "convert/repair.hpp"
#include "convert/stream_converter.hpp"
#include "convert/utf8.hpp"

namespace recodia {
namespace {

using platform::InputFile;
using platform::OutputFile;

// A line longer than this goes on as it is, unrepaired: memory stays bounded
// whatever the text (a one-line JSON file is no prose to judge anyway).
constexpr std::size_t kLongestRepairedLine = 256 * 1024;

// How much of a file -detect reads for damaged lines.
constexpr std::uint64_t kMojibakeScanLimit = 4 << 20;

// After this many lines in a row that the search found damaged by one chain
// through UTF-8, the next are tried through it first.
constexpr std::size_t kSettledStreak = 4;

// What the repair did to a text.
struct RepairTally {
  struct Seen {
    WrongChain chain;
    std::uint64_t lines = 0, first_line = 0, last_line = 0;
  };
  std::vector<Seen> chains;  // in the order first met
  std::uint64_t left_alone = 0, recovered = 0, unrecovered = 0;

  void count(const LineRepair& r, std::uint64_t line) {
    if (r.verdict == RepairVerdict::left_alone) ++left_alone;
    if (r.verdict != RepairVerdict::repaired) return;
    recovered += r.recovered;
    unrecovered += r.unrecovered;
    auto it = std::find_if(chains.begin(), chains.end(), [&](const Seen& s) { return s.chain == r.chain; });
    if (it == chains.end()) it = chains.insert(chains.end(), Seen{r.chain, 0, line, line});
    ++it->lines;
    it->last_line = line;
  }
};

// UTF-8 text in any pieces, repaired a line at a time: a line is what lies
// between line feeds or carriage returns, which are passed on as they are.
class LineRepairer {
 public:
  // The repaired text so far, appended to `out`.
  void add(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& out) {
    for (std::size_t i = 0; i < text.size();) {
      const auto brk = std::find_if(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                                     [](std::uint8_t b) { return b == '\n' || b == '\r'; });
      const auto at = static_cast<std::size_t>(brk - text.begin());
      take(text.subspan(i, at - i), out);
      if (at == text.size()) break;
      end_line(out);
      out.push_back(text[at]);
      line_ += text[at] == '\n';
      i = at + 1;
    }
  }

  void finish(std::vector<std::uint8_t>& out) { end_line(out); }

  const RepairTally& tally() const { return tally_; }

 private:
  void take(std::span<const std::uint8_t> part, std::vector<std::uint8_t>& out) {
    if (overlong_) {
      out.insert(out.end(), part.begin(), part.end());
      return;
    }
    pending_.insert(pending_.end(), part.begin(), part.end());
    if (pending_.size() > kLongestRepairedLine) {
      overlong_ = true;
      out.insert(out.end(), pending_.begin(), pending_.end());
      pending_.clear();
    }
  }

  void end_line(std::vector<std::uint8_t>& out) {
    if (!overlong_) repair_pending(out);
    overlong_ = false;
    pending_.clear();
  }

  void repair_pending(std::vector<std::uint8_t>& out) {
    const bool ascii = std::all_of(pending_.begin(), pending_.end(), [](std::uint8_t b) { return b < 0x80; });
    if (!ascii) {
      characters_.clear();
      Utf8Decoder d;
      for (const std::uint8_t b : pending_) d.put(b, [&](Character c) { characters_.push_back(c); });
      d.finish([&](Character c) { characters_.push_back(c); });
      const LineRepair r = repaired_line();
      tally_.count(r, line_);
      if (r.verdict == RepairVerdict::repaired) {
        for (const Character c : r.text) encode_utf8(c, [&](std::uint8_t b) { out.push_back(b); });
        return;
      }
    }
    out.insert(out.end(), pending_.begin(), pending_.end());
  }

  // The line repaired: through the chain the last lines were all found
  // damaged by, where it holds surely, else by the full search.
  LineRepair repaired_line() {
    if (streak_ >= kSettledStreak) {
      if (auto r = repair_through(characters_, settled_)) {
        LineRepair line;
        line.verdict = RepairVerdict::repaired;
        line.chain = r->chain;
        line.text = std::move(r->text);
        line.recovered = r->recovered;
        line.unrecovered = r->unrecovered;
        return line;
      }
    }
    LineRepair r = repair_line(characters_);
    if (r.verdict == RepairVerdict::repaired) {
      streak_ = r.chain == settled_ ? streak_ + 1 : 1;
      settled_ = r.chain;
    }
    return r;
  }

  std::vector<std::uint8_t> pending_;
  std::vector<Character> characters_;
  bool overlong_ = false;
  std::uint64_t line_ = 1;
  WrongChain settled_;    // the chain the last lines the search repaired were found damaged by
  std::size_t streak_ = 0;  // how many in a row
  RepairTally tally_;
};

// The settings of the first half: the text as it is read, into UTF-8, line
// ends as they are.
ConversionSettings reading_settings(const ConversionSettings& user) {
  ConversionSettings s;
  s.source = user.source;
  s.target = kUtf8;
  s.line_style = LineStyle::keep;
  s.special_symbols = user.special_symbols;
  // Quotes are turned here, where the source is still known, into what the
  // target would get; the second half, reading UTF-8, passes them on.
  s.smart_quotes = user.smart_quotes;
  s.source_text = user.source_text;
  s.final_target = user.target;
  return s;
}

// The second half: the repaired UTF-8 into the target, as the user asked.
ConversionSettings writing_settings(const ConversionSettings& user) {
  ConversionSettings s = user;
  s.source = kUtf8;
  s.continues_text = false;
  return s;
}

// An output that takes the first half's UTF-8, repairs it line by line and
// writes it into the target through the second half.
class RepairingOutput final : public OutputFile {
 public:
  RepairingOutput(OutputFile& out, const ConversionSettings& writing, ConversionPath path)
      : out_(out), writer_(writing, path) {}

  bool write(const std::uint8_t* data, std::size_t size) override {
    repaired_.clear();
    repairer_.add({data, size}, repaired_);
    return pass_on();
  }
  // The last line, and what the target still owes.
  bool finish() {
    repaired_.clear();
    repairer_.finish(repaired_);
    if (!pass_on()) return false;
    const auto rest = writer_.finish();
    return out_.write(rest.data(), rest.size());
  }
  const RepairTally& tally() const { return repairer_.tally(); }

  const platform::MaybeFailure& failure() const override { return out_.failure(); }
  bool flush() override { return out_.flush(); }
  bool set_last_write_time(platform::DosDateTime time) override { return out_.set_last_write_time(time); }
  std::vector<platform::NotCarried> carry_over(const platform::Attributes& from) override { return out_.carry_over(from); }
  bool close() override { return out_.close(); }

 private:
  bool pass_on() {
    if (repaired_.empty()) return true;
    const auto converted = writer_.convert(repaired_);
    return out_.write(converted.data(), converted.size());
  }

  OutputFile& out_;
  StreamConverter writer_;
  LineRepairer repairer_;
  std::vector<std::uint8_t> repaired_;
};

void report_tally(const Reporter& r, const std::string& shown, const RepairTally& t) {
  for (const RepairTally::Seen& s : t.chains)
    r.report(Diagnostic::repaired_lines, {shown, std::to_string(s.lines), describe(s.chain)});
  if (t.recovered + t.unrecovered > 0)
    r.report(Diagnostic::repaired_lost_bytes, {shown, std::to_string(t.recovered), std::to_string(t.unrecovered)});
  if (t.left_alone > 0) r.report(Diagnostic::repair_left_alone, {shown, std::to_string(t.left_alone)});
}

}  // namespace

StreamResult convert_stream_repairing(InputFile& in, OutputFile& out, const RunContext& context,
                                      const std::string& in_name, bool in_place) {
  CommandLine reading_line = context.command_line;
  reading_line.repair = false;
  const ConversionSettings reading = reading_settings(context.settings);
  const ConversionSettings writing = writing_settings(context.settings);
  const RunContext reading_context{reading, reading_line, context.files, context.messages, context.reporter,
                                   context.path, context.reader_gone};
  RepairingOutput repairing(out, writing, context.path);
  const StreamResult result = convert_stream(in, repairing, reading_context, in_name, in_place);
  if (result != StreamResult::converted) return result;
  if (!repairing.finish()) return StreamResult::failed;
  report_tally(context.reporter, context.reporter.name(in_name, false), repairing.tally());
  return StreamResult::converted;
}

std::string mojibake_note(InputFile& in, EncodingId source) {
  ConversionSettings reading;
  reading.source = source;
  reading = reading_settings(reading);
  StreamConverter reader(reading);
  LineRepairer repairer;
  std::vector<std::uint8_t> block(kInputBlock), discarded;
  // Only the start: -detect answers in a moment whatever the file's size.
  for (std::uint64_t read = 0; read < kMojibakeScanLimit;) {
    const std::size_t n = in.read(block.data(), block.size());
    if (n == 0) break;
    read += n;
    discarded.clear();
    repairer.add(reader.convert({block.data(), n}), discarded);
  }
  discarded.clear();
  repairer.add(reader.finish(), discarded);
  repairer.finish(discarded);
  std::string note;
  for (const RepairTally::Seen& s : repairer.tally().chains) {
    note += note.empty() ? ", mojibake: " : ", ";
    note += describe(s.chain);
    note += s.first_line == s.last_line ? " (line " + std::to_string(s.first_line) + ")"
                                        : " (lines " + std::to_string(s.first_line) + "\u2013" + std::to_string(s.last_line) + ")";
  }
  return note;
}

}  // namespace recodia
