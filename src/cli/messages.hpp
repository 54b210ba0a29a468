// The program's nineteen messages in English and Russian: the help (whose
// first message is the version banner), the wait message and the done message.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "cli/options.hpp"
#include "platform/console.hpp"

namespace recodia {

inline constexpr int kMessageCount = 19;
inline constexpr int kBannerMessage = 1;
inline constexpr int kLastHelpMessage = 17;
inline constexpr int kWaitMessage = 18;
inline constexpr int kDoneMessage = 19;

// Message n is at index n - 1. The Russian texts are DOS 866 bytes.
using MessageSet = std::array<std::string_view, kMessageCount>;

const MessageSet& select_messages(Language language);

// DOS 866 text as UTF-8, for a console that shows UTF-8.
std::string dos866_to_utf8(std::string_view text);

// Prints messages of one set, each followed by a line break, on one stream.
class MessagePrinter {
 public:
  MessagePrinter(const MessageSet& messages, platform::Console& console, platform::Stream stream);

  void print(int number) const;

 private:
  const MessageSet& messages_;
  platform::Console& console_;
  platform::Stream stream_;
  bool as_utf8_;
};

// Messages 1 to 17.
void print_help(const MessagePrinter& printer);

}  // namespace recodia
