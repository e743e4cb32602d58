// Calendar text of a moment in UTC, computed without the C library's shared
// calendar buffers.
#pragma once

#include <cstdint>
#include <string>

// "%Y-%m-%d %H:%M:%S" of `unixSeconds` (seconds since 1970-01-01 00:00:00 UTC)
// in the proleptic Gregorian calendar; 19 characters for the years 0 to 9999.
std::string FormatUtcTimestamp(std::int64_t unixSeconds);
