// Creates an HOTP and a TOTP token through the real form and reads their OTPs
// through "Get OTP". The OTPs and the exported seed files are left in the
// folder named by E2E_OBSERVATIONS, where oathtool_e2e.sh checks them against
// oathtool, an implementation of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "resources/resource.h"
#include "tests/e2e/e2e_test_support.h"

namespace {

std::wstring ObservationFolder() {
  wchar_t buffer[1024] = {};
  DWORD n = GetEnvironmentVariableW(L"E2E_OBSERVATIONS", buffer, 1024);
  return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

// Presses "Get OTP" and returns the OTP that the log then shows.
std::wstring GetOtp(ToolUnderTest& tool, const std::wstring& label) {
  const size_t before = tool.LogText().size();
  tool.Click(IDC_GET_OTP);
  if (!tool.WaitForLog(L"\r\n" + label + L" = ", before)) return L"<none>";
  tool.WaitForQuiet(300);
  const std::wstring added = tool.LogText().substr(before);
  const std::wstring prefix = L"Please touch the key!...\r\nGet OTP succeeded!\r\n" + label + L" = ";
  if (added.compare(0, prefix.size(), prefix) != 0) return L"<unexpected log: " + added + L">";
  return added.substr(prefix.size(), added.find(L"\r\n", prefix.size()) - prefix.size());
}

TEST(OathtoolComparison, OtpsOfCreatedTokens) {
  const std::wstring out = ObservationFolder();
  if (out.empty()) GTEST_SKIP() << "run through oathtool_e2e.sh";

  ToolFolder folder;
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  std::ofstream observations(std::filesystem::path(out + L"\\observations.txt"), std::ios::binary);

  NewTokenChoices hotp;
  CreatedToken hotpToken = CreateToken(tool, hotp);
  ASSERT_TRUE(hotpToken.formClosed);
  ASSERT_EQ(L"HOTP", tool.Cell(0, 2));
  observations << "hotp_seed " << ToUtf8(hotpToken.seed) << "\n";
  for (int counter = 0; counter < 3; ++counter) {
    const std::wstring otp = GetOtp(tool, L"HOTP");
    EXPECT_EQ(6u, otp.size()) << ToUtf8(otp);
    observations << "hotp_otp " << counter << " " << ToUtf8(otp) << "\n";
  }

  NewTokenChoices totp;
  totp.totp = true;
  totp.sha256 = true;
  totp.eightDigits = true;
  totp.sixtySeconds = false;
  totp.userName = L"alice@example.com";
  CreatedToken totpToken = CreateToken(tool, totp);
  ASSERT_TRUE(totpToken.formClosed);
  ASSERT_EQ(L"TOTP", tool.Cell(0, 2));
  observations << "totp_seed " << ToUtf8(totpToken.seed) << "\n";
  const std::int64_t before = UnixTimeNow();
  const std::wstring otp = GetOtp(tool, L"TOTP");
  const std::int64_t after = UnixTimeNow();
  EXPECT_EQ(8u, otp.size()) << ToUtf8(otp);
  observations << "totp_otp " << ToUtf8(otp) << " " << before << " " << after << "\n";
  observations.close();

  for (const wchar_t* name : {L"hseeds.xml", L"hseeds.csv", L"tseeds.xml", L"tseeds.csv"}) {
    EXPECT_TRUE(CopyFileW(folder.File(name).c_str(), (out + L"\\" + name).c_str(), FALSE)) << ToUtf8(name);
  }
}

}  // namespace
