#include "virtualkey/otp_algorithms.h"

namespace {

constexpr std::uint32_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

// Reads `count` decimal digits at `text`; no result if one is not a digit.
std::optional<int> ReadDigits(const char* text, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::optional<std::string> ComputeTruncatedOtp(HmacHash hash, const std::uint8_t* seed, std::size_t seedLength,
                                               const std::uint8_t* message, std::size_t messageLength,
                                               std::uint32_t digits) {
  if (digits < 1 || digits > 9) return std::nullopt;
  const auto mac = ComputeHmac(hash, seed, seedLength, message, messageLength);
  if (!mac || mac->size() < 20) return std::nullopt;
  const std::size_t offset = mac->back() & 0x0F;
  const std::uint32_t binary = (static_cast<std::uint32_t>((*mac)[offset] & 0x7F) << 24) |
                               (static_cast<std::uint32_t>((*mac)[offset + 1]) << 16) |
                               (static_cast<std::uint32_t>((*mac)[offset + 2]) << 8) |
                               static_cast<std::uint32_t>((*mac)[offset + 3]);
  std::uint32_t value = binary % kPowersOfTen[digits];
  std::string text(digits, '0');
  for (std::size_t i = digits; i-- > 0; value /= 10) text[i] = static_cast<char>('0' + value % 10);
  return text;
}

std::optional<std::string> ComputeHotp(HmacHash hash, const std::uint8_t* seed, std::size_t seedLength,
                                       std::uint64_t counter, std::uint32_t digits) {
  std::uint8_t message[8];
  for (int i = 7; i >= 0; --i, counter >>= 8) message[i] = static_cast<std::uint8_t>(counter);
  return ComputeTruncatedOtp(hash, seed, seedLength, message, sizeof message, digits);
}

std::optional<std::int64_t> ParseCalendarText(const char* text, std::size_t length) {
  if (text == nullptr || length != kChallengeTextLength) return std::nullopt;
  if (text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  const auto year = ReadDigits(text, 4);
  const auto month = ReadDigits(text + 5, 2);
  const auto day = ReadDigits(text + 8, 2);
  const auto hour = ReadDigits(text + 11, 2);
  const auto minute = ReadDigits(text + 14, 2);
  const auto second = ReadDigits(text + 17, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month) || *hour > 23 || *minute > 59 ||
      *second > 59) {
    return std::nullopt;
  }
  return DaysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second;
}

std::optional<std::uint64_t> ChallengeToUtcSeconds(const char* text, std::size_t length) {
  const auto local = ParseCalendarText(text, length);
  if (!local || *local < kChallengeClockOffsetSeconds) return std::nullopt;
  return static_cast<std::uint64_t>(*local - kChallengeClockOffsetSeconds);
}
