// Recognises the key in a device-change notification. The header is the
// platform's DEV_BROADCAST_DEVICEINTERFACE_W, read byte-wise within the given
// bounds, so the core needs no window-system header and trusts no size field.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE

// GUID_DEVINTERFACE_USB_DEVICE {A5DCBF10-6530-11D2-901F-00C04FB951ED} as it
// lies in memory (little-endian Data1 to Data3): the class the window
// registers for and the one it recognises.
constexpr std::uint8_t kUsbDeviceInterfaceGuid[16] = {0x10, 0xBF, 0xDC, 0xA5, 0x30, 0x65, 0xD2, 0x11,
                                                      0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED};

// True when the header describes a USB device interface
// (GUID_DEVINTERFACE_USB_DEVICE) whose path contains "VID_096E".
bool IsKeyInterfaceBroadcast(const std::uint8_t* header, std::size_t size);
