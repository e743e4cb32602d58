#include "mainwindow/utc_time.h"

#include <cinttypes>
#include <cstdio>

namespace {

struct CivilDate {
  std::int64_t year;
  unsigned month;  // 1..12
  unsigned day;    // 1..31
};

// Days since 1970-01-01 to a Gregorian date (H. Hinnant's civil_from_days).
CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;  // shift the epoch to 0000-03-01
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;  // [0, 146096]
  const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;  // [0, 399]
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;  // [0, 11]
  const unsigned day = static_cast<unsigned>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
  const unsigned month = static_cast<unsigned>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

}  // namespace

std::string FormatUtcTimestamp(std::int64_t unixSeconds) {
  constexpr std::int64_t kSecondsPerDay = 86400;
  std::int64_t days = unixSeconds / kSecondsPerDay;
  std::int64_t secondOfDay = unixSeconds % kSecondsPerDay;
  if (secondOfDay < 0) {  // floor, so moments before 1970 fall on the right day
    secondOfDay += kSecondsPerDay;
    --days;
  }
  const CivilDate date = CivilFromDays(days);
  const auto hour = static_cast<unsigned>(secondOfDay / 3600);
  const auto minute = static_cast<unsigned>(secondOfDay % 3600 / 60);
  const auto second = static_cast<unsigned>(secondOfDay % 60);

  char text[64];
  const int length = std::snprintf(text, sizeof text, "%04" PRId64 "-%02u-%02u %02u:%02u:%02u", date.year, date.month,
                                   date.day, hour, minute, second);
  if (length < 0) return std::string();
  return std::string(text, static_cast<std::size_t>(length) < sizeof text ? length : sizeof text - 1);
}
