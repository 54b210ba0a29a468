// The survey of a whole text, in one pass: whether it is binary anywhere, how
// many stray bytes its UTF-8 holds, and where parts in different encodings
// begin. Each block of lines with enough bytes above ASCII is weighed by a
// lookup per byte against the encoding of the part it follows; only a block
// that reads plainly worse is examined by the full detector, and a part that
// it confirms starts at the line where the evidence turns.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "convert/detect.hpp"
#include "convert/detect_common.hpp"
#include "convert/registry.hpp"
#include "convert/utf16_detect.hpp"
#include "convert/utf8.hpp"

namespace recodia {
namespace {

using detection::Cost;

// A block closes at the first line end after this many bytes above ASCII
// (or, on one long line, at kMaxBlock bytes).
constexpr std::uint64_t kBlockHigh = 1024;
constexpr std::size_t kMaxBlock = 64 * 1024;
// A block whose bytes above ASCII cost this much more each, on average, than
// the part's so far is examined by the full detector.
constexpr Cost kSuspicion = 12;  // eighths of a bit
// UTF-8 with a few stray bytes: at least this many well-formed characters
// above ASCII for each ill-formed part.
constexpr std::uint64_t kWellFormedPerStray = 4;

enum class Reading : std::uint8_t { none, utf8, single_byte };

struct Block {
  std::vector<std::uint8_t> bytes;
  std::uint64_t offset = 0, first_line = 1;
  // How often each byte occurs where the block is not UTF-8 (above ASCII,
  // those of ill-formed parts only while it may be).
  std::array<std::uint32_t, 256> counts{};
  std::uint64_t utf8_high = 0;  // bytes above ASCII of well-formed UTF-8 characters
  std::uint64_t well_formed = 0, stray_parts = 0, stray_bytes = 0;  // as UTF-8
  bool utf8_open = true;  // it may still be UTF-8
  std::size_t next_count = kBlockHigh;  // the size at which its bytes above ASCII are counted next

  // Once it is complete: the bytes above ASCII that `counts` holds, and how it reads.
  std::uint64_t weighed_count = 0;
  Reading read_as = Reading::none;
  Cost cost_in_part = -1;  // the cost of `counts` through the part it joins, once weighed

  void count_high(std::uint8_t x) {
    if (x >= 0x80) ++counts[x];
  }
  // The bytes above ASCII that `counts` holds (a block holds at most 128 KiB), and all of them.
  std::uint64_t weighed() const {
    std::uint32_t n = 0;
    for (std::size_t i = 0x80; i < 0x100; ++i) n += counts[i];
    return n;
  }
  std::uint64_t high_count() const { return utf8_high + weighed(); }

