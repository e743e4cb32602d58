// HMAC as the key computes it. The platform's own crypto does the work:
// BCrypt on Windows, OpenSSL's libcrypto elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

enum class HmacHash { Sha1, Sha256 };

// HMAC of `message` under `key`; no result when the platform's crypto fails.
std::optional<std::vector<std::uint8_t>> ComputeHmac(HmacHash hash, const std::uint8_t* key, std::size_t keyLength,
                                                     const std::uint8_t* message, std::size_t messageLength);
