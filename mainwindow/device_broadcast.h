// Recognises the key in a device-change notification. The header is the
// platform's DEV_BROADCAST_DEVICEINTERFACE_W, read byte-wise within the given
// bounds, so the core needs no window-system header and trusts no size field.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE

// True when the header describes a USB device interface
// (GUID_DEVINTERFACE_USB_DEVICE) whose path contains "VID_096E".
bool IsKeyInterfaceBroadcast(const std::uint8_t* header, std::size_t size);