  void settle() {
    weighed_count = weighed();
    if (utf8_high + weighed_count == 0) read_as = Reading::none;
    else read_as = well_formed > 0 && well_formed >= kWellFormedPerStray * stray_parts ? Reading::utf8 : Reading::single_byte;
  }
  Reading reading() const { return read_as; }
  // Whether its first line holds a byte above ASCII: then the sample taken
  // from it starts where the block does.
  bool counts_first_line_high() const {
    for (const std::uint8_t x : bytes) {
      if (x >= 0x80) return true;
      if (x == '\n') return false;
    }
    return false;
  }
};

// Each byte above ASCII's cost through a source in a language, in eighths of a bit.
using ByteCosts = std::array<std::int32_t, 128>;

struct Part {
  std::uint64_t offset = 0, first_line = 1;
  Reading reading = Reading::none;
  EncodingId encoding = kDos866;
  int language = 0;
  ByteCosts byte_costs{};  // of each byte above ASCII, through `encoding` in `language`
  std::vector<ByteCosts> other_costs;  // the same through every other source, once needed
  Cost cost = 0;                 // of its bytes above ASCII, through `encoding`
  std::uint64_t high_count = 0;  // weighed so far
  std::uint64_t stray_bytes = 0;
  std::vector<std::uint8_t> sample;  // its start, from its first line above ASCII
  // The detector's answer on its first block, and the sample's size then: at
  // the end, a sample that has not grown since is not judged again.
  std::optional<Detection> first_answer;
  std::size_t first_answer_size = 0;
};

ByteCosts byte_costs(EncodingId id, int language) {
  ByteCosts out{};
  for (std::size_t i = 0; i < 128; ++i) out[i] = static_cast<std::int32_t>(detection::byte_cost(id, language, static_cast<std::uint8_t>(0x80 + i)));
  return out;
}

// In 32 bits, which the compiler multiplies and adds side by side: a block
// holds at most 128 KiB (two pieces of kMaxBlock), at most 510 eighths each.
Cost block_cost(const Block& b, const ByteCosts& costs) {
  std::int32_t c = 0;
  for (std::size_t i = 0; i < 128; ++i) c += static_cast<std::int32_t>(b.counts[0x80 + i]) * costs[i];
  return c;
}

int best_language(const Block& b, EncodingId id) {
  int best = 0;
  Cost lowest = std::numeric_limits<Cost>::max();
  for (int l = 0; l < detection::language_count(); ++l)
    if (const Cost c = block_cost(b, byte_costs(id, l)); c < lowest) lowest = c, best = l;
  return best;
}

// Whether another source reads a block's bytes, one by one in the part's
// language, cheaper than the part's encoding does: a block that costs more
// only for what it says (capitals, signs, names) reads dearer through every
// source, and is not examined further.
bool cheaper_elsewhere(Part& part, const Block& b, Cost cost) {
  if (part.other_costs.empty())
    for (const Encoding& e : kEncodings)
      if (is_single_byte_source(e) && e.id != part.encoding) part.other_costs.push_back(byte_costs(e.id, part.language));
  for (const ByteCosts& costs : part.other_costs)
    if (block_cost(b, costs) < cost) return true;
  return false;
}

// A part reads through its encoding in its language, a lookup per byte value.
void set_reading(Part& part, const Block& b, EncodingId id) {
  part.encoding = id;
  part.language = best_language(b, id);
  part.byte_costs = byte_costs(id, part.language);
  part.other_costs.clear();
}

// The cost of one line through a reading: its bytes above ASCII, or, as
// UTF-8, eight bits for each stray byte less one for each character.
Cost line_cost(std::span<const std::uint8_t> line, Reading reading, EncodingId id, int language) {
  Cost c = 0;
  if (reading == Reading::utf8) {
    Utf8Decoder d;
    for (const std::uint8_t b : line)
      d.put(b, [&](Character ch) { c -= ch >= 0x80 ? 8 : 0; }, [&](std::span<const std::uint8_t> s) { c += 64 * static_cast<Cost>(s.size()); });
    return c;
  }
  for (const std::uint8_t b : line)
    if (b >= 0x80) c += detection::byte_cost(id, language, b);
  return c;
}

}  // namespace

class TextSurvey::State {
 public:
  // UTF-16 and UTF-32 are told by the text's start, before any zero byte in
  // it could make it binary: the start is held until there is enough of it.
  void add(std::span<const std::uint8_t> data) {
    if (form_decided_) {
      if (wide_) bytes_ += data.size();
      else add_text(data);
      return;
    }
    if (pending_.empty() && data.size() >= kFormSample) {
      decide_form(data);
      return;
    }
    pending_.insert(pending_.end(), data.begin(), data.end());
    if (pending_.size() >= kFormSample) decide_form_of_pending();
  }

  bool found_binary() const { return binary_.sign != BinarySign::none; }

  Survey finish() {
    if (!form_decided_) decide_form_of_pending();
    if (wide_) {
      Survey s;
      s.bytes = bytes_;
      s.detection = *wide_;
      return s;
    }
    return finish_text();
  }

 private:
  static constexpr std::size_t kFormSample = 4096;

  void decide_form(std::span<const std::uint8_t> start) {
    form_decided_ = true;
    wide_ = detect_utf16_or_32(start.first(std::min(start.size(), kDetectionSampleSize)));
    if (wide_) bytes_ += start.size();
    else add_text(start);
  }

  void decide_form_of_pending() {
    std::vector<std::uint8_t> start;
    start.swap(pending_);
    decide_form(start);
  }

