// What this process knows of the seed files and of what interrupted saves
// left beside them, so that an unchanged file is read once, not at every
// click, form, save and settling. Each entry keeps the stamp (size, write
// time, identity) of the file it was read from: a file anyone else changed
// is read again, while the tool's own appends update the entries in place,
// as it knows what it added. Memory grows with the serials (8 bytes each),
// never with the files' bytes. Used from one thread, which a prefetch of
// its own may run beside.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "files/file_io.h"
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
};

class SeedFileCache {
 public:
  SeedFileCache() = default;
  SeedFileCache(const SeedFileCache&) = delete;
  SeedFileCache& operator=(const SeedFileCache&) = delete;
  // Stops a prefetch that still runs.
  ~SeedFileCache();

  // Starts reading the serials of the four seed files in `folder` on a
  // thread of its own, so that the first "Generate" or "Save" of a form
  // finds them read; Serials() waits for what it has not finished. The
  // serials of a CSV file are taken in `codePage` (a numbered one: that
  // thread's locale is not this one's).
  void Prefetch(const std::filesystem::path& folder, std::uint32_t codePage);

  // The serials that `name` (one of kSeedFileNames) in `folder` holds, read
  // when the file changed since; none when it cannot be read, which is tried
  // again next time. Valid until the next call for the same file.
  const SerialSet& Serials(const std::filesystem::path& folder, const SeedFileName& name, SeedFileAccess& files);

  // The verdict on `leftover` told at these stamps, or null.
  const LeftoverVerdict* Verdict(const std::filesystem::path& leftover, const FileStamp& leftoverStamp,
                                 const FileStamp& fileStamp) const;
  void Remember(const std::filesystem::path& leftover, LeftoverVerdict verdict);
  void Forget(const std::filesystem::path& leftover) { verdicts_.erase(leftover); }

  // The tool added `token` to `file` under its lock: the file was `before`
  // then and is `after` now. What was known of `before` is known of `after`
  // with the token; anything older is dropped.
  void Appended(const std::filesystem::path& file, const FileStamp& before, const FileStamp& after,
                const AppendedToken& token);

  // How many times a seed file's serials were read, for tests.
  int Reads() const { return reads_; }

 private:
  struct FileSerials {
    FileStamp stamp;
    bool read = false;
    SerialSet serials;
  };

  struct Prefetched {
    std::filesystem::path path;
    FileSerials serials;
  };
  // The prefetch's thread: the four files, each kept only when read whole.
  void PrefetchAll(const std::filesystem::path& folder, std::uint32_t codePage);
  // Joins a prefetch and keeps what it read.
  void TakePrefetched();

  std::map<std::filesystem::path, FileSerials> serials_;
  std::thread prefetch_;
  std::vector<Prefetched> prefetched_;  // the prefetch's own until joined
  std::atomic<bool> stopPrefetch_{false};
  std::map<std::filesystem::path, LeftoverVerdict> verdicts_;
  int reads_ = 0;
};
