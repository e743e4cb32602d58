// Windows only: a seed file that another program holds open without sharing.
#include <windef.h>
#include <winbase.h>

#include <gtest/gtest.h>

#include "provisioning/seed_export.h"
#include "seed_export_test_support.h"

namespace seed_export_test {
namespace {

// Holds a file open the way an editor or spreadsheet that locks it would.
class ExclusiveHandle {
 public:
  explicit ExclusiveHandle(const fs::path& file)
      : handle_(CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr)) {}
  ~ExclusiveHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

TEST(SeedExportSharing, CsvHeldWithoutSharingIsReportedAndTheXmlIsStillWritten) {
  ScratchFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.path(), HotpToken("0000123456789", Rfc4226Secret())).empty());
  const std::string csv = ReadBytes(folder / "hseeds.csv");

  std::vector<MessageText> failures;
  {
    ExclusiveHandle held(folder / "hseeds.csv");
    ASSERT_TRUE(held.valid());
    failures = AppendSeedFiles(folder.path(), HotpToken("0000987654321", Rfc4226Secret()));
  }

  EXPECT_EQ(failures, std::vector<MessageText>{
                          u"Could not add the token to hseeds.csv: the file is open in another program (error 32).\r\n"});
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), csv);
  EXPECT_NE(ReadBytes(folder / "hseeds.xml").find("<serial>0000987654321</serial>"), std::string::npos);
}

TEST(SeedExportSharing, XmlHeldWithoutSharingIsLeftWholeAndTheCsvIsStillWritten) {
  ScratchFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.path(), HotpToken("0000123456789", Rfc4226Secret())).empty());
  const std::string xml = ReadBytes(folder / "hseeds.xml");

  std::vector<MessageText> failures;
  {
    ExclusiveHandle held(folder / "hseeds.xml");
    ASSERT_TRUE(held.valid());
    failures = AppendSeedFiles(folder.path(), HotpToken("0000987654321", Rfc4226Secret()));
  }

  EXPECT_EQ(failures, std::vector<MessageText>{u"Could not add the token to hseeds.xml: the file is open in "
                                               u"another program (error 32); it was left unchanged.\r\n"});
  EXPECT_EQ(ReadBytes(folder / "hseeds.xml"), xml);
  EXPECT_EQ(FileNames(folder.path()), (std::set<std::string>{"hseeds.csv", "hseeds.xml"}));
  EXPECT_EQ(ReadBytes(folder / "hseeds.csv"),
            Utf16Le(u"Serial Number, Secret Key\r\n"
                    u"0000123456789,3132333435363738393031323334353637383930\r\n"
                    u"0000987654321,3132333435363738393031323334353637383930\r\n"));
}

}  // namespace
}  // namespace seed_export_test
