#include "platform/dos_time.hpp"

namespace recodia::platform {

std::optional<DosDateTime> pack_dos_date_time(const LocalTime& t) {
  if (t.year < 1980 || t.year > 2107) return std::nullopt;
  DosDateTime d;
  d.date = static_cast<std::uint16_t>(((t.year - 1980) << 9) | (t.month << 5) | t.day);
  // A leap second (60) is held as 58, the last even second of the minute.
  const int second = t.second > 59 ? 59 : t.second;
  d.time = static_cast<std::uint16_t>((t.hour << 11) | (t.minute << 5) | (second / 2));
  return d;
}

LocalTime unpack_dos_date_time(DosDateTime d) {
  LocalTime t;
  t.year = 1980 + (d.date >> 9);
  t.month = (d.date >> 5) & 0x0F;
  t.day = d.date & 0x1F;
  t.hour = d.time >> 11;
  t.minute = (d.time >> 5) & 0x3F;
  t.second = (d.time & 0x1F) * 2;
  return t;
}

}  // namespace recodia::platform
