#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "tests/support/win/win_test_support.h"
#include "tests/support/temp_folder.h"
#include "vendor/dll_token_library.h"
#include "vendor/module_path_win.h"

namespace {

std::u16string U16(const std::wstring& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

// One line ended by CR LF, as the message box shows it.
bool IsOneLine(const std::u16string& text) {
  return text.size() >= 2 && text.find(u'\n') == text.size() - 1 && text.find(u'\r') == text.size() - 2;
}

class DllTokenLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { SetVariable(L"CV_VIRTUAL_KEY", folder_.Path() / "state.xml"); }
  void TearDown() override { ClearVariable(L"CV_VIRTUAL_KEY"); }

  // Copies a DLL of the build into `folder` under the vendor's file name.
  std::filesystem::path Install(const wchar_t* builtName, const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const auto target = folder / kVendorLibraryFileName;
    std::filesystem::copy_file(BuildOutputFolder() / builtName, target);
    return target;
  }

  TempFolder folder_;
};

TEST_F(DllTokenLibraryTest, MissingLibraryOrNoDllGivesOneLineWithItsPathAndEveryCallFails) {
  const auto notADll = folder_.Path() / kVendorLibraryFileName;
  WriteBytes(notADll, "this is not a DLL");
  for (const auto& path : {folder_.Path() / "absent" / kVendorLibraryFileName, notADll}) {
    SCOPED_TRACE(path.string());
    DllTokenLibrary library(path.wstring());
    const std::u16string problem = library.LoadProblem();
    EXPECT_TRUE(IsOneLine(problem)) << std::string(problem.begin(), problem.end());
    EXPECT_NE(problem.find(U16(path.wstring())), std::u16string::npos);
    EXPECT_NE(problem.find(u"Windows error "), std::u16string::npos);

    std::uint32_t devices = 0;
    DeviceInfo info{};
    TokenRecord records[kMaxTokens] = {};
    char otp[kOtpBufferSize] = {};
    EXPECT_EQ(library.ListDevice(&devices), CV_ERR_LIBRARY_MISSING);
    EXPECT_EQ(library.GetDeviceInfo(&info), CV_ERR_LIBRARY_MISSING);
    EXPECT_EQ(library.OtpList(0, records), CV_ERR_LIBRARY_MISSING);
    EXPECT_EQ(library.OtpCalculate(TokenRecord{}, "", 0, otp, &devices), CV_ERR_LIBRARY_MISSING);
    EXPECT_EQ(library.OtpPersonalize(TokenRecord{}, 1), CV_ERR_LIBRARY_MISSING);
    EXPECT_EQ(library.OtpReset(), CV_ERR_LIBRARY_MISSING);
    EXPECT_EQ(library.OtpSetValueWithEnter(1), CV_ERR_LIBRARY_MISSING);
  }
}

TEST_F(DllTokenLibraryTest, MissingFunctionsAreNamedAndTheOthersStillWork) {
  const auto path = Install(L"cv_manager_partial.dll", folder_.Path() / "partial");
  DllTokenLibrary library(path.wstring());
  const std::u16string& problem = library.LoadProblem();
  EXPECT_TRUE(IsOneLine(problem));
  EXPECT_NE(problem.find(U16(path.wstring())), std::u16string::npos);
  EXPECT_NE(problem.find(u"CV_OTP_Reset"), std::u16string::npos);
  EXPECT_NE(problem.find(u"CV_OTP_SetValueWithEnter"), std::u16string::npos);
  EXPECT_EQ(problem.find(u"CV_ListDevice"), std::u16string::npos);

  EXPECT_EQ(library.OtpReset(), CV_ERR_FUNCTION_MISSING);
  EXPECT_EQ(library.OtpSetValueWithEnter(0), CV_ERR_FUNCTION_MISSING);
  std::uint32_t devices = 0;
  EXPECT_EQ(library.ListDevice(&devices), CV_OK);
  EXPECT_EQ(devices, 1u);
  TokenRecord records[kMaxTokens] = {};
  EXPECT_EQ(library.OtpList(0, records), 0x80435677u);

  // The 148-byte record crosses by value and the stdcall frame is right.
  TokenRecord record{};
  record.digits = 8;
  record.timeStep = 60;
  record.serial[0] = 'Q';
  char otp[kOtpBufferSize] = {};
  std::uint32_t length = 0;
  EXPECT_EQ(library.OtpCalculate(record, "2024-01-01 08:00:00", 19, otp, &length), CV_OK);
  EXPECT_STREQ(otp, "8Q9");
  EXPECT_EQ(library.OtpPersonalize(record, 3), 0x80430000u + 60 * 16 + 3);
}

TEST_F(DllTokenLibraryTest, LoadsByFullPathBesideTheProgramOrFromAFolderWithSpacesAndNonAsciiName) {
  DllTokenLibrary beside;  // as the tool opens it
  EXPECT_EQ(std::filesystem::path(ModuleFilePath(GetModuleHandleW(L"CV_Manager.dll"))),
            BuildOutputFolder() / L"CV_Manager.dll");
  const auto path = Install(L"CV_Manager.dll", folder_.Path() / L"Pr\u00fcfung mit Leerzeichen");
  DllTokenLibrary elsewhere(path.wstring());
  std::uint32_t devices = 0;
  EXPECT_TRUE(beside.LoadProblem().empty());
  EXPECT_EQ(beside.ListDevice(&devices), CV_OK);
  EXPECT_EQ(devices, 1u);
  EXPECT_TRUE(elsewhere.LoadProblem().empty());
  EXPECT_EQ(elsewhere.ListDevice(&devices), CV_OK);
}

}  // namespace
