// The real CV_Manager.dll, loaded the way the tool loads it, and
// virtualkey.exe changing what the DLL sees.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/vendor/windows_test_support.h"
#include "tests/virtualkey/temp_folder.h"
#include "tests/virtualkey/token_records.h"
#include "vendor/dll_token_library.h"
#include "virtualkey/device_change_notice.h"
#include "virtualkey/virtual_key_status.h"

namespace {

class CvManagerDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto dllFolder = folder_.Path() / "program";
    std::filesystem::create_directories(dllFolder);
    dllPath_ = dllFolder / kVendorLibraryFileName;
    std::filesystem::copy_file(BuildOutputFolder() / L"CV_Manager.dll", dllPath_);
    statePath_ = folder_.Path() / "key state.xml";
    SetVariable(L"CV_VIRTUAL_KEY", statePath_);
    library_ = std::make_unique<DllTokenLibrary>(dllPath_.wstring());
    ASSERT_TRUE(library_->LoadProblem().empty());
  }

  void TearDown() override {
    library_.reset();
    ClearVariable(L"CV_VIRTUAL_KEY");
  }

  ProgramRun VirtualKeyProgram(const std::vector<std::wstring>& arguments) {
    return RunProgram(BuildOutputFolder() / L"virtualkey.exe", arguments, folder_.Path());
  }

  std::vector<std::string> ListedSerials() {
    TokenRecord records[kMaxTokens] = {};
    EXPECT_EQ(library_->OtpList(0, records), CV_OK);
    std::vector<std::string> serials;
    for (const TokenRecord& r : records) {
      if (r.serial[0] == '\0') break;
      serials.emplace_back(r.serial);
    }
    return serials;
  }

  std::string Otp(const TokenRecord& record, const char* challenge, CvStatus expected = CV_OK) {
    char otp[kOtpBufferSize] = {};
    std::uint32_t length = 0;
    EXPECT_EQ(library_->OtpCalculate(record, challenge,
                                     static_cast<std::uint32_t>(std::strlen(challenge)), otp,
                                     &length),
              expected);
    return otp;
  }

  TempFolder folder_;
  std::filesystem::path dllPath_;
  std::filesystem::path statePath_;
  std::unique_ptr<DllTokenLibrary> library_;
};

TEST_F(CvManagerDllTest, TheSevenFunctionsWorkEndToEnd) {
  std::uint32_t devices = 0;
  ASSERT_EQ(library_->ListDevice(&devices), CV_OK);
  EXPECT_EQ(devices, 1u);
  DeviceInfo info{};
  ASSERT_EQ(library_->GetDeviceInfo(&info), CV_OK);
  EXPECT_STREQ(info.sn, "CVK0000000001");

  ASSERT_EQ(library_->OtpPersonalize(MakeRecord("HOTP-1"), 1), CV_OK);
  ASSERT_EQ(library_->OtpPersonalize(MakeRecord("TOTP-1", TOTP, HASH_SHA256, 8, 30, kRfcSha256Seed), 1),
            CV_OK);
  TokenRecord listed[kMaxTokens] = {};
  ASSERT_EQ(library_->OtpList(0, listed), CV_OK);
  EXPECT_STREQ(listed[0].serial, "TOTP-1");
  EXPECT_EQ(Otp(listed[0], "2009-02-14 07:31:30"), "91819424");  // RFC 6238
  EXPECT_EQ(Otp(listed[1], ""), "755224");                       // RFC 4226
  EXPECT_EQ(Otp(listed[1], ""), "287082");
  EXPECT_EQ(Otp(listed[0], "2009-02-14 7:31:30", VK_ERR_BAD_CHALLENGE), "");

  ASSERT_EQ(library_->OtpSetValueWithEnter(1), CV_OK);
  EXPECT_NE(ReadBytes(statePath_).find("appendEnter=\"yes\""), std::string::npos);
  ASSERT_EQ(library_->OtpReset(), CV_OK);
  EXPECT_TRUE(ListedSerials().empty());
}

TEST_F(CvManagerDllTest, WithoutTheVariableTheStateLivesBesideTheDll) {
  ClearVariable(L"CV_VIRTUAL_KEY");
  ASSERT_EQ(library_->OtpPersonalize(MakeRecord("HERE"), 1), CV_OK);
  EXPECT_TRUE(std::filesystem::exists(dllPath_.parent_path() / L"virtual-key.xml"));
  EXPECT_FALSE(std::filesystem::exists(statePath_));
}