  void add_text(std::span<const std::uint8_t> data) {
    // In pieces of at most a block's size: a block then holds at most two.
    for (; data.size() > kMaxBlock; data = data.subspan(kMaxBlock)) add_text(data.first(kMaxBlock));
    bytes_ += data.size();
    if (data.empty() || binary_.sign != BinarySign::none) return;
    last_byte_ = data.back();
    take_head(data);
    const std::uint8_t* p = data.data();
    const std::uint8_t* const end = p + data.size();
    const std::uint8_t* kept = p;  // what is not yet in the block's bytes
    while (p < end) {
      if (!block_.utf8_open) {
        // No UTF-8 here: a histogram increment per byte that is not printable ASCII, line by line.
        p = detection::count_to_line_end(p, end, block_.counts);
        if (block_.counts[0] != 0) {
          binary_ = {BinarySign::nul_byte, {}};
          return;
        }
      } else {
        p = read_utf8(p, end);
      }
      if (p == end) break;
      const std::uint8_t b = *p++;
      if (!control(b, p, kept)) return;
    }
    keep(kept, end);
    if (block_.bytes.size() >= kMaxBlock) close_block();
  }

  Survey finish_text() {
    Survey s;
    s.bytes = bytes_;
    s.lines = lines_ + (bytes_ > 0 && last_byte_ != '\n' ? 1 : 0);
    // A signature says best what it is.
    if (const BinaryVerdict head = binary_verdict(head_); head.sign == BinarySign::signature || binary_.sign == BinarySign::none)
      binary_ = head.sign == BinarySign::none ? binary_ : head;
    if (binary_.sign == BinarySign::none && controls_ >= 8 && controls_ * 8 >= bytes_) binary_ = {BinarySign::control_bytes, {}};
    if (binary_.sign != BinarySign::none) {
      s.detection.kind = TextKind::binary;
      s.detection.binary = binary_.sign;
      s.detection.signature = binary_.what;
      return s;
    }
    if (!block_.bytes.empty()) close_block();
    std::uint64_t strays = 0;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
      const Part& p = parts_[i];
      strays += p.stray_bytes;
      const Detection d =
          p.first_answer && p.first_answer_size == p.sample.size() ? *p.first_answer : detect_encoding(p.sample);
      TextPart t{d, p.offset, p.first_line, i + 1 < parts_.size() ? parts_[i + 1].first_line - 1 : s.lines};
      if (p.reading == Reading::utf8 && t.detection.kind != TextKind::utf8) {
        // A part that reads as UTF-8 but for a few stray bytes beyond its sample.
        t.detection = Detection{};
        t.detection.kind = TextKind::utf8;
        t.detection.encoding = kUtf8;
        t.detection.margin_bits = kSureMarginBits;  // its blocks read as UTF-8 with many characters
      }
      if (p.reading == Reading::utf8) t.detection.stray_bytes = p.stray_bytes;
      if (!s.parts.empty() && same_answer(s.parts.back().detection, t.detection)) {
        s.parts.back().last_line = t.last_line;
        s.parts.back().detection.stray_bytes += t.detection.stray_bytes;
        continue;
      }
      s.parts.push_back(t);
    }
    if (s.parts.empty()) return s;  // plain ASCII
    s.detection = s.parts.front().detection;
    if (s.parts.size() > 1 || too_many_parts_) {
      s.detection.kind = TextKind::mixed;
      return s;
    }
    if (s.detection.kind == TextKind::utf8) {
      s.detection.stray_bytes = strays;
      if (strays > 0) s.detection.stray_encoding = detect_encoding(stray_sample_).stray_encoding;
    }
    s.parts.clear();
    return s;
  }

  static bool same_answer(const Detection& a, const Detection& b) {
    if (a.kind != b.kind) return false;
    return a.kind != TextKind::single_byte || a.encoding == b.encoding;
  }

