// File times as DOS keeps them: a local date and time with two-second
// resolution, years 1980..2107. Packing is the same on every platform.
#pragma once

#include <cstdint>
#include <optional>

namespace recodia::platform {

struct DosDateTime {
  // Bits 15..9 year - 1980, 8..5 month, 4..0 day.
  std::uint16_t date = 0;
  // Bits 15..11 hour, 10..5 minute, 4..0 seconds / 2.
  std::uint16_t time = 0;

  bool is_zero() const { return date == 0 && time == 0; }
  friend bool operator==(const DosDateTime&, const DosDateTime&) = default;
};

// A broken-down local time, as the C library's struct tm counts it.
struct LocalTime {
  int year = 1980;  // full year
  int month = 1;    // 1..12
  int day = 1;      // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Seconds are rounded down to an even number; nothing outside 1980..2107 fits.
std::optional<DosDateTime> pack_dos_date_time(const LocalTime& t);
LocalTime unpack_dos_date_time(DosDateTime d);

}  // namespace recodia::platform