TEST_F(CvManagerDllTest, ControlProgramChangesWhatTheDllSees) {
  std::uint32_t devices = 0;
  ProgramRun run = VirtualKeyProgram({L"unplug"});
  ASSERT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_NE(run.output.find("unplugged"), std::string::npos) << run.output;
  EXPECT_EQ(library_->ListDevice(&devices), CV_ERR_NO_DEVICE);
  ASSERT_EQ(VirtualKeyProgram({L"plug"}).exitCode, 0u);

  ASSERT_EQ(VirtualKeyProgram({L"fail", L"CV_OTP_Reset", L"0x80435699"}).exitCode, 0u);
  EXPECT_EQ(library_->OtpReset(), 0x80435699u);
  ASSERT_EQ(VirtualKeyProgram({L"clear-faults"}).exitCode, 0u);

  run = VirtualKeyProgram({L"add-token", L"--serial", L"FROM CLI", L"--type", L"totp", L"--digits", L"8"});
  ASSERT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(Otp(MakeRecord("FROM CLI"), "2005-03-18 09:58:31"), "14050471");  // RFC 6238
  run = VirtualKeyProgram({L"show"});
  EXPECT_NE(run.output.find("serial=\"FROM CLI\" type=TOTP"), std::string::npos) << run.output;
  ASSERT_EQ(VirtualKeyProgram({L"reset"}).exitCode, 0u);
  EXPECT_TRUE(ListedSerials().empty());
}

TEST_F(CvManagerDllTest, ControlProgramExitCodesAndACorruptStateLeftAlone) {
  ProgramRun run = VirtualKeyProgram({L"--help"});
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output.rfind("Usage: virtualkey COMMAND", 0), 0u) << run.output;

  run = VirtualKeyProgram({L"touch", L"maybe"});
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_NE(run.errors.find("touch takes"), std::string::npos) << run.errors;
  EXPECT_FALSE(std::filesystem::exists(statePath_));

  const std::string corrupt = "<virtualKey version=\"1\"><tokens>";
  WriteBytes(statePath_, corrupt);
  run = VirtualKeyProgram({L"plug"});
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_NE(run.errors.find("corrupt"), std::string::npos) << run.errors;
  std::uint32_t devices = 0;
  EXPECT_EQ(library_->ListDevice(&devices), VK_ERR_STATE_CORRUPT);
  EXPECT_EQ(ReadBytes(statePath_), corrupt);
}

// A window that looks like the tool's main window and records what
// WM_DEVICECHANGE brought it.
struct ReceivedDeviceChange {
  int count = 0;
  WPARAM event = 0;
  GUID classGuid{};
  std::wstring name;
  bool sizeMatchesName = false;
};

ReceivedDeviceChange g_received;

INT_PTR CALLBACK FakeToolDialog(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_DEVICECHANGE) return FALSE;
  ++g_received.count;
  g_received.event = wParam;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
  if (header != nullptr && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
    g_received.classGuid = broadcast->dbcc_classguid;
    g_received.name = broadcast->dbcc_name;
    g_received.sizeMatchesName = header->dbch_size == offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                                                          (g_received.name.size() + 1) * sizeof(wchar_t);
  }
  return TRUE;
}

HWND CreateFakeToolWindow() {
  // An empty dialog template: no menu, default class (#32770), no title.
  alignas(4) WORD dialogTemplate[32] = {};
  auto* header = reinterpret_cast<DLGTEMPLATE*>(dialogTemplate);
  header->style = WS_POPUP | WS_CAPTION;
  header->cx = 100;
  header->cy = 50;
  HWND window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), header, nullptr,
                                           FakeToolDialog, 0);
  if (window != nullptr) SetWindowTextW(window, kToolWindowTitle);
  return window;
}

TEST_F(CvManagerDllTest, PlugAndUnplugReachTheToolWindowAcrossProcesses) {
  HWND window = CreateFakeToolWindow();
  ASSERT_NE(window, nullptr);
  g_received = {};

  ProgramRun run = VirtualKeyProgram({L"unplug"});
  ASSERT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_NE(run.output.find("to 1 tool window(s); 1 answered"), std::string::npos) << run.output;
  ASSERT_EQ(g_received.count, 1);
  EXPECT_EQ(g_received.event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));

  g_received = {};
  run = VirtualKeyProgram({L"plug"});
  ASSERT_EQ(run.exitCode, 0u) << run.errors;
  ASSERT_EQ(g_received.count, 1);
  EXPECT_EQ(g_received.event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
  const GUID usbDevice = {0xA5DCBF10, 0x6530, 0x11D2,
                          {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
  EXPECT_EQ(std::memcmp(&g_received.classGuid, &usbDevice, sizeof usbDevice), 0);
  EXPECT_EQ(g_received.name,
            L"\\\\?\\USB#VID_096E&PID_0858#CVK0000000001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
  EXPECT_TRUE(g_received.sizeMatchesName);
  DestroyWindow(window);

  run = VirtualKeyProgram({L"unplug"});
  EXPECT_NE(run.output.find("No tool window is open"), std::string::npos) << run.output;
}

TEST_F(CvManagerDllTest, ExportsCarryTheUndecoratedNames) {
  HMODULE module = LoadLibraryExW(dllPath_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(module, nullptr);
#define CV_EXPECT_EXPORT(name, params) \
  EXPECT_NE(GetProcAddress(module, #name), nullptr) << #name;
  CV_MANAGER_FUNCTIONS(CV_EXPECT_EXPORT)
#undef CV_EXPECT_EXPORT
  EXPECT_EQ(GetProcAddress(module, "_CV_ListDevice@4"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "CV_ListDevice@4"), nullptr);
  FreeLibrary(module);
}

}  // namespace
