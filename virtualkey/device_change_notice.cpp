#include "virtualkey/device_change_notice.h"

#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "virtualkey/key_state.h"

namespace {

// GUID_DEVINTERFACE_USB_DEVICE, spelled out to need no GUID library.
constexpr GUID kUsbDeviceInterface = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr UINT kAnswerTimeoutMs = 15000;

bool IsToolWindow(HWND window) {
  wchar_t className[64] = {};
  if (GetClassNameW(window, className, 64) == 0 || std::wcscmp(className, kToolWindowClass) != 0) {
    return false;
  }
  const int length = GetWindowTextLengthW(window);
  if (length != static_cast<int>(std::wcslen(kToolWindowTitle))) return false;
  std::wstring title(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(window, title.data(), length + 1);
  title.resize(static_cast<std::size_t>(length));
  return title == kToolWindowTitle;
}

BOOL CALLBACK CollectToolWindow(HWND window, LPARAM windows) {
  if (IsToolWindow(window)) reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  return TRUE;
}

// A DEV_BROADCAST_DEVICEINTERFACE_W with its name in place; dbcc_size is the
// whole size, as the system's own broadcasts have it.
std::vector<std::uint8_t> InterfaceBroadcast(const std::wstring& interfacePath) {
  const std::size_t size =
      offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (interfacePath.size() + 1) * sizeof(wchar_t);
  std::vector<std::uint8_t> buffer(size, 0);
  auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(buffer.data());
  broadcast->dbcc_size = static_cast<DWORD>(size);
  broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  broadcast->dbcc_classguid = kUsbDeviceInterface;
  std::memcpy(broadcast->dbcc_name, interfacePath.c_str(), (interfacePath.size() + 1) * sizeof(wchar_t));
  return buffer;
}

}  // namespace

std::wstring KeyInterfacePath(const std::string& serialNumber) {
  wchar_t ids[32];
  swprintf(ids, 32, L"VID_%04X&PID_%04X", kVirtualKeyVendorId, kVirtualKeyProductId);
  return std::wstring(L"\\\\?\\USB#") + ids + L"#" + std::wstring(serialNumber.begin(), serialNumber.end()) +
         L"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

DeviceChangeNotice NotifyToolOfDeviceChange(bool arrived, const std::string& serialNumber) {
  std::vector<HWND> windows;
  EnumWindows(CollectToolWindow, reinterpret_cast<LPARAM>(&windows));
  std::vector<std::uint8_t> broadcast = InterfaceBroadcast(KeyInterfacePath(serialNumber));
  DeviceChangeNotice notice;
  notice.windowsFound = static_cast<int>(windows.size());
  for (HWND window : windows) {
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(window, WM_DEVICECHANGE, arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                            reinterpret_cast<LPARAM>(broadcast.data()), SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer)) {
      ++notice.windowsAnswered;
    }
  }
  return notice;
}
