// Windows only: seed files as the platform shapes them - held open without
// sharing by another program, larger than a 32-bit process can hold.
#include <windef.h>
#include <winbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "files/file_source.h"
#include "files/scoped_handle_win.h"
#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_file_cache.h"
#include "seed_export_test_support.h"

namespace seed_export_test {
namespace {

TEST(SeedExportSharing, FileHeldWithoutSharingIsReportedLeftWholeAndTheOtherFileStillWritten) {
  const std::pair<const char*, MessageText> cases[] = {
      {"hseeds.csv", u"Could not add the token to hseeds.csv: the file is open in another program (" + Said(32) +
                         u"); it was left unchanged.\r\n"},
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

// A file another program holds without sharing is unknown, not empty: its
// lookup says so once the patience given has passed.
TEST(SeedExportSharing, LookupOfAFileHeldWithoutSharingIsUnreadableAfterThePatience) {
  TempFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.Path(), HotpToken("0000123456789", Rfc4226Secret())).empty());
  ScopedHandle held(CreateFileW((folder / "hseeds.csv").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held.Valid());
  SeedFileCache cache;
  SeedFileAccess files;
  const auto start = std::chrono::steady_clock::now();
  const SerialsLookup found = cache.Lookup(folder.Path(), kSeedFileNames[1], files, std::chrono::milliseconds(400));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_EQ(found.serials, nullptr);
  EXPECT_EQ(found.error.code, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  held.Close();
  const SerialsLookup again = cache.Lookup(folder.Path(), kSeedFileNames[1], files, std::chrono::milliseconds(0));
  ASSERT_NE(again.serials, nullptr);
  EXPECT_TRUE(again.serials->Contains("0000123456789"));
}

// The read ahead never makes the tool's own save fail: a row is appended
// while it reads the file, and a file it reads is replaced once it yielded.
TEST(SeedExportSharing, FilesTheReadAheadHoldsAreStillSaved) {
  TempFolder folder;
  ASSERT_TRUE(AppendSeedFiles(folder.Path(), HotpToken("0000123456789", Rfc4226Secret())).empty());
  WriteBytes(folder / "hseeds.xml.otp-0123456789abcdef.tmp", ReadBytes(folder / "hseeds.xml"));
  std::promise<void> reading;
  SeedFileCache cache;
  cache.Prefetch(folder.Path(), kThreadAnsiCodePage, [&](const fs::path& xml, const std::atomic<bool>& stop) {
    // A read of a large file: both files open until the save of one asks it to yield.
    OpenForReadingOutcome csv = OpenSharedForReading(folder / "hseeds.csv");
    OpenForReadingOutcome held = OpenSharedForReading(xml);
    reading.set_value();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!stop && std::chrono::steady_clock::now() < giveUp) Sleep(5);
    return ToldLeftovers{};
  });
  ASSERT_EQ(reading.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  SeedFileAccess files;
  files.cache = &cache;
  const std::vector<MessageText> lines =
      AppendSeedFiles(folder.Path(), HotpToken("0000987654321", Rfc4226Secret()), files);
  EXPECT_EQ(lines.size(), 0u);
  EXPECT_NE(ReadBytes(folder / "hseeds.csv").find(Utf16Le(u"0000987654321,")), std::string::npos);
  EXPECT_NE(ReadBytes(folder / "hseeds.xml").find("<serial>0000987654321</serial>"), std::string::npos);
}

}  // namespace
}  // namespace seed_export_test
