// The real CV_Manager.dll, loaded the way the tool loads it, and
// virtualkey.exe changing what the DLL sees: what crosses the DLL and
// process boundaries. The key's behaviour itself is tested natively.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "tests/support/win/win_test_support.h"
#include "tests/support/temp_folder.h"
#include "tests/virtualkey/token_records.h"
#include "vendor/dll_token_library.h"
#include "virtualkey/device_change_notice.h"
#include "virtualkey/virtual_key_status.h"

namespace {

class CvManagerDllTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder_.Path() / "program");
    dllPath_ = folder_.Path() / "program" / kVendorLibraryFileName;
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

  std::string FirstListedSerial() {
    TokenRecord records[kMaxTokens] = {};
    EXPECT_EQ(library_->OtpList(0, records), CV_OK);
    return records[0].serial;
  }

  std::string Otp(const TokenRecord& record, const char* challenge) {
    char otp[kOtpBufferSize] = {};
    std::uint32_t length = 0;
    EXPECT_EQ(
        library_->OtpCalculate(record, challenge, static_cast<std::uint32_t>(std::strlen(challenge)), otp, &length),
        CV_OK);
    EXPECT_EQ(length, std::strlen(otp));
    return otp;
  }

  TempFolder folder_;
  std::filesystem::path dllPath_;
  std::filesystem::path statePath_;
  std::unique_ptr<DllTokenLibrary> library_;
};

TEST_F(CvManagerDllTest, TheSevenFunctionsWorkThroughTheDllAndTheStateFollowsTheVariable) {
  std::uint32_t devices = 0;
  ASSERT_EQ(library_->ListDevice(&devices), CV_OK);
  EXPECT_EQ(devices, 1u);
  DeviceInfo info{};
  ASSERT_EQ(library_->GetDeviceInfo(&info), CV_OK);
  EXPECT_STREQ(info.sn, "CVK0000000001");

  // Records travel by value: every field must arrive where the key expects it.
  ASSERT_EQ(library_->OtpPersonalize(Seeded(MakeTokenRecord("HOTP-1")), 1), CV_OK);
  ASSERT_EQ(library_->OtpPersonalize(Seeded(MakeTokenRecord("TOTP-1", TOTP, HASH_SHA256, 8), kRfcSha256Seed), 1),
            CV_OK);
  TokenRecord listed[kMaxTokens] = {};
  ASSERT_EQ(library_->OtpList(0, listed), CV_OK);
  EXPECT_STREQ(listed[0].serial, "TOTP-1");
  EXPECT_EQ(Otp(listed[0], "2009-02-14 07:31:30"), "91819424");  // RFC 6238
  EXPECT_EQ(Otp(listed[1], ""), "755224");                       // RFC 4226
  EXPECT_EQ(Otp(listed[1], ""), "287082");

  ASSERT_EQ(library_->OtpSetValueWithEnter(1), CV_OK);
  EXPECT_NE(ReadBytes(statePath_).find("appendEnter=\"yes\""), std::string::npos);
  ASSERT_EQ(library_->OtpReset(), CV_OK);
  EXPECT_EQ(FirstListedSerial(), "");

  // Without the variable the state lives beside the DLL.
  ClearVariable(L"CV_VIRTUAL_KEY");
  ASSERT_EQ(library_->OtpPersonalize(Seeded(MakeTokenRecord("HERE")), 1), CV_OK);
  EXPECT_TRUE(std::filesystem::exists(dllPath_.parent_path() / L"virtual-key.xml"));
  EXPECT_EQ(ReadBytes(statePath_).find("HERE"), std::string::npos);
}

TEST_F(CvManagerDllTest, ControlProgramChangesWhatTheDllSeesAndLeavesACorruptStateAlone) {
  std::uint32_t devices = 0;
  ProgramRun run = VirtualKeyProgram({L"unplug"});
  ASSERT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_NE(run.output.find("unplugged"), std::string::npos) << run.output;
  EXPECT_EQ(library_->ListDevice(&devices), CV_ERR_NO_DEVICE);
  ASSERT_EQ(VirtualKeyProgram({L"plug"}).exitCode, 0u);
  run = VirtualKeyProgram({L"add-token", L"--serial", L"FROM CLI", L"--type", L"totp", L"--digits", L"8"});
  ASSERT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_EQ(Otp(MakeTokenRecord("FROM CLI"), "2005-03-18 09:58:31"), "14050471");  // RFC 6238

  run = VirtualKeyProgram({L"--help"});
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output.rfind("Usage: virtualkey COMMAND", 0), 0u) << run.output;
  run = VirtualKeyProgram({L"touch", L"maybe"});
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_NE(run.errors.find("touch takes"), std::string::npos) << run.errors;

  const std::string corrupt = "<virtualKey version=\"1\"><tokens>";
  WriteBytes(statePath_, corrupt);
  run = VirtualKeyProgram({L"plug"});
  EXPECT_EQ(run.exitCode, 1u);
  EXPECT_NE(run.errors.find("corrupt"), std::string::npos) << run.errors;
  EXPECT_EQ(library_->ListDevice(&devices), VK_ERR_STATE_CORRUPT);
  EXPECT_EQ(ReadBytes(statePath_), corrupt);
}

