// The process's cache of the seed files: a file changed behind the tool's
// back is read again; the tool's own appends are seen without a read.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "files/temporary_name.h"
#include "provisioning/seed_files/seed_file_cache.h"
#include "provisioning/seed_files/seed_file_recovery.h"
#include "seed_export_test_support.h"

namespace seed_export_test {
namespace {

// Counts the reads of each file by its name.
class CountingSeedFiles final : public SeedFileAccess {
 public:
  OpenForReadingOutcome OpenForReading(const fs::path& file) override {
    ++opened[file.filename().string()];
    return SeedFileAccess::OpenForReading(file);
  }
  std::map<std::string, int> opened;
};

const ExportedToken kFirst = HotpToken("CACHE-A", Rfc4226Secret());
const ExportedToken kLacked = HotpToken("CACHE-B", Rfc4226Secret());
const ExportedToken kOther = HotpToken("CACHE-C", Rfc4226Secret());

struct CacheCase {
  bool prefetched;  // the first look was a prefetch, which tells nothing of leftovers
  const char* change;
  std::function<void(const fs::path& folder, const fs::path& leftover, SeedFileAccess& cached)> apply;
  bool xmlRead, csvRead;      // the second lookup read the file again
  const ExportedToken* seen;  // a serial the second lookup finds in both files
  bool leftoverRead, leftoverKept;
};

TEST(SeedFileCache, ReadsAFileAgainOnlyWhenSomeoneElseChangedIt) {
  const auto ownAppend = [](const ExportedToken& token) {
    return [&token](const fs::path& folder, const fs::path&, SeedFileAccess& cached) {
      EXPECT_TRUE(AppendSeedFiles(folder, token, cached).empty());
    };
  };
  const CacheCase cases[] = {
      {false, "nothing", [](const fs::path&, const fs::path&, SeedFileAccess&) {}, false, false, &kFirst, false, true},
      {false, "own append", ownAppend(kOther), false, false, &kOther, false, true},
      {false, "own append of what the leftover lacked", ownAppend(kLacked), false, false, &kLacked, false, false},
      {false, "another program's append",
       [](const fs::path& folder, const fs::path&, SeedFileAccess&) {
         AppendSeedFiles(folder, kOther);  // its line on the kept leftover aside
       },
       true, true, &kOther, true, true},
      {false, "another program's CSV row",
       [](const fs::path& folder, const fs::path&, SeedFileAccess&) {
         SeedFileAccess plain;
         EXPECT_TRUE(AppendSeedFiles(folder, kOther, plain, SeedFileSet{true, false}, nullptr).empty());
       },
       false, true, nullptr, false, true},
      {false, "the leftover replaced by a copy of the file",
       [](const fs::path& folder, const fs::path& leftover, SeedFileAccess&) {
         fs::remove(leftover);  // MinGW's copy_file does not overwrite
         fs::copy_file(folder / "hseeds.xml", leftover);
       },
       true, false, &kFirst, true, false},  // compared with the file again
      {true, "nothing", [](const fs::path&, const fs::path&, SeedFileAccess&) {}, true, false, &kFirst, true, true},
      {true, "another program's append",
       [](const fs::path& folder, const fs::path&, SeedFileAccess&) {
         AppendSeedFiles(folder, kOther);  // its line on the kept leftover aside
       },
       true, true, &kOther, true, true},
  };
  for (const CacheCase& test : cases) {
    SCOPED_TRACE(test.change);
    TempFolder folder, other;
    ASSERT_TRUE(AppendSeedFiles(folder.Path(), kFirst).empty());
    // What a save killed after writing its new version leaves: the file and one token more.
    ASSERT_TRUE(AppendSeedFiles(other.Path(), kFirst).empty());
    ASSERT_TRUE(AppendSeedFiles(other.Path(), kLacked).empty());
    const fs::path leftover = folder.Path() / temporary_name::For("hseeds.xml", 1);
    fs::copy_file(other.Path() / "hseeds.xml", leftover);

    SeedFileCache cache;
    CountingSeedFiles files;
    files.cache = &cache;
    const auto lookUp = [&] {
      RecoverSeedFile(files, folder.Path() / "hseeds.xml");
      return std::make_pair(&cache.Serials(folder.Path(), kSeedFileNames[0], files),
                            &cache.Serials(folder.Path(), kSeedFileNames[1], files));
    };
    if (test.prefetched) {
      cache.Prefetch(folder.Path(), kThreadAnsiCodePage);
      // Waits for it: tseeds.csv is not there to be read.
      cache.Serials(folder.Path(), kSeedFileNames[3], files);
      ASSERT_TRUE(files.opened.empty());
    } else {
      lookUp();
    }
    ASSERT_TRUE(fs::exists(leftover));
    test.apply(folder.Path(), leftover, files);
    files.opened.clear();
    const auto [xml, csv] = lookUp();

    EXPECT_EQ(files.opened["hseeds.xml"] > 0, test.xmlRead);
    EXPECT_EQ(files.opened["hseeds.csv"] > 0, test.csvRead);
    EXPECT_EQ(files.opened[leftover.filename().string()] > 0, test.leftoverRead);
    EXPECT_EQ(fs::exists(leftover), test.leftoverKept);
    if (test.seen) {
      EXPECT_TRUE(xml->Contains(test.seen->serial));
      EXPECT_TRUE(csv->Contains(test.seen->serial));
    }
    EXPECT_TRUE(csv->Contains(kFirst.serial));
  }
}

}  // namespace
}  // namespace seed_export_test
