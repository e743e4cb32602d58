// The process's cache of the seed files: a file changed behind the tool's
// back is read again; the tool's own appends are seen without a read.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windef.h>
#include <winbase.h>

#include "files/scoped_handle_win.h"
#endif

#include "files/file_source.h"

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
         EXPECT_TRUE(AppendSeedFiles(folder, kOther, plain, SeedFileSet{true, false}).empty());
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
      // Waits for it: a save would make what it still reads yield.
      for (const SeedFileName& name : kSeedFileNames) cache.Serials(folder.Path(), name, files);
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

// Writes `to` over `from` (as long) in place and puts the file's size, time
// and identity back as they were: only its bytes tell the edit.
void EditInPlace(const fs::path& file, const std::string& from, const std::string& to) {
  std::string bytes = ReadBytes(file);
  ASSERT_NE(bytes.find(from), std::string::npos);
  bytes.replace(bytes.find(from), from.size(), to);
#ifdef _WIN32
  // To the system's own 100 ns, which the standard library's clock rounds.
  const ScopedHandle edited(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  FILETIME written{};
  DWORD count = 0;
  ASSERT_TRUE(GetFileTime(edited.Get(), nullptr, nullptr, &written));
  ASSERT_TRUE(WriteFile(edited.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr));
  ASSERT_TRUE(SetFileTime(edited.Get(), nullptr, nullptr, &written));
#else
  const fs::file_time_type written = fs::last_write_time(file);
  WriteBytes(file, bytes);
  fs::last_write_time(file, written);
#endif
}

TEST(SeedFileCache, ASameSizeEditWithItsTimePutBackIsReadAgain) {
  for (const bool readAhead : {false, true}) {
    SCOPED_TRACE(readAhead ? "read ahead" : "looked up");
    TempFolder folder;
    ASSERT_TRUE(AppendSeedFiles(folder.Path(), kFirst).empty());
    SeedFileCache cache;
    CountingSeedFiles files;
    if (readAhead) cache.Prefetch(folder.Path(), kThreadAnsiCodePage);
    ASSERT_TRUE(cache.Serials(folder.Path(), kSeedFileNames[0], files).Contains(kFirst.serial));
    EditInPlace(folder / "hseeds.xml", kFirst.serial, "CACHE-D");
    const SerialSet& after = cache.Serials(folder.Path(), kSeedFileNames[0], files);
    EXPECT_TRUE(after.Contains("CACHE-D"));
    EXPECT_FALSE(after.Contains(kFirst.serial));
  }
}

// A leftover goes only while it holds the bytes its verdict was told on.
TEST(SeedFileCache, ALeftoverChangedAfterItsVerdictStays) {
  for (const bool changed : {false, true}) {
    SCOPED_TRACE(changed ? "changed in place" : "unchanged");
    TempFolder folder, other;
    const fs::path leftover = LeaveLeftover(folder.Path(), other.Path());
    const fs::path xml = folder.Path() / "hseeds.xml";
    fs::remove(leftover);
    fs::copy_file(xml, leftover);  // holds nothing the file lacks: it may go
    SeedFileCache cache;
    cache.Prefetch(folder.Path(), kThreadAnsiCodePage, TellLeftovers);
    cache.AwaitLeftovers(xml);
    if (changed) EditInPlace(leftover, kFirst.serial, "CACHE-D");
    CountingSeedFiles files;
    files.cache = &cache;

    const LeftoverRecovery settled = RecoverLeftovers(files, xml);
    EXPECT_TRUE(files.opened.empty());  // on the verdict, without reading the files
    EXPECT_EQ(fs::exists(leftover), changed);
    ASSERT_EQ(settled.notes.size(), changed ? 1u : 0u);
    if (changed) {
      EXPECT_EQ(settled.notes[0].what, SeedFileNote::What::Kept);
    }
  }
}

// However long the read ahead of a file would take, a save of the file makes
// it stop and waits only until it let the file go.
TEST(SeedFileCache, TheReadAheadOfAFileYieldsToItsSave) {
  TempFolder folder, other;
  LeaveLeftover(folder.Path(), other.Path());
  std::atomic<bool> yielded{false};
  std::promise<void> reading;
  SeedFileCache cache;
  cache.Prefetch(folder.Path(), kThreadAnsiCodePage, [&](const fs::path& file, const std::atomic<bool>& stop) {
    OpenForReadingOutcome opened = OpenSharedForReading(file);
    reading.set_value();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!stop && std::chrono::steady_clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    yielded = stop.load();
    return ToldLeftovers{};
  });
  ASSERT_EQ(reading.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  SeedFileAccess files;
  files.cache = &cache;
  const auto start = std::chrono::steady_clock::now();
  AppendSeedFiles(folder.Path(), kOther, files);  // its line on the kept leftover aside
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(yielded);
  EXPECT_TRUE(cache.Serials(folder.Path(), kSeedFileNames[0], files).Contains(kOther.serial));
}

// Refuses every open of a file with `error`, `refusals` times (-1: always).
class RefusingSeedFiles final : public SeedFileAccess {
 public:
  RefusingSeedFiles(int refusals, FileError error) : refusals_(refusals), error_(error) {}
  OpenForReadingOutcome OpenForReading(const fs::path& file) override {
    ++opens;
    if (refusals_ == 0) return SeedFileAccess::OpenForReading(file);
    if (refusals_ > 0) --refusals_;
    OpenForReadingOutcome refused;
    refused.state = OpenForReadingOutcome::State::Failed;
    refused.error = error_;
    return refused;
  }
  int opens = 0;

 private:
  int refusals_;
  FileError error_;
};

// Missing is no serials, unreadable is unknown: a file another program
// holds is tried again within the patience given, then said unreadable.
TEST(SeedFileCache, LookupTellsMissingFromUnreadable) {
  const FileError busy{32, FileErrorKind::Busy}, denied{5, FileErrorKind::Denied};
  struct Case {
    const char* name;
    bool exists;
    int refusals;
    FileError error;
    bool known;  // serials given
    int opens;   // at least
  };
  const Case cases[] = {
      {"missing", false, 0, {}, true, 0},
      {"read", true, 0, {}, true, 1},
      {"held for a moment", true, 2, busy, true, 3},
      {"held all the time", true, -1, busy, false, 3},
      {"denied", true, -1, denied, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    if (c.exists) {
      ASSERT_TRUE(AppendSeedFiles(folder.Path(), kFirst).empty());
    }
    SeedFileCache cache;
    RefusingSeedFiles files(c.refusals, c.error);
    const SerialsLookup found = cache.Lookup(folder.Path(), kSeedFileNames[1], files, std::chrono::milliseconds(300));
    ASSERT_EQ(found.serials != nullptr, c.known);
    EXPECT_GE(files.opens, c.opens);
    if (c.known) {
      EXPECT_EQ(found.serials->Contains(kFirst.serial), c.exists);
    } else {
      EXPECT_EQ(found.error.kind, c.error.kind);
      EXPECT_EQ(files.opens > 1, c.error.InUse());
    }
  }
}

}  // namespace
}  // namespace seed_export_test
