// Windows only: seed files as the platform shapes them - held open without
// sharing by another program, larger than a 32-bit process can hold.
#include <windef.h>
#include <winbase.h>

#include <gtest/gtest.h>

#include "provisioning/seed_files/seed_export.h"
#include "files/scoped_handle_win.h"
#include "seed_export_test_support.h"

namespace seed_export_test {
namespace {

TEST(SeedExportSharing, FileHeldWithoutSharingIsReportedLeftWholeAndTheOtherFileStillWritten) {
  const std::pair<const char*, MessageText> cases[] = {
      {"hseeds.csv",
       u"Could not add the token to hseeds.csv: the file is open in another program (" + Said(32) + u").\r\n"},
      {"hseeds.xml", u"Could not add the token to hseeds.xml: the file is open in another program (" + Said(32) +
                         u"); "
                         u"it was left unchanged.\r\n"}};
  for (const auto& [heldName, failure] : cases) {
    SCOPED_TRACE(heldName);
    TempFolder folder;
    ASSERT_TRUE(AppendSeedFiles(folder.Path(), HotpToken("0000123456789", Rfc4226Secret())).empty());
    const std::string before = ReadBytes(folder / heldName);

    // Held the way an editor or spreadsheet that locks the file would.
    ScopedHandle held(CreateFileW((folder / heldName).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.Valid());
    const auto failures = AppendSeedFiles(folder.Path(), HotpToken("0000987654321", Rfc4226Secret()));
    held.Close();

    EXPECT_EQ(failures, std::vector<MessageText>{failure});
    EXPECT_EQ(ReadBytes(folder / heldName), before);
    EXPECT_EQ(folder.Entries(), (Names{"hseeds.csv", "hseeds.xml"}));
    const char* other = std::string(heldName) == "hseeds.csv" ? "hseeds.xml" : "hseeds.csv";
    const std::string expected = std::string(heldName) == "hseeds.csv" ? std::string("<serial>0000987654321</serial>")
                                                                       : Utf16Le(u"0000987654321,");
    EXPECT_NE(ReadBytes(folder / other).find(expected), std::string::npos);
  }
}

TEST(SeedExportSharing, SeedFileTooLargeForThisProcessIsReportedAndTheRowStillWritten) {
  TempFolder folder;
  // Three GiB without the disk space: a sparse file, set to its size at once.
  ScopedHandle file(CreateFileW((folder / "hseeds.xml").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.Valid());
  LARGE_INTEGER size{};
  size.QuadPart = 3LL << 30;
  ASSERT_TRUE(SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN) && SetEndOfFile(file.Get()));
  file.Close();

  EXPECT_EQ(AppendSeedFiles(folder.Path(), HotpToken("0000123456789", Rfc4226Secret())),
            std::vector<MessageText>{u"Could not add the token to hseeds.xml: the file is too large to be read "
                                     u"(" +
                                     Said(223) + u"); it was left unchanged.\r\n"});
  EXPECT_EQ(fs::file_size(folder / "hseeds.xml"), 3ULL << 30);
  EXPECT_NE(ReadBytes(folder / "hseeds.csv").find(Utf16Le(u"0000123456789,")), std::string::npos);
}

}  // namespace
}  // namespace seed_export_test