  // While the block may be UTF-8: printable ASCII eight bytes at a time,
  // two-byte characters inline, the rest through the decoder; the bytes of
  // ill-formed parts go to the histogram. Stops at a control byte.
  const std::uint8_t* read_utf8(const std::uint8_t* p, const std::uint8_t* end) {
    auto count_character = [this](Character c) {
      if (c < 0x80) return;
      ++block_.well_formed;
      block_.utf8_high += c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    };
    auto count_stray = [this](std::span<const std::uint8_t> bytes) {
      ++block_.stray_parts;
      block_.stray_bytes += bytes.size();
      for (const std::uint8_t x : bytes) block_.count_high(x);
    };
    while (p < end && block_.utf8_open) {
      if (!utf8_.in_sequence()) {
        if (end - p >= 8) {
          std::uint64_t w;
          std::memcpy(&w, p, 8);
          // The first byte that is not printable ASCII, or none: skip to it.
          const std::uint64_t flagged = (w | (w - 0x2020202020202020u)) & 0x8080808080808080u;
          const auto printable = static_cast<std::size_t>(flagged == 0 ? 8 : std::countr_zero(flagged) / 8);
          if (printable > 0) {
            p += printable;
            continue;
          }
        }
        // A run of two-byte characters (Cyrillic, accented Latin) inline.
        const std::uint8_t* const run = p;
        if (*p >= 0xC2 && *p <= 0xDF) p = detection::two_byte_run_end(p, end);
        if (p != run) {
          const auto characters = static_cast<std::uint64_t>(p - run) / 2;
          block_.well_formed += characters;
          block_.utf8_high += 2 * characters;
          continue;
        }
      }
      const std::uint8_t b = *p;
      if (b < 0x20 || b == 0x7F) return p;
      ++p;
      utf8_.put(b, count_character, count_stray);
      // Plainly no UTF-8: the rest of the block is not decoded.
      if (block_.stray_parts >= 16 && block_.stray_parts > block_.well_formed) block_.utf8_open = false;
    }
    return p;
  }

  // A control byte: a line end may close the block; NUL makes the text binary
  // (false). `p` is past it.
  bool control(std::uint8_t b, const std::uint8_t* p, const std::uint8_t*& kept) {
    if (block_.utf8_open) utf8_.put(b, [](Character) {}, [this](std::span<const std::uint8_t> bytes) {
      ++block_.stray_parts;
      block_.stray_bytes += bytes.size();
      for (const std::uint8_t x : bytes) block_.count_high(x);
    });
    if (b == '\n') {
      ++lines_;
      // The count above ASCII takes a sum: it is counted again only when
      // enough bytes have come since to reach the block's size.
      const std::size_t size = block_.bytes.size() + static_cast<std::size_t>(p - kept);
      if (size >= block_.next_count) {
        const std::uint64_t high = block_.high_count();
        block_.next_count = size + static_cast<std::size_t>(kBlockHigh - std::min(high, kBlockHigh));
        if (high >= kBlockHigh) {
          keep(kept, p);
          kept = p;
          close_block();
        }
      }
    } else if (detection::is_binary_control(b) || b == 0x7F) {
      ++controls_;
      if (b == 0) {
        binary_ = {BinarySign::nul_byte, {}};
        return false;
      }
    }
    return true;
  }

