// Arrival and removal notifications and the parsing of their header.
#include <gtest/gtest.h>

#include "main_window_fakes.h"
#include "mainwindow/device_broadcast.h"

namespace {

const std::uint8_t kUsbGuid[16] = {0x10, 0xBF, 0xDC, 0xA5, 0x30, 0x65, 0xD2, 0x11,
                                   0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED};
const char16_t kKeyPath[] = u"\\\\?\\USB#VID_096E&PID_0858#123#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// Builds a DEV_BROADCAST_DEVICEINTERFACE_W image with a terminated name.
std::vector<std::uint8_t> Broadcast(const std::u16string& name, std::uint32_t deviceType = 5,
                                    const std::uint8_t* guid = kUsbGuid) {
  const std::size_t size = 28 + (name.size() + 1) * 2;
  std::vector<std::uint8_t> bytes(std::max<std::size_t>(size, 32), 0);
  const auto declared = static_cast<std::uint32_t>(bytes.size());
  std::memcpy(bytes.data(), &declared, 4);
  std::memcpy(bytes.data() + 4, &deviceType, 4);
  std::memcpy(bytes.data() + 12, guid, 16);
  std::memcpy(bytes.data() + 28, name.data(), name.size() * 2);
  return bytes;
}

bool IsKey(const std::vector<std::uint8_t>& bytes) { return IsKeyInterfaceBroadcast(bytes.data(), bytes.size()); }

// Cuts the image to `size` bytes and declares `declared` bytes (by default
// `size`) in its header.
std::vector<std::uint8_t> CutTo(std::vector<std::uint8_t> bytes, std::size_t size, std::size_t declared = 0) {
  bytes.resize(size);
  const auto field = static_cast<std::uint32_t>(declared != 0 ? declared : size);
  std::memcpy(bytes.data(), &field, 4);
  return bytes;
}

TEST(DeviceBroadcast, RecognisesOnlyTheKeysUsbInterface) {
  EXPECT_TRUE(IsKey(Broadcast(kKeyPath)));
  EXPECT_TRUE(IsKey(Broadcast(u"VID_096E")));  // a short name still fits the 32-byte structure

  EXPECT_FALSE(IsKeyInterfaceBroadcast(nullptr, 0));
  EXPECT_FALSE(IsKey(Broadcast(u"\\\\?\\USB#VID_046D&PID_C52B#1")));
  EXPECT_FALSE(IsKey(Broadcast(u"\\\\?\\usb#vid_096e&pid_0858#1")));
  EXPECT_FALSE(IsKey(Broadcast(kKeyPath, 2)));  // a volume
  std::uint8_t otherGuid[16];
  std::memcpy(otherGuid, kUsbGuid, 16);
  otherGuid[15] ^= 1;
  EXPECT_FALSE(IsKey(Broadcast(kKeyPath, 5, otherGuid)));
}

TEST(DeviceBroadcast, NeverReadsBeyondTheGivenBounds) {
  const auto full = Broadcast(kKeyPath);
  // Shorter than the structure, told by the caller or by its own size field.
  EXPECT_FALSE(IsKey(std::vector<std::uint8_t>(full.begin(), full.begin() + 31)));
  EXPECT_FALSE(IsKey(CutTo(full, 31)));
  // Its size field claims more than the caller may read.
  EXPECT_FALSE(IsKey(CutTo(full, full.size(), full.size() + 2)));

  // The name has no terminator inside the header: the buffer ends right after
  // "VID_096E", so any overread would leave the allocation.
  const auto name = Broadcast(u"USB#VID_096E");
  EXPECT_FALSE(IsKey(CutTo(name, name.size() - 2)));
  // An odd declared size leaves half a unit at the end: ignored, not read.
  EXPECT_FALSE(IsKey(CutTo(name, name.size() - 1)));
}

class DeviceChange : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.library.tokens = {MakeTokenRecord("A"), MakeTokenRecord("B")};
    rig.logic.Initialise(u"");
    rig.events.clear();
    logBefore = rig.Log();
  }
  MainWindowRig rig;
  std::string logBefore;
  const std::vector<std::uint8_t> key = Broadcast(kKeyPath);
};

TEST_F(DeviceChange, OtherEventKindsAndForeignDevicesChangeNothing) {
  rig.logic.OnDeviceChange(0x0007, key.data(), key.size());  // DBT_DEVNODES_CHANGED
  rig.logic.OnDeviceChange(0x8003, key.data(), key.size());  // DBT_DEVICEREMOVEPENDING
  const auto other = Broadcast(u"\\\\?\\USB#VID_046D&PID_C52B#1");
  for (std::uint32_t kind : {kDeviceArrival, kDeviceRemoveComplete}) {
    rig.logic.OnDeviceChange(kind, other.data(), other.size());
    rig.logic.OnDeviceChange(kind, key.data(), 20);
  }
  EXPECT_TRUE(rig.events.empty());
  EXPECT_EQ(rig.Log(), logBefore);
  EXPECT_EQ(rig.model.rows.size(), 2u);
}

// The key an interrupted save was for may be the one arriving.
TEST_F(DeviceChange, ArrivalPausesTwoSecondsThenSearchesListsAndSettlesInterruptedSaves) {
  rig.library.tokens = {MakeTokenRecord("NEW")};
  rig.host.settleReport.lines = {u"An interrupted save was completed.\r\n"};
  rig.logic.OnDeviceChange(kDeviceArrival, key.data(), key.size());

  EXPECT_EQ(rig.host.pauses, std::vector<std::uint32_t>{2000});
  EXPECT_EQ(rig.events, (std::vector<std::string>{"Pause", "ListDevice", "OtpList", "SettleInterruptedSaves"}));
  EXPECT_EQ(rig.Log(), logBefore +
                           "Found a Corvane/Meridia device.\r\nList tokens succeeded!\r\n"
                           "An interrupted save was completed.\r\n");
  ASSERT_EQ(rig.model.rows.size(), 1u);
  EXPECT_EQ(rig.Row(0), "NEW|X|HOTP|SHA-1|6|30");
}

TEST_F(DeviceChange, RemovalEmptiesTheListSilentlyAndKeepsButtons) {
  rig.logic.OnDeviceChange(kDeviceRemoveComplete, key.data(), key.size());

  EXPECT_TRUE(rig.model.rows.empty());
  EXPECT_TRUE(rig.events.empty());
  EXPECT_EQ(rig.Log(), logBefore);
  EXPECT_EQ(rig.Status(), "");
  EXPECT_EQ(rig.model.activeIndex, 0);
  EXPECT_EQ(ButtonsOf(rig.model), kAllEnabled);
}

TEST_F(DeviceChange, ArrivalAfterAFailedListingClearsTheWarning) {
  rig.library.listStatus = 0xA0000005;
  rig.logic.ListTokens();  // the key was pulled: the refresh fails
  ASSERT_EQ(rig.Status(), "You must run this tool as administrator!");

  rig.library.listStatus = CV_OK;
  rig.logic.OnDeviceChange(kDeviceArrival, key.data(), key.size());
  EXPECT_EQ(rig.Status(), "");
  EXPECT_EQ(rig.model.rows.size(), 2u);
}

}  // namespace
