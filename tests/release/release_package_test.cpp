// The unpacked release, used as an operator would: OtpTool.exe with the
// virtual key beside it, and without any CV_Manager.dll. OTP_TOOL_FOLDER
// names the folder that both zips were unpacked into.
#include <gtest/gtest.h>

#include <cstdlib>

#include "resources/resource.h"
#include "resources/version.h"
#include "tests/e2e/e2e_test_support.h"

namespace {

class ReleasePackage : public ::testing::Test {
 protected:
  void SetUp() override {
    const wchar_t* folder = _wgetenv(L"OTP_TOOL_FOLDER");
    if (!folder || !*folder) GTEST_SKIP() << "OTP_TOOL_FOLDER names no unpacked release";
  }
};

TEST_F(ReleasePackage, ListsTheVirtualKeyAndCreatesAToken) {
  ToolFolder folder;
  ASSERT_EQ(0, folder.VirtualKey(L"add-token --type totp --hash sha1 --digits 6 --step 30 "
                                 L"--serial 0000111111111 --seed 3132333435363738393031323334353637383930"));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  EXPECT_EQ(L"Found a Corvane/Meridia device.\r\nList tokens succeeded!\r\n", tool.LogText());
  ASSERT_EQ(1, tool.RowCount());
  EXPECT_EQ(L"0000111111111", tool.Cell(0, 0));

  const size_t before = tool.LogText().size();
  CreatedToken token = CreateToken(tool, NewTokenChoices{});
  ASSERT_TRUE(token.formClosed);
  EXPECT_EQ(L"Save new token succeeded!\r\nSN=" + token.serial + L", SEED=" + token.seed +
                L"\r\nSet C/R succeeded!\r\nList tokens succeeded!\r\n",
            tool.LogText().substr(before));
  ASSERT_EQ(2, tool.RowCount());
  EXPECT_EQ(token.serial, tool.Cell(0, 0));
  EXPECT_NE(std::string::npos, folder.ReadBytes(L"hseeds.xml").find(ToUtf8(token.seed)));
  EXPECT_TRUE(folder.Exists(L"hseeds.csv"));
  EXPECT_EQ(2, tool.CloseWithEscape());
}

TEST_F(ReleasePackage, WithoutTheLibraryTheToolSaysWhatIsMissing) {
  ToolFolder folder(/*withLibrary=*/false);
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  const std::wstring log = tool.LogText();
  EXPECT_NE(std::wstring::npos, log.find(L"CV_Manager.dll")) << ToUtf8(log);
  EXPECT_FALSE(tool.IsButtonEnabled(IDC_NEW_TOKEN));
  EXPECT_EQ(2, tool.CloseWithEscape());
}

TEST_F(ReleasePackage, TitleAndAboutBoxShowTheProjectVersion) {
  ToolFolder folder;
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());  // found by its title, which carries the version
  tool.Click(ID_APP_ABOUT);
  HWND about = tool.WaitForDialog(L"About");
  ASSERT_NE(nullptr, about);
  std::wstring texts;
  for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    texts += WindowText(child) + L"\n";
  }
  EXPECT_NE(std::wstring::npos, texts.find(L"Quendrix Personalization v"
                                           L"" OTP_VERSION_SHORT L"\n"))
      << ToUtf8(texts);
  PostCommand(about, IDOK);
  EXPECT_TRUE(tool.WaitForDialogGone(about));
  EXPECT_EQ(2, tool.CloseWithEscape());
}

}  // namespace