TEST_F(CvManagerDllTest, UnplugGivenWhileASaveWaitsForTheTouchHoldsAndTheSaveFindsNoKey) {
  ASSERT_EQ(VirtualKeyProgram({L"touch", L"delay", L"4000"}).exitCode, 0u);
  auto save =
      std::async(std::launch::async, [&] { return library_->OtpPersonalize(Seeded(MakeTokenRecord("LOST")), 1); });
  const ProgramRun run = VirtualKeyProgram({L"unplug"});
  ASSERT_EQ(run.exitCode, 0u) << run.errors;
  ASSERT_EQ(save.wait_for(std::chrono::seconds(0)), std::future_status::timeout) << "unplug came after the touch";
  EXPECT_EQ(save.get(), CV_ERR_NO_DEVICE);
  std::uint32_t devices = 0;
  EXPECT_EQ(library_->ListDevice(&devices), CV_ERR_NO_DEVICE);
  ASSERT_EQ(VirtualKeyProgram({L"plug"}).exitCode, 0u);
  EXPECT_EQ(FirstListedSerial(), "");
}

// What WM_DEVICECHANGE brought a window that looks like the tool's main window.
struct ReceivedDeviceChange {
  int count = 0;
  WPARAM event = 0;
  GUID classGuid{};
  std::wstring name;
  bool sizeMatchesName = false;
} g_received;

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

TEST_F(CvManagerDllTest, PlugAndUnplugReachTheToolWindowAcrossProcesses) {
  // An empty dialog template: no menu, default class (#32770), no title.
  alignas(4) WORD dialogTemplate[32] = {};
  auto* header = reinterpret_cast<DLGTEMPLATE*>(dialogTemplate);
  header->style = WS_POPUP | WS_CAPTION;
  HWND window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), header, nullptr, FakeToolDialog, 0);
  ASSERT_NE(window, nullptr);
  SetWindowTextW(window, kToolWindowTitle);

  ProgramRun run = VirtualKeyProgram({L"unplug"});
  ASSERT_EQ(run.exitCode, 0u) << run.errors;
  EXPECT_NE(run.output.find("to 1 tool window(s); 1 answered"), std::string::npos) << run.output;
  ASSERT_EQ(g_received.count, 1);
  EXPECT_EQ(g_received.event, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));

  ASSERT_EQ(VirtualKeyProgram({L"plug"}).exitCode, 0u);
  ASSERT_EQ(g_received.count, 2);
  EXPECT_EQ(g_received.event, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
  const GUID usbDevice = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
  EXPECT_EQ(std::memcmp(&g_received.classGuid, &usbDevice, sizeof usbDevice), 0);
  EXPECT_EQ(g_received.name, L"\\\\?\\USB#VID_096E&PID_0858#CVK0000000001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
  EXPECT_TRUE(g_received.sizeMatchesName);
  DestroyWindow(window);

  run = VirtualKeyProgram({L"unplug"});
  EXPECT_NE(run.output.find("No tool window is open"), std::string::npos) << run.output;
}

TEST_F(CvManagerDllTest, ExportsCarryTheUndecoratedNames) {
  HMODULE module = LoadLibraryExW(dllPath_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(module, nullptr);
#define CV_EXPECT_EXPORT(name, params) EXPECT_NE(GetProcAddress(module, #name), nullptr) << #name;
  CV_MANAGER_FUNCTIONS(CV_EXPECT_EXPORT)
#undef CV_EXPECT_EXPORT
  EXPECT_EQ(GetProcAddress(module, "_CV_ListDevice@4"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "CV_ListDevice@4"), nullptr);
  FreeLibrary(module);
}

}  // namespace
