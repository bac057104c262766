#pragma once
// The DOS date and time stamp of an archive entry (local time, two-second steps).

#include <cstdint>
#include <optional>

struct CalendarTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;    // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Date: year - 1980 in bits 9-15, month in bits 5-8, day in bits 0-4. Time: hour in bits 11-15,
// minute in bits 5-10, second / 2 in bits 0-4. Nothing when the stamp is no point in the calendar
// (month or day 0, day 30 of February, hour 24 and the like).
std::optional<CalendarTime> DecodeDosDateTime(uint16_t date, uint16_t time);
