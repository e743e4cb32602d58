// The loader against a CV_Manager.dll whose stdcall functions are exported
// only under their decorated names ("_CV_ListDevice@4"): the virtual key,
// built a second time with those names.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "tests/support/win/win_test_support.h"
#include "tests/support/temp_folder.h"
#include "vendor/dll_token_library.h"

namespace {

class DecoratedExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetVariable(L"CV_VIRTUAL_KEY", folder_.Path() / "state.xml");
    std::filesystem::copy_file(BuildOutputFolder() / L"cv_manager_decorated.dll", dllPath_);
  }
  void TearDown() override { ClearVariable(L"CV_VIRTUAL_KEY"); }

  TempFolder folder_;
  const std::filesystem::path dllPath_ = folder_.Path() / kVendorLibraryFileName;
};

TEST_F(DecoratedExportsTest, TheDllHasOnlyDecoratedNames) {
  // Otherwise the test below would prove nothing.
  const HMODULE module = LoadLibraryExW(dllPath_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetProcAddress(module, "CV_ListDevice"), nullptr);
  EXPECT_NE(GetProcAddress(module, "_CV_ListDevice@4"), nullptr);
  EXPECT_NE(GetProcAddress(module, "_CV_OTP_Calculate@164"), nullptr);
  FreeLibrary(module);
}

TEST_F(DecoratedExportsTest, EveryFunctionIsFoundByItsDecoratedNameAndCallsCrossCorrectly) {
  DllTokenLibrary library(dllPath_.wstring());
  const std::u16string& problem = library.LoadProblem();
  EXPECT_TRUE(problem.empty()) << std::string(problem.begin(), problem.end());

  std::uint32_t devices = 0;
  ASSERT_EQ(library.ListDevice(&devices), CV_OK);
  EXPECT_EQ(devices, 1u);
  DeviceInfo info{};
  ASSERT_EQ(library.GetDeviceInfo(&info), CV_OK);
  EXPECT_NE(info.sn[0], '\0');

  // RFC 4226's secret: its first HOTP is 755224. The 148-byte record passes
  // by value both ways, so a wrong stack frame would show here.
  TokenRecord token{};
  token.type = HOTP;
  token.hashAlgorithm = HASH_SHA1;
  token.digits = 6;
  token.timeStep = 30;
  std::strcpy(token.serial, "0000123456789");
  std::memcpy(token.seed, "12345678901234567890", 20);
  ASSERT_EQ(library.OtpPersonalize(token, 1), CV_OK);
  TokenRecord records[kMaxTokens]{};
  ASSERT_EQ(library.OtpList(0, records), CV_OK);
  EXPECT_STREQ(records[0].serial, "0000123456789");
  char otp[kOtpBufferSize]{};
  std::uint32_t otpLength = 0;
  ASSERT_EQ(library.OtpCalculate(records[0], "", 0, otp, &otpLength), CV_OK);
  EXPECT_STREQ(otp, "755224");

  EXPECT_EQ(library.OtpSetValueWithEnter(1), CV_OK);
  EXPECT_EQ(library.OtpReset(), CV_OK);
  ASSERT_EQ(library.OtpList(0, records), CV_OK);
  EXPECT_EQ(records[0].serial[0], '\0');
}

}  // namespace