  void take_head(std::span<const std::uint8_t> data) {
    if (head_.size() >= 512) return;
    const std::size_t n = std::min(data.size(), 512 - head_.size());
    head_.insert(head_.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
  }

  void keep(const std::uint8_t* from, const std::uint8_t* to) { block_.bytes.insert(block_.bytes.end(), from, to); }

  // A block is complete: it joins the part it follows, or starts a new one.
  void close_block() {
    // A sequence cut by the block's end (the text's end, or a line too long
    // for one block) is an ill-formed part of it: its bytes are counted.
    if (block_.utf8_open && utf8_.in_sequence()) utf8_.finish_stray([this](std::span<const std::uint8_t> bytes) {
      ++block_.stray_parts;
      block_.stray_bytes += bytes.size();
      for (const std::uint8_t x : bytes) block_.count_high(x);
    });
    Block b = std::move(block_);
    b.settle();
    block_ = Block{};
    for (std::size_t x = 0; x < 0x20; ++x)
      if (detection::is_binary_control(static_cast<std::uint8_t>(x))) controls_ += b.counts[x];
    controls_ += b.counts[0x7F];
    block_.offset = b.offset + b.bytes.size();
    block_.first_line = lines_ + 1;
    utf8_ = Utf8Decoder{};
    if (parts_.empty()) parts_.emplace_back();
    if (b.reading() != Reading::none) {
      Part& part = parts_.back();
      if (part.reading == Reading::none) {
        begin_reading(part, b);
      } else if (const std::optional<Part> next = differing_part(part, b)) {
        start_part(*next, b);
        b.cost_in_part = -1;  // weighed through the part before
      }
    }
    join(parts_.back(), b);
    if (first_answer_) {
      parts_.back().first_answer = first_answer_;
      parts_.back().first_answer_size = parts_.back().sample.size();
      first_answer_.reset();
    }
    // The block before this one is done with: its room takes the next block's bytes.
    std::vector<std::uint8_t> room = std::move(previous_.bytes);
    previous_ = std::move(b);
    room.clear();
    block_.bytes = std::move(room);
  }

  // The first block above ASCII of a part tells how it reads.
  void begin_reading(Part& part, const Block& b) {
    part.reading = b.reading();
    if (part.reading == Reading::single_byte) {
      const Detection d = detect_encoding(b.bytes);
      set_reading(part, b, d.kind == TextKind::single_byte ? d.encoding : kWindows1251);
      // The first block is the sample when it starts at the text's first line above ASCII.
      if (part.sample.empty() && b.bytes.size() <= kDetectionSampleSize && b.counts_first_line_high()) first_answer_ = d;
    }
  }

  // The part that a block starts, when it reads plainly otherwise than the part before it.
  std::optional<Part> differing_part(Part& part, Block& b) {
    Part next;
    next.reading = b.reading();
    if (part.reading == Reading::utf8) {
      if (next.reading == Reading::utf8 || b.stray_parts < 8) return std::nullopt;
      const std::optional<Detection> other = plainly_other_than(b.bytes, kUtf8);
      if (!other) return std::nullopt;
      set_reading(next, b, other->encoding);
    } else if (next.reading == Reading::utf8) {
      if (b.well_formed < 8) return std::nullopt;
      next.encoding = kUtf8;
    } else {
      const Cost cost = b.cost_in_part = block_cost(b, part.byte_costs);
      const bool suspicious = part.high_count == 0 ||
                              cost * static_cast<Cost>(part.high_count) >
                                  (part.cost + kSuspicion * static_cast<Cost>(part.high_count)) * static_cast<Cost>(b.weighed_count);
      if (!suspicious || !cheaper_elsewhere(part, b, cost)) return std::nullopt;
      const std::optional<Detection> other = plainly_other_than(b.bytes, part.encoding);
      if (!other || other->kind != TextKind::single_byte) return std::nullopt;
      set_reading(next, b, other->encoding);
    }
    return next;
  }

  // Starts `next` at the line where the evidence turns from the part before
  // to it, in the block before or in this one.
  void start_part(Part next, Block& b) {
    if (parts_.size() >= kMaxSurveyParts) {
      too_many_parts_ = true;
      return;
    }
    Part& before = parts_.back();
    // The lines of the previous block and this one, with their costs through either reading.
    struct Line {
      std::uint64_t offset, number;
      Cost turn;  // the cost through the new reading less that through the old
    };
    std::vector<Line> lines;
    auto add_lines = [&](const Block& from) {
      std::uint64_t number = from.first_line;
      for (std::size_t at = 0; at < from.bytes.size();) {
        const auto it = std::find(from.bytes.begin() + static_cast<std::ptrdiff_t>(at), from.bytes.end(), '\n');
        const std::size_t end = static_cast<std::size_t>(it - from.bytes.begin()) + (it != from.bytes.end());
        const std::span<const std::uint8_t> line(from.bytes.data() + at, end - at);
        lines.push_back({from.offset + at, number++,
                         line_cost(line, next.reading, next.encoding, next.language) -
                             line_cost(line, before.reading, before.encoding, before.language)});
        at = end;
      }
    };
    const bool previous_in_part = previous_.offset >= before.offset && !previous_.bytes.empty();
    if (previous_in_part) add_lines(previous_);
    add_lines(b);
    // The turn: the last start from which the rest favours the new reading most.
    std::size_t turn = lines.size() - 1;
    Cost best = std::numeric_limits<Cost>::max(), rest = 0;
    for (std::size_t i = lines.size(); i-- > 0;) {
      rest += lines[i].turn;
      if (rest < best) best = rest, turn = i;
    }
    const std::uint64_t at = lines[turn].offset;
    if (at <= before.offset) {  // the whole of the part before: it reads otherwise after all
      before.reading = next.reading;
      before.encoding = next.encoding;
      before.language = next.language;
      before.byte_costs = next.byte_costs;
      before.other_costs.clear();
      return;
    }
    next.offset = at;
    next.first_line = lines[turn].number;
    if (before.sample.size() > at - before.offset) before.sample.resize(at - before.offset);
    if (at > b.offset && before.sample.size() < kDetectionSampleSize && !before.sample.empty()) {
      const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(at - b.offset), kDetectionSampleSize - before.sample.size());
      before.sample.insert(before.sample.end(), b.bytes.begin(), b.bytes.begin() + static_cast<std::ptrdiff_t>(n));
    }
    if (at < b.offset) {
      const std::size_t from = static_cast<std::size_t>(at - previous_.offset);
      next.sample.assign(previous_.bytes.begin() + static_cast<std::ptrdiff_t>(from), previous_.bytes.end());
    }
    parts_.push_back(std::move(next));
  }

