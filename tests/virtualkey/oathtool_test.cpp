// Cross-checks the key's OTPs against oathtool (OATH Toolkit) for random
// seeds, times, steps, digit counts and both hashes.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <string>

#include "tests/support/temp_folder.h"
#include "tests/virtualkey/token_records.h"
#include "text/hex_text.h"
#include "virtualkey/number_text.h"
#include "virtualkey/otp_algorithms.h"
#include "virtualkey/virtual_key.h"

namespace {

// The first output line of a command, or "" when it fails.
std::string RunForLine(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  char line[256] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  if (::pclose(pipe) != 0 || !read) return "";
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

TEST(Oathtool, TotpMatchesThroughTheKeysChallenge) {
  if (std::system("oathtool --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "oathtool is not installed";
  std::mt19937_64 random(20240101);
  TempFolder folder;
  VirtualKey key(folder.Path() / "virtual-key.xml");
  for (int i = 0; i < 12; ++i) {
    const bool sha256 = i % 2 == 0;
    const std::uint32_t step = i % 4 < 2 ? 30 : 60;
    const std::uint32_t digits = i % 3 ? 6 : 8;
    std::string seed(sha256 ? 32 : 20, '\0');
    for (char& c : seed) c = static_cast<char>(random() & 0xFF);
    const std::string hexSeed = HexText(reinterpret_cast<const std::uint8_t*>(seed.data()), seed.size(), true);
    // From 1970 to beyond 2038, to catch 32-bit time arithmetic.
    const std::time_t utc = static_cast<std::time_t>(random() % 4200000000ull);
    const std::string serial = "R" + std::to_string(i);
    const TokenRecord record =
        Seeded(MakeTokenRecord(serial.c_str(), TOTP, sha256 ? HASH_SHA256 : HASH_SHA1, digits, step), seed);
    ASSERT_EQ(key.OtpPersonalize(record, 1), CV_OK);

    // The text the tool would send for this time.
    const std::time_t shifted = utc + kChallengeClockOffsetSeconds;
    std::tm calendar{};
    gmtime_r(&shifted, &calendar);
    char challenge[32];
    std::strftime(challenge, sizeof challenge, "%Y-%m-%d %H:%M:%S", &calendar);
    char otp[kOtpBufferSize] = {};
    ASSERT_EQ(key.OtpCalculate(MakeTokenRecord(serial.c_str()), challenge, 19, otp, nullptr), CV_OK) << challenge;
    const std::string expected =
        RunForLine(std::string("oathtool --totp=") + (sha256 ? "sha256" : "sha1") + " -d " + std::to_string(digits) +
                   " -s " + std::to_string(step) + " --now \"@" + std::to_string(utc) + "\" " + hexSeed);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(otp, expected) << "challenge " << challenge << " step " << step << " seed " << hexSeed;
    key.OtpReset();
  }
}

}  // namespace
