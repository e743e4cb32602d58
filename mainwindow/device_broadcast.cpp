#include "mainwindow/device_broadcast.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

// DEV_BROADCAST_DEVICEINTERFACE_W: dbcc_size, dbcc_devicetype, dbcc_reserved,
// dbcc_classguid, then dbcc_name; the structure itself is 32 bytes.
constexpr std::size_t kDeviceTypeOffset = 4;
constexpr std::size_t kClassGuidOffset = 12;
constexpr std::size_t kNameOffset = 28;
constexpr std::size_t kMinimumHeaderSize = 32;
constexpr std::uint32_t kDeviceInterfaceType = 5;  // DBT_DEVTYP_DEVICEINTERFACE

constexpr std::u16string_view kKeyVendorMarker = u"VID_096E";

std::uint32_t ReadU32(const std::uint8_t* at) {
  std::uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

char16_t ReadUnit(const std::uint8_t* at) {
  char16_t unit;
  std::memcpy(&unit, at, sizeof unit);
  return unit;
}

}  // namespace

bool IsKeyInterfaceBroadcast(const std::uint8_t* header, std::size_t size) {
  if (header == nullptr || size < kMinimumHeaderSize) return false;
  const std::uint32_t declaredSize = ReadU32(header);
  if (declaredSize < kMinimumHeaderSize || declaredSize > size) return false;
  if (ReadU32(header + kDeviceTypeOffset) != kDeviceInterfaceType) return false;
  if (std::memcmp(header + kClassGuidOffset, kUsbDeviceInterfaceGuid, sizeof kUsbDeviceInterfaceGuid) != 0) {
    return false;
  }

  // The name must end with a NUL inside the header's own size.
  std::u16string name;
  bool terminated = false;
  for (std::size_t at = kNameOffset; at + sizeof(char16_t) <= declaredSize; at += sizeof(char16_t)) {
    const char16_t unit = ReadUnit(header + at);
    if (unit == u'\0') {
      terminated = true;
      break;
    }
    name.push_back(unit);
  }
  return terminated && name.find(kKeyVendorMarker) != std::u16string::npos;
}