  // A block's bytes and counts join the part.
  void join(Part& part, const Block& b) {
    if (part.reading == Reading::utf8) part.stray_bytes += b.stray_bytes;
    if (b.stray_bytes > 0 && b.reading() == Reading::utf8 && stray_sample_.size() < kDetectionSampleSize)
      stray_sample_.insert(stray_sample_.end(), b.bytes.begin(), b.bytes.end());
    if (part.reading == Reading::single_byte && b.reading() == Reading::single_byte) {
      part.cost += b.cost_in_part >= 0 ? b.cost_in_part : block_cost(b, part.byte_costs);
      part.high_count += b.weighed_count;
    }
    if (part.sample.size() >= kDetectionSampleSize) return;
    std::span<const std::uint8_t> bytes = b.bytes;
    if (part.offset > b.offset) bytes = bytes.subspan(static_cast<std::size_t>(part.offset - b.offset));
    if (part.sample.empty()) {
      if (b.reading() == Reading::none) return;
      // From the line of the first byte above ASCII, as a pipe's sample is taken.
      const auto high = std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t x) { return x >= 0x80; });
      if (high == bytes.end()) return;
      const auto line = std::find(std::make_reverse_iterator(high), bytes.rend(), '\n').base();
      bytes = bytes.subspan(static_cast<std::size_t>(line - bytes.begin()));
    }
    const std::size_t n = std::min(bytes.size(), kDetectionSampleSize - part.sample.size());
    part.sample.insert(part.sample.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
  }

  std::uint64_t bytes_ = 0, lines_ = 0, controls_ = 0;
  std::uint8_t last_byte_ = '\n';
  bool too_many_parts_ = false;
  std::vector<std::uint8_t> head_;
  bool form_decided_ = false;
  std::optional<Detection> wide_;      // the text is UTF-16 or UTF-32
  std::vector<std::uint8_t> pending_;  // its start, until the form is decided
  BinaryVerdict binary_;
  Utf8Decoder utf8_;
  Block block_, previous_;
  std::vector<Part> parts_;
  std::vector<std::uint8_t> stray_sample_;
  std::optional<Detection> first_answer_;  // for the part the block closing now joins
};

namespace detection {

namespace {

constexpr bool printable_ascii(std::uint8_t b) { return b >= 0x20 && b < 0x7F; }

const std::uint8_t* count_to_line_end_plain(const std::uint8_t* p, const std::uint8_t* end, std::array<std::uint32_t, 256>& counts) {
  for (; p < end && *p != '\n'; ++p)
    if (!printable_ascii(*p)) ++counts[*p];
  return p;
}

const std::uint8_t* two_byte_run_end_plain(const std::uint8_t* p, const std::uint8_t* end) {
  while (end - p >= 2 && p[0] >= 0xC2 && p[0] <= 0xDF && (p[1] & 0xC0) == 0x80) p += 2;
  return p;
}

#if defined(__SSE2__)
// Eight characters at a time: a lead byte C2..DF at each even place and a
// continuation byte at each odd one.
const std::uint8_t* two_byte_run_end_sse2(const std::uint8_t* p, const std::uint8_t* end) {
  const __m128i top = _mm_set1_epi8(static_cast<char>(0xC0)), continuation = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i first_lead = _mm_set1_epi8(static_cast<char>(0xC2)), leads = _mm_set1_epi8(0xDF - 0xC2);
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i from_lead = _mm_sub_epi8(v, first_lead);
    const auto lead = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(from_lead, leads), from_lead)));
    const auto follows = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, top), continuation)));
    const unsigned pairs = (lead & 0x5555u) | (follows & 0xAAAAu);
    if (pairs != 0xFFFFu) return two_byte_run_end_plain(p + (std::countr_one(pairs) & ~1), end);
    p += 16;
  }
  return two_byte_run_end_plain(p, end);
}

