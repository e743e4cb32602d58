// The process's cache of the seed files: a file changed behind the tool's
// back is read again; the tool's own appends are seen without a read.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <future>
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

// What a save killed after writing its new version leaves beside hseeds.xml
// in `folder`: the file and one token more (`other` is scratch).
fs::path LeaveLeftover(const fs::path& folder, const fs::path& other) {
  EXPECT_TRUE(AppendSeedFiles(folder, kFirst).empty());
  EXPECT_TRUE(AppendSeedFiles(other, kFirst).empty());
  EXPECT_TRUE(AppendSeedFiles(other, kLacked).empty());
  const fs::path leftover = folder / temporary_name::For("hseeds.xml", 1);
  fs::copy_file(other / "hseeds.xml", leftover);
  return leftover;
}

// How the run looked at the files first.
enum class First { Lookup, ReadAhead, ReadAheadTelling };

struct CacheCase {
  First first;
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
      {First::Lookup, "nothing", [](const fs::path&, const fs::path&, SeedFileAccess&) {}, false, false, &kFirst, false,
       true},
      {First::Lookup, "own append", ownAppend(kOther), false, false, &kOther, false, true},
      {First::Lookup, "own append of what the leftover lacked", ownAppend(kLacked), false, false, &kLacked, false,
       false},
      {First::Lookup, "another program's append",
       [](const fs::path& folder, const fs::path&, SeedFileAccess&) {
         AppendSeedFiles(folder, kOther);  // its line on the kept leftover aside
       },
       true, true, &kOther, true, true},
      {First::Lookup, "another program's CSV row",
       [](const fs::path& folder, const fs::path&, SeedFileAccess&) {
         SeedFileAccess plain;
         EXPECT_TRUE(AppendSeedFiles(folder, kOther, plain, SeedFileSet{true, false}, nullptr).empty());
       },
       false, true, nullptr, false, true},
      {First::Lookup, "the leftover replaced by a copy of the file",
       [](const fs::path& folder, const fs::path& leftover, SeedFileAccess&) {
         fs::remove(leftover);  // MinGW's copy_file does not overwrite
         fs::copy_file(folder / "hseeds.xml", leftover);
       },
       true, false, &kFirst, true, false},  // compared with the file again
      {First::ReadAhead, "nothing", [](const fs::path&, const fs::path&, SeedFileAccess&) {}, false, false, &kFirst,
       false, true},
      {First::ReadAhead, "another program's append",
       [](const fs::path& folder, const fs::path&, SeedFileAccess&) {
         AppendSeedFiles(folder, kOther);  // its line on the kept leftover aside
       },
       true, true, &kOther, true, true},
      {First::ReadAheadTelling, "nothing", [](const fs::path&, const fs::path&, SeedFileAccess&) {}, false, false,
       &kFirst, false, true},
      {First::ReadAheadTelling, "own append of what the leftover lacked", ownAppend(kLacked), false, false, &kLacked,
       false, false},
      {First::ReadAheadTelling, "another program's append",
       [](const fs::path& folder, const fs::path&, SeedFileAccess&) { AppendSeedFiles(folder, kOther); }, true, true,
       &kOther, true, true},
  };
  for (const CacheCase& test : cases) {
    SCOPED_TRACE(test.change);
    TempFolder folder, other;
    const fs::path leftover = LeaveLeftover(folder.Path(), other.Path());

    SeedFileCache cache;
    CountingSeedFiles files;
    files.cache = &cache;
    const auto lookUp = [&] {
      RecoverSeedFile(files, folder.Path() / "hseeds.xml");
      return std::make_pair(&cache.Serials(folder.Path(), kSeedFileNames[0], files),
                            &cache.Serials(folder.Path(), kSeedFileNames[1], files));
    };
    if (test.first == First::Lookup) {
      lookUp();
    } else {
      cache.Prefetch(folder.Path(), kThreadAnsiCodePage,
                     test.first == First::ReadAheadTelling ? LeftoverTeller(TellLeftovers) : LeftoverTeller());
      // Waits for it: tseeds.csv is not there to be read.
      cache.Serials(folder.Path(), kSeedFileNames[3], files);
      cache.AwaitLeftovers(folder.Path() / "hseeds.xml");
      ASSERT_TRUE(files.opened.empty());
      // The settling that follows: a told leftover is not read for it.
      RecoverSeedFile(files, folder.Path() / "hseeds.xml");
      ASSERT_EQ(files.opened.empty(), test.first == First::ReadAheadTelling);
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

// The start-up's settling does not wait for the read-ahead's verdict on a
// leftover: it leaves it, and the settling that the read-ahead's end asks for
// acts on the verdict without reading the files again.
TEST(SeedFileCache, StartUpLeavesLeftoversToTheReadAhead) {
  struct Case {
    const char* leftover;
    bool copyOfTheFile;
    bool kept;
  };
  for (const Case& test :
       {Case{"holds a token the file lacks", false, true}, Case{"a copy of the file", true, false}}) {
    SCOPED_TRACE(test.leftover);
    TempFolder folder, other;
    const fs::path leftover = LeaveLeftover(folder.Path(), other.Path());
    const fs::path xml = folder.Path() / "hseeds.xml";
    if (test.copyOfTheFile) {
      fs::remove(leftover);
      fs::copy_file(xml, leftover);
    }
    std::promise<void> release, told;
    std::shared_future<void> released = release.get_future().share();
    SeedFileCache cache;
    cache.Prefetch(
        folder.Path(), kThreadAnsiCodePage,
        [released](const fs::path& file, const std::atomic<bool>& stop) {
          released.wait();
          return TellLeftovers(file, stop);
        },
        [&told] { told.set_value(); });
    CountingSeedFiles files;
    files.cache = &cache;

    EXPECT_TRUE(cache.TellingLeftovers(xml));  // so the window's settling leaves it
    release.set_value();
    ASSERT_EQ(told.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_FALSE(cache.TellingLeftovers(xml));
    const LeftoverRecovery settled = RecoverLeftovers(files, xml);

    EXPECT_TRUE(files.opened.empty());
    EXPECT_EQ(fs::exists(leftover), test.kept);
    EXPECT_EQ(settled.notes.size(), test.kept ? 1u : 0u);
  }
}

}  // namespace
}  // namespace seed_export_test
