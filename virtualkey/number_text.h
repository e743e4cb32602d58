// Strict conversions between numbers or bytes and the text of the state file
// and the control program's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Decimal, or hexadecimal after "0x"/"0X"; nothing else (no sign, no
// spaces). No result above `maximum`.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t maximum);

// A status as the tool prints it, "0x" and eight upper-case digits; the "0x"
// is optional when reading. Status 0 is refused (it would not be a failure).
std::optional<std::uint32_t> ParseFailureStatus(std::string_view text);
std::string StatusText(std::uint32_t status);