// A line at a time. Where the text ahead is a quarter or more above ASCII
// (Cyrillic), every byte of the line is counted, without a branch; elsewhere
// (Latin, ASCII) compares tell sixteen bytes at a time which are printable
// ASCII, and only the others are looked at, the line end among them.
const std::uint8_t* count_to_line_end_sse2(const std::uint8_t* p, const std::uint8_t* end, std::array<std::uint32_t, 256>& counts) {
  const __m128i zero = _mm_setzero_si128();
  __m128i high = zero;  // by lane, the bytes above ASCII of the next 64
  for (const std::uint8_t* q = p; end - q >= 16 && q < p + 64; q += 16)
    high = _mm_sub_epi8(high, _mm_cmplt_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), zero));
  const __m128i sums = _mm_sad_epu8(high, zero);
  if (_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4) >= 16) {
    const auto* line_end = static_cast<const std::uint8_t*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const std::uint8_t* const stop = line_end ? line_end : end;
    for (; stop - p >= 8; p += 8)
      for (int k = 0; k < 8; ++k) ++counts[p[k]];
    for (; p < stop; ++p) ++counts[*p];
    return stop;
  }
  const __m128i below = _mm_set1_epi8(0x20), del = _mm_set1_epi8(0x7F);
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // As signed bytes, those above ASCII are negative: below 0x20 with the controls.
    const auto other = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi8(v, below), _mm_cmpeq_epi8(v, del))));
    for (unsigned mask = other; mask != 0; mask &= mask - 1) {
      const std::uint8_t* const at = p + std::countr_zero(mask);
      if (*at == '\n') return at;
      ++counts[*at];
    }
  }
  return count_to_line_end_plain(p, end, counts);
}
#endif

}  // namespace

const std::uint8_t* two_byte_run_end(const std::uint8_t* p, const std::uint8_t* end, ScanPath path) {
#if defined(__SSE2__)
  if (path == ScanPath::fast) return two_byte_run_end_sse2(p, end);
#endif
  (void)path;
  return two_byte_run_end_plain(p, end);
}

const std::uint8_t* count_to_line_end(const std::uint8_t* p, const std::uint8_t* end, std::array<std::uint32_t, 256>& counts,
                                      ScanPath path) {
#if defined(__SSE2__)
  if (path == ScanPath::fast) return count_to_line_end_sse2(p, end, counts);
#endif
  (void)path;
  return count_to_line_end_plain(p, end, counts);
}

}  // namespace detection

TextSurvey::TextSurvey() : state_(std::make_unique<State>()) {}
TextSurvey::~TextSurvey() = default;
TextSurvey::TextSurvey(TextSurvey&&) noexcept = default;
TextSurvey& TextSurvey::operator=(TextSurvey&&) noexcept = default;

void TextSurvey::add(std::span<const std::uint8_t> block) { state_->add(block); }

bool TextSurvey::found_binary() const { return state_->found_binary(); }

Survey TextSurvey::finish() { return state_->finish(); }

Survey survey_text(std::span<const std::uint8_t> text) {
  TextSurvey s;
  // In pieces, as a reader hands them over: a block never holds more than one.
  constexpr std::size_t kPiece = 128 * 1024;
  for (std::size_t at = 0; at < text.size(); at += kPiece) s.add(text.subspan(at, std::min(kPiece, text.size() - at)));
  return s.finish();
}

}  // namespace recodia
