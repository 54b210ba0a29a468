// Texts whose lines end in CR alone (classic Mac OS): there CR is a line end
// and is read as LF, so that the line style writes it as the target's line
// end; elsewhere a CR that is no part of a line end is dropped as always.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "convert/characters.hpp"
#include "convert/settings.hpp"

namespace recodia {

// Decides from the start of the text, at its first line end, in constant
// memory and on a pipe: the text ends its lines in CR alone when, before any
// LF, a CR (or a run of them) is followed by anything but an LF, or by the end
// of the text. Then every CR is a line end, an LF right after a CR belongs to
// it, and any other LF is one too. Otherwise ("\r\n", "\n", "\r\r\n") the
// characters pass unchanged.
class LineEnds {
 public:
  // A run of CRs longer than this before any LF is no CR LF line end: the
  // text ends its lines in CR (which bounds what is held).
  static constexpr std::uint32_t kLongestRun = 1024;

  // With "-noaltlf" every character stays as it is.
  explicit LineEnds(LineStyle style) : state_(style == LineStyle::keep ? State::lf_text : State::undecided) {}

  // Whether every character from here on passes unchanged.
  bool passes_through() const { return state_ == State::lf_text; }

  // Hands on the character, or what it stands for, to `emit`; CRs whose
  // meaning is still open are held.
  template <class Emit>
  void put(Character c, Emit&& emit) {
    switch (state_) {
      case State::lf_text: emit(c); return;
      case State::cr_text:
        if (std::exchange(after_cr_, c == '\r') && c == '\n') return;
        emit(c == '\r' ? Character{'\n'} : c);
        return;
      case State::undecided:
        if (c == '\r') {
          if (++held_ < kLongestRun) return;
          state_ = State::cr_text;
          release(emit);
          return;
        }
        if (held_ == 0) {
          if (c == '\n') state_ = State::lf_text;
          emit(c);
          return;
        }
        // A run of CRs ends here: before an LF they are stray CRs of an LF
        // or CR LF text (dropped by the line style as always); before
        // anything else, line ends.
        state_ = c == '\n' ? State::lf_text : State::cr_text;
        release(emit);
        put(c, emit);
        return;
    }
  }

  // The end of the text: CRs held there end lines.
  template <class Emit>
  void finish(Emit&& emit) {
    if (state_ != State::undecided || held_ == 0) return;
    state_ = State::cr_text;
    release(emit);
  }

 private:
  enum class State : std::uint8_t { undecided, lf_text, cr_text };

  template <class Emit>
  void release(Emit& emit) {
    const Character as = state_ == State::cr_text ? '\n' : '\r';
    for (; held_ > 0; --held_) emit(as);
    after_cr_ = state_ == State::cr_text;
  }

  State state_;
  std::uint32_t held_ = 0;  // CRs whose meaning is open
  bool after_cr_ = false;   // in a CR text: the character before was a CR
};

// The same for a text whose every character is one byte (the single-byte
// sources, UTF-8, whose CR and LF are single bytes, and copied bytes).
class LineEndFilter {
 public:
  explicit LineEndFilter(LineStyle style) : ends_(style) {}

  // The block as the converter is to read it; valid until the next call.
  std::span<const std::uint8_t> filter(std::span<const std::uint8_t> block);
  // What the end of the text releases.
  std::span<const std::uint8_t> finish();

 private:
  LineEnds ends_;
  std::vector<std::uint8_t> out_;
};

}  // namespace recodia
