// One-time passwords as the key computes them: HOTP (RFC 4226) and TOTP
// (RFC 6238), and the time challenge through which the tool passes the clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "virtualkey/hmac.h"

// The tool sends the time as "%Y-%m-%d %H:%M:%S" of UTC plus eight hours.
constexpr std::size_t kChallengeTextLength = 19;
constexpr std::int64_t kChallengeClockOffsetSeconds = 28800;

// Dynamic truncation (RFC 4226 section 5.3) of HMAC(seed, message), as
// `digits` decimal digits with leading zeros. Digits must be 1 to 9.
std::optional<std::string> ComputeTruncatedOtp(HmacHash hash, const std::uint8_t* seed, std::size_t seedLength,
                                               const std::uint8_t* message, std::size_t messageLength,
                                               std::uint32_t digits);

// HOTP: the message is the counter as 8 big-endian bytes.
std::optional<std::string> ComputeHotp(HmacHash hash, const std::uint8_t* seed, std::size_t seedLength,
                                       std::uint64_t counter, std::uint32_t digits);

// Seconds since 1970-01-01 00:00:00 of a calendar text "YYYY-MM-DD HH:MM:SS"
// read as UTC. Exactly 19 characters, every field in range (leap years
// included, no leap second); anything else gives no result.
std::optional<std::int64_t> ParseCalendarText(const char* text, std::size_t length);

// The UTC time that a challenge names: its calendar text minus eight hours.
// No result for a malformed text or a time before 1970.
std::optional<std::uint64_t> ChallengeToUtcSeconds(const char* text, std::size_t length);

// RFC 6238: T = floor(t / step). The step must not be 0.
constexpr std::uint64_t TotpCounter(std::uint64_t utcSeconds, std::uint32_t timeStep) { return utcSeconds / timeStep; }
