// Cross-checks the key's OTPs against oathtool (OATH Toolkit) for random
// seeds, times, steps, digit counts and both hashes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <string>

#include "tests/virtualkey/temp_folder.h"
#include "tests/virtualkey/token_records.h"
#include "virtualkey/number_text.h"
#include "virtualkey/otp_algorithms.h"
#include "virtualkey/virtual_key.h"

namespace {

// Runs a command and returns its first output line, or nothing on failure.
std::optional<std::string> RunForLine(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  char line[256] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  const int status = ::pclose(pipe);
  if (!read || status != 0) return std::nullopt;
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

class OathtoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("oathtool --version >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "oathtool is not installed";
    }
  }

  std::string RandomSeed(std::size_t length) {
    std::string seed(length, '\0');
    for (char& c : seed) c = static_cast<char>(random_() & 0xFF);
    return seed;
  }

  static std::string Hex(const std::string& bytes) {
    return HexText(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }

  // The text the tool would send for this UTC time.
  static std::string ChallengeFor(std::time_t utc) {
    const std::time_t shifted = utc + kChallengeClockOffsetSeconds;
    std::tm calendar{};
    gmtime_r(&shifted, &calendar);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &calendar);
    return text;
  }

  std::mt19937_64 random_{20240101};
};

TEST_F(OathtoolTest, TotpMatchesThroughTheKeysChallenge) {
  TempFolder folder;
  VirtualKey key(folder.Path() / "virtual-key.xml");
  for (int i = 0; i < 12; ++i) {
    const bool sha256 = i % 2 == 0;
    const std::uint32_t step = i % 4 < 2 ? 30 : 60;
    const std::uint32_t digits = i % 3 ? 6 : 8;
    const std::string seed = RandomSeed(sha256 ? 32 : 20);
    // From 1970 to beyond 2038, to catch 32-bit time arithmetic.
    const std::time_t utc = static_cast<std::time_t>(random_() % 4200000000ull);
    const std::string serial = "R" + std::to_string(i);
    ASSERT_EQ(key.OtpPersonalize(MakeRecord(serial, TOTP, sha256 ? HASH_SHA256 : HASH_SHA1, digits,
                                            step, seed),
                                 1),
              CV_OK);

    const std::string challenge = ChallengeFor(utc);
    char otp[kOtpBufferSize] = {};
    ASSERT_EQ(key.OtpCalculate(MakeRecord(serial), challenge.c_str(), 19, otp, nullptr), CV_OK)
        << challenge;
    const auto expected = RunForLine(std::string("oathtool --totp=") + (sha256 ? "sha256" : "sha1") +
                                     " -d " + std::to_string(digits) + " -s " +
                                     std::to_string(step) + " --now \"@" + std::to_string(utc) +
                                     "\" " + Hex(seed));
    ASSERT_TRUE(expected);
    EXPECT_EQ(otp, *expected) << "challenge " << challenge << " step " << step << " seed "
                              << Hex(seed);
    key.OtpReset();
  }
}

}  // namespace
