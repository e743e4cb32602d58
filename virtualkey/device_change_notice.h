// Tells the running tool that the key arrived or left, the way Windows does
// for a real USB key: WM_DEVICECHANGE with a device-interface broadcast.
// Windows only.
#pragma once

#include <string>

#include "resources/version.h"

// The tool's main window: a dialog titled exactly this.
constexpr wchar_t kToolWindowClass[] = L"#32770";
constexpr wchar_t kToolWindowTitle[] = OTP_MAIN_WINDOW_TITLE_W;

struct DeviceChangeNotice {
  int windowsFound = 0;
  int windowsAnswered = 0;  // the others did not answer within the timeout
};

// Sends DBT_DEVICEARRIVAL (`arrived`) or DBT_DEVICEREMOVECOMPLETE to every
// main window of the tool, with the interface path of a USB key with vendor
// id 096E and this serial number. Waits for each window's answer (its
// arrival handler pauses two seconds).
DeviceChangeNotice NotifyToolOfDeviceChange(bool arrived, const std::string& serialNumber);

// The interface path that the notice carries.
std::wstring KeyInterfacePath(const std::string& serialNumber);
