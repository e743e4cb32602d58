// What this process knows of the seed files and of what interrupted saves
// left beside them, so that an unchanged file is read once, not at every
// click, form, save and settling. Each entry keeps the stamp (size, write
// time, identity) of the file it was read from: a file anyone else changed
// is read again, while the tool's own appends update the entries in place,
// as it knows what it added. A stamp alone proves nothing unchanged: an edit
// of the same size may put the write time back, so each entry keeps a digest
// of the file's first and last blocks too (FingerprintOf), compared at every
// lookup. Memory grows with the serials (8 bytes each),
// never with the files' bytes. Used from one thread, which a read-ahead of
// its own may run beside.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "files/file_io.h"
#include "files/system_error.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/seed_file_names.h"
#include "provisioning/seed_files/seed_file_serials.h"

// A token the tool itself added to a seed file.
struct AppendedToken {
  std::vector<std::string> serials;   // each form a file may hold the serial in
  std::vector<std::uint64_t> tokens;  // SeedFileTokenKey of each form with the seed
};

// What a leftover temporary file holds that its seed file lacks, as told at
// the two files' stamps.
struct LeftoverVerdict {
  std::filesystem::path file;  // the seed file it is a leftover of
  FileStamp leftoverStamp;
  FileStamp fileStamp;
  std::vector<std::uint64_t> lacking;  // token keys, sorted; empty: it may go
  std::uint64_t fileEnds = 0;          // the file's FileFingerprint::ends
  // The digest of every byte of the leftover judged (ContentDigest): it goes
  // only while it holds exactly those.
  std::uint64_t leftoverDigest = 0;
};
// Verdicts by the leftovers' paths.
using ToldLeftovers = std::vector<std::pair<std::filesystem::path, LeftoverVerdict>>;
// Tells the leftovers of a seed file on a read-ahead's thread, giving up
// once `stop` is set; none when it could not.
using LeftoverTeller = std::function<ToldLeftovers(const std::filesystem::path& file, const std::atomic<bool>& stop)>;

// A seed file's serials as a lookup found them: the set, empty for a file
// that is missing; null when the file could not be read (`error` says why),
// which is no proof that it holds no serial.
struct SerialsLookup {
  const SerialSet* serials = nullptr;
  FileError error;
};

class SeedFileCache {
 public:
  SeedFileCache() = default;
  SeedFileCache(const SeedFileCache&) = delete;
  SeedFileCache& operator=(const SeedFileCache&) = delete;
  // Stops a read-ahead that still runs.
  ~SeedFileCache();

  // Starts reading the serials of the four seed files in `folder` on
  // threads of their own, so that the first "Generate" or "Save" of a form
  // finds them read; Serials() waits for what they have not finished. The
  // serials of a CSV file are taken in `codePage` (a numbered one: those
  // threads' locale is not this one's). Then `tell` tells the leftovers of
  // each XML file that has some, and `told` is called on the last thread
  // when they are all told (AwaitLeftovers).
  void Prefetch(const std::filesystem::path& folder, std::uint32_t codePage, LeftoverTeller tell = {},
                std::function<void()> told = {});

  // Whether the read-ahead is still telling the leftovers of `file`, or
  // still reading its serials.
  bool TellingLeftovers(const std::filesystem::path& file) { return Unfinished(file, true); }
  bool ReadingSerials(const std::filesystem::path& file) { return Unfinished(file, false); }
  // Waits until the read-ahead has told the leftovers of `file`, if it does,
  // and keeps its verdicts.
  void AwaitLeftovers(const std::filesystem::path& file) { Await(file, true); }

  // The serials that `name` (one of kSeedFileNames) in `folder` holds, read
  // when the file changed since (its fingerprint differs). A file another
  // program holds so that it cannot be read (a sharing violation, a lock) is
  // tried again for `patience` before it counts as unreadable; unreadable is
  // tried again next time. Valid until the next call for the same file.
  SerialsLookup Lookup(const std::filesystem::path& folder, const SeedFileName& name, SeedFileAccess& files,
                       std::chrono::milliseconds patience);
  // The same without patience, an unreadable file giving no serials.
  const SerialSet& Serials(const std::filesystem::path& folder, const SeedFileName& name, SeedFileAccess& files);

  // A save is about to write `file` under its lock: the read-ahead stops
  // reading it (its serials, its leftovers) and this returns once its open
  // file is closed, so that no read ahead, however long, keeps a save
  // waiting. What it had not read is read when asked.
  void YieldFile(const std::filesystem::path& file);

  // The verdict on `leftover` told at these stamps and the file's ends, or null.
  const LeftoverVerdict* Verdict(const std::filesystem::path& leftover, const FileStamp& leftoverStamp,
                                 const FileFingerprint& file) const;
  void Remember(const std::filesystem::path& leftover, LeftoverVerdict verdict);
  void Forget(const std::filesystem::path& leftover) { verdicts_.erase(leftover); }

  // The tool added `token` to `file` under its lock: the file was `before`
  // then and is `after` now. What was known of `before` is known of `after`
  // with the token; anything older is dropped.
  void Appended(const std::filesystem::path& file, const FileFingerprint& before, const FileFingerprint& after,
                const AppendedToken& token);

 private:
  struct FileSerials {
    FileFingerprint print;  // taken before the read
    bool read = false;
    SerialSet serials;
  };

  // One file's serials, or the verdicts on its leftovers, read ahead.
  struct ReadAheadJob {
    ReadAheadJob(std::filesystem::path of, const SeedFileName* serialsOfName)
        : file(std::move(of)), serialsOf(serialsOfName) {}
    std::filesystem::path file;
    const SeedFileName* serialsOf;  // null: the leftovers of `file`
    std::atomic<bool> stop{false};  // the run ends, or a save of `file` asks it to yield
    // Set under the lock by the thread that did it, or by YieldFile for a job not begun:
    bool done = false;
    FileSerials serials;  // kept only when read whole
    ToldLeftovers verdicts;
    bool taken = false;  // moved into serials_ or verdicts_
  };
  // Each read-ahead thread: the next job until none is left.
  void ReadAhead(std::uint32_t codePage);
  FileSerials ReadSerialsAhead(ReadAheadJob& job, std::uint32_t codePage);
  // Marks `job` done, under the lock; true when it was the last.
  bool Finish(ReadAheadJob& job);
  bool Unfinished(const std::filesystem::path& file, bool leftovers);
  // Waits for the job of `file`, if there is one, and keeps what it read.
  void Await(const std::filesystem::path& file, bool leftovers);

  std::map<std::filesystem::path, FileSerials> serials_;
  std::map<std::filesystem::path, LeftoverVerdict> verdicts_;

  // The read-ahead. Its jobs are fixed before its threads start; a deque
  // keeps each in its place as more are added.
  std::deque<ReadAheadJob> jobs_;
  LeftoverTeller tell_;
  std::function<void()> told_;
  std::vector<std::thread> readers_;
  std::mutex lock_;  // over the jobs' results and the two counts below
  std::condition_variable jobDone_;
  std::size_t nextJob_ = 0;
  std::size_t jobsDone_ = 0;
  std::atomic<bool> stopReading_{false};
};
