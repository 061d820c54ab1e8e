// Byte counts and moments as text.
#include "snapshot/value_format.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

namespace korvane {
namespace {

// Days since 1 January 1970 of a date of the proleptic Gregorian calendar, and back (H. Hinnant's
// algorithms, exact for every year the automation dates cover).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

CalendarTime CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  CalendarTime time;
  time.day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
  time.month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
  time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2));
  return time;
}

const int64_t kAutomationEpoch = DaysFromCivil(1899, 12, 30);
constexpr int kSecondsPerDay = 86400;
// 1 January 100 and the day after 31 December 9999, the range of automation dates.
constexpr double kEarliestDate = -657434.0;
constexpr double kDayAfterLatestDate = 2958466.0;

// The pictures of one style: date, time, month-day, hour-minute, minute-second.
struct PictureStyle {
  std::string_view date, time, monthDay, hourMinute, minuteSecond;
};
constexpr std::array<PictureStyle, 4> kStyles{{
    {"yyyy年MM月dd日 ", "hh时mm分ss秒", "MM月dd日", "hh时mm分", "mm分ss秒"},
    {"yyyy-MM-dd ", "hh:mm:ss", "MM-dd", "hh:mm", "mm:ss"},
    {"yyyy/MM/dd ", "hh/mm/ss", "MM/dd", "hh/mm", "mm/ss"},
    {"yyyyMMdd", "hhmmss", "MMdd", "hhmm", "mmss"},
}};

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

// Fills a date or time picture: runs of the picture's letters become fields ("yyyy" four digits, a
// doubled letter two digits with a leading zero, a single letter no padding); everything else,
// double-byte characters whole, is copied.
Bytes FormatPicture(std::string_view picture, const CalendarTime& time, std::string_view letters) {
  Bytes text;
  for (size_t i = 0; i < picture.size();) {
    const char letter = picture[i];
    if (IsGbkLeadByte(static_cast<unsigned char>(letter)) && i + 1 < picture.size()) {
      text.append(picture.substr(i, 2));
      i += 2;
      continue;
    }
    if (letters.find(letter) == std::string_view::npos) {
      text.push_back(letter);
      ++i;
      continue;
    }
    size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == letter) ++run;
    i += run;
    const int width = run >= 2 ? 2 : 1;
    switch (letter) {
      case 'y': text += run >= 3 ? Digits(time.year, 4) : Digits(time.year % 100, width); break;
      case 'M': text += Digits(time.month, width); break;
      case 'd': text += Digits(time.day, width); break;
      case 'h': text += Digits(time.hour % 12 == 0 ? 12 : time.hour % 12, width); break;
      case 'H': text += Digits(time.hour, width); break;
      case 'm': text += Digits(time.minute, width); break;
      case 's': text += Digits(time.second, width); break;
    }
  }
  return text;
}

std::string_view TrimSpaces(std::string_view text) {
  while (text.starts_with(' ')) text.remove_prefix(1);
  while (text.ends_with(' ')) text.remove_suffix(1);
  return text;
}

}  // namespace

Bytes SizeText(int64_t bytes) {
  if (bytes > -1024 && bytes < 1024) return std::to_string(bytes) + "B";
  struct Unit {
    const char* name;
    double divisor;
  };
  constexpr std::array<Unit, 3> kSmallerUnits{{{"KB", 1024.0}, {"MB", 1048576.0}, {"GB", 1073741824.0}}};
  constexpr double kTolerance = 1e-7;
  Unit unit{"TB", 1099511627776.0};
  for (const Unit& candidate : kSmallerUnits) {
    const double quotient = static_cast<double>(bytes) / candidate.divisor;
    if (quotient < 1000 - kTolerance && quotient > -1000 + kTolerance) {
      unit = candidate;
      break;
    }
  }
  return TwoDecimalText(static_cast<double>(bytes) / unit.divisor) + unit.name;
}

Bytes TwoDecimalText(double value) {
  const double hundredths = std::fabs(value) * 100 + 1e-12;
  double rounded = std::floor(hundredths);
  if (hundredths - rounded >= 0.5) rounded += 1;
  // Up to 13 significant digits with no trailing zeros: for the hundredths of every 64-bit byte count in
  // its unit this is the integer part, then "." and one or two decimals unless they are zeros.
  const auto whole = static_cast<uint64_t>(rounded);
  Bytes text = std::signbit(value) ? "-" : "";
  text += std::to_string(whole / 100);
  if (const uint64_t decimals = whole % 100; decimals != 0) {
    text += '.';
    text += static_cast<char>('0' + decimals / 10);
    if (decimals % 10 != 0) text += static_cast<char>('0' + decimals % 10);
  }
  return text;
}

double AutomationDate(const CalendarTime& time) {
  const auto days = static_cast<double>(DaysFromCivil(time.year, time.month, time.day) - kAutomationEpoch);
  const double fraction = (time.hour * 3600 + time.minute * 60 + time.second) / double{kSecondsPerDay};
  return days < 0 ? days - fraction : days + fraction;
}

std::optional<CalendarTime> CalendarFromAutomationDate(double date) {
  if (!std::isfinite(date) || date < kEarliestDate || date >= kDayAfterLatestDate) return std::nullopt;
  const double wholeDays = std::trunc(date);
  auto days = static_cast<int64_t>(wholeDays);
  auto seconds = static_cast<int>(std::lround(std::fabs(date - wholeDays) * kSecondsPerDay));
  if (seconds == kSecondsPerDay) {
    ++days;
    seconds = 0;
  }
  CalendarTime time = CivilFromDays(days + kAutomationEpoch);
  if (time.year > 9999) return std::nullopt;
  time.hour = seconds / 3600;
  time.minute = seconds / 60 % 60;
  time.second = seconds % 60;
  return time;
}

Bytes DateTimeText(double date, bool twentyFourHourClock, int style, int content) {
  const PictureStyle& pictures = kStyles[style >= 0 && style <= 3 ? style : 0];
  std::string_view datePicture = pictures.date;
  std::string timePicture(pictures.time);
  switch (content) {
    case 1: datePicture = TrimSpaces(datePicture), timePicture.clear(); break;
    case 2: datePicture = pictures.monthDay, timePicture.clear(); break;
    case 3: datePicture = {}; break;
    case 4: datePicture = {}, timePicture = pictures.hourMinute; break;
    case 5: datePicture = {}, timePicture = pictures.minuteSecond; break;
    default: break;
  }
  if (twentyFourHourClock) {
    for (size_t at = timePicture.find("hh"); at != std::string::npos; at = timePicture.find("hh", at + 2)) {
      timePicture.replace(at, 2, "HH");
    }
  }
  const auto time = CalendarFromAutomationDate(date);
  if (!time) return {};
  Bytes text;
  if (datePicture.size() >= 3) text += FormatPicture(datePicture, *time, "yMd");
  if (timePicture.size() >= 3) text += FormatPicture(timePicture, *time, "hHms");
  return text;
}

}  // namespace korvane
