// Windows only: a seed file that another program holds open without sharing.
#include <windef.h>
#include <winbase.h>

#include <gtest/gtest.h>

#include "provisioning/seed_export.h"
#include "seed_export_test_support.h"

namespace seed_export_test {
namespace {

TEST(SeedExportSharing, FileHeldWithoutSharingIsReportedLeftWholeAndTheOtherFileStillWritten) {
  const std::pair<const char*, const char16_t*> cases[] = {
      {"hseeds.csv", u"Could not add the token to hseeds.csv: the file is open in another program (error 32).\r\n"},
      {"hseeds.xml", u"Could not add the token to hseeds.xml: the file is open in another program (error 32); "
                     u"it was left unchanged.\r\n"}};
  for (const auto& [heldName, failure] : cases) {
    SCOPED_TRACE(heldName);
    TempFolder folder;
    ASSERT_TRUE(AppendSeedFiles(folder.Path(), HotpToken("0000123456789", Rfc4226Secret())).empty());
    const std::string before = ReadBytes(folder / heldName);

    // Held the way an editor or spreadsheet that locks the file would.
    const HANDLE held = CreateFileW((folder / heldName).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const auto failures = AppendSeedFiles(folder.Path(), HotpToken("0000987654321", Rfc4226Secret()));
    CloseHandle(held);

    EXPECT_EQ(failures, std::vector<MessageText>{failure});
    EXPECT_EQ(ReadBytes(folder / heldName), before);
    EXPECT_EQ(folder.Entries(), (Names{"hseeds.csv", "hseeds.xml"}));
    const char* other = std::string(heldName) == "hseeds.csv" ? "hseeds.xml" : "hseeds.csv";
    const std::string expected = std::string(heldName) == "hseeds.csv"
                                     ? std::string("<serial>0000987654321</serial>")
                                     : Utf16Le(u"0000987654321,");
    EXPECT_NE(ReadBytes(folder / other).find(expected), std::string::npos);
  }
}

}  // namespace
}  // namespace seed_export_test
