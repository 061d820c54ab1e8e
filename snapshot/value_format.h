// Byte counts as short texts with a unit, and moments as texts through fixed date and time pictures.
#pragma once

#include <cstdint>
#include <optional>

#include "snapshot/gbk_text.h"

namespace korvane {

// The number with two decimals at most, then "B", "KB", "MB", "GB" or "TB": the unit changes at 1000 of
// the smaller one (1024 gives 1KB, 1,024,000 gives 0.98MB).
Bytes SizeText(int64_t bytes);

// A number rounded to two decimals, halves away from zero, in its shortest form with up to 13
// significant digits: 1.5, 2, 22.47.
Bytes TwoDecimalText(double value);

// Calendar fields of a moment, in local time.
struct CalendarTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// A moment as an automation date: days since 30 December 1899, the fraction the time of day. Before
// that day the fraction still counts forward from midnight (-1.25 is 29 December 1899, 06:00).
double AutomationDate(const CalendarTime& time);

// The calendar fields of an automation date, rounded to the second; nothing outside the years 100 to
// 9999.
std::optional<CalendarTime> CalendarFromAutomationDate(double date);

// The moment as text: style 0 "yyyy年MM月dd日 hh时mm分ss秒", 1 "yyyy-MM-dd hh:mm:ss", 2 "yyyy/MM/dd hh/mm/ss",
// 3 "yyyyMMddhhmmss" (other styles as 0); content 0 date and time, 1 the date alone without blanks,
// 2 month and day, 3 the time, 4 hour and minute, 5 minute and second (other contents as 0). Hours
// are on the 24-hour clock when the locale says so, else on the 12-hour clock without a marker. Empty
// when the date has no calendar fields. The caller hands in the clock's moment and the locale's setting.
Bytes DateTimeText(double date, bool twentyFourHourClock, int style = 0, int content = 0);

}  // namespace korvane
