#include "provisioning/seed_files/seed_file_cache.h"

#include <algorithm>
#include <iterator>
#include <system_error>

#include "files/busy_retry.h"
#include "files/file_source.h"
#include "files/stoppable_source.h"
#include "text/code_page.h"

namespace {

// The four files taken in turn: each thread reads about half the bytes, and
// the two cores of a small machine both work at the first "Generate".
constexpr int kReadAheadThreads = 2;

// Whether `file` has leftovers of interrupted saves for a teller to tell.
bool HasLeftovers(const std::filesystem::path& file) {
  for (const TemporaryFile& temporary : FindTemporaries(file)) {
    if (!temporary.inUse && !temporary.link) return true;
  }
  return false;
}

// Adds the serials of the seed file `name` names, read from `in`; false when a read failed.
bool CollectFileSerials(ByteSource& in, const SeedFileName& name, std::uint32_t codePage, SerialSet& serials) {
  return name.csv ? CollectCsvSerials(in, name.totp, codePage, serials) : CollectSerials(in, serials);
}

}  // namespace

SeedFileCache::~SeedFileCache() {
  stopReading_ = true;
  for (ReadAheadJob& job : jobs_) job.stop = true;
  for (std::thread& reader : readers_) reader.join();
}

void SeedFileCache::Prefetch(const std::filesystem::path& folder, std::uint32_t codePage, LeftoverTeller tell,
                             std::function<void()> told) {
  if (folder.empty() || !jobs_.empty()) return;
  for (const SeedFileName& name : kSeedFileNames) jobs_.emplace_back(folder / name.name, &name);
  if (tell) {
    // A missing file's leftovers are for the settling itself: one may have to take its place.
    for (const SeedFileName& name : kSeedFileNames) {
      const std::filesystem::path file = folder / name.name;
      if (!name.csv && StampOf(file).exists && HasLeftovers(file)) jobs_.emplace_back(file, nullptr);
    }
  }
  if (jobs_.size() == std::size(kSeedFileNames)) told = {};  // nothing to tell
  tell_ = std::move(tell);
  told_ = std::move(told);
  for (int i = 0; i < kReadAheadThreads; ++i) {
    try {
      readers_.emplace_back([this, codePage] { ReadAhead(codePage); });
    } catch (const std::system_error&) {
      break;  // the threads there are do every job
    }
  }
  if (readers_.empty()) jobs_.clear();  // read when asked
}

bool SeedFileCache::Finish(ReadAheadJob& job) {
  job.done = true;
  return ++jobsDone_ == jobs_.size();
}

void SeedFileCache::ReadAhead(std::uint32_t codePage) {
  for (;;) {
    std::size_t index = 0;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (stopReading_ || nextJob_ == jobs_.size()) return;
      index = nextJob_++;
      if (jobs_[index].done) continue;  // a save took the file before it began
    }
    ReadAheadJob& job = jobs_[index];
    FileSerials serials;
    ToldLeftovers verdicts;
    try {
      if (job.serialsOf) {
        serials = ReadSerialsAhead(job, codePage);
      } else {
        verdicts = tell_(job.file, job.stop);
      }
    } catch (...) {
      // Out of memory, most likely: what was not read ahead is read when
      // asked, where the failure is handled as it always was.
      serials = FileSerials{};
      verdicts.clear();
    }
    bool last = false;
    {
      std::lock_guard<std::mutex> hold(lock_);
      job.serials = std::move(serials);
      job.verdicts = std::move(verdicts);
      last = Finish(job);
    }
    jobDone_.notify_all();
    if (last && told_ && !stopReading_) told_();
  }
}

SeedFileCache::FileSerials SeedFileCache::ReadSerialsAhead(ReadAheadJob& job, std::uint32_t codePage) {
  FileSerials file;
  // Taken before the read: a change meanwhile shows as a fingerprint that differs later.
  file.print = FingerprintOf(job.file);
  if (!file.print.read) return FileSerials{};
  if (file.print.stamp.exists) {
    // Shared with writers: a save of the tool's own is never refused because of it.
    OpenForReadingOutcome opened = Stoppable(::OpenSharedForReading(job.file), job.stop);
    if (!opened.source || !CollectFileSerials(*opened.source, *job.serialsOf, codePage, file.serials)) {
      return FileSerials{};
    }
  }
  file.read = true;
  file.serials.Prepare();  // here, not in the first click
  return file;
}

void SeedFileCache::Await(const std::filesystem::path& file, bool leftovers) {
  for (ReadAheadJob& job : jobs_) {
    if (job.file != file || (job.serialsOf == nullptr) != leftovers) continue;
    std::unique_lock<std::mutex> hold(lock_);
    jobDone_.wait(hold, [&job] { return job.done; });
    if (job.taken) return;
    job.taken = true;
    for (auto& [leftover, verdict] : job.verdicts) verdicts_[leftover] = std::move(verdict);
    if (job.serials.read) serials_[file] = std::move(job.serials);
    job.verdicts.clear();
    return;
  }
}

void SeedFileCache::YieldFile(const std::filesystem::path& file) {
  bool last = false;
  {
    std::unique_lock<std::mutex> hold(lock_);
    for (std::size_t index = 0; index < jobs_.size(); ++index) {
      ReadAheadJob& job = jobs_[index];
      if (job.file != file || job.done) continue;
      job.stop = true;
      // Not begun: no thread will read it now.
      if (index >= nextJob_) last = Finish(job) || last;
    }
    // Its reader closes the file before it says it is done.
    jobDone_.wait(hold, [&] {
      return std::all_of(jobs_.begin(), jobs_.end(),
                         [&](const ReadAheadJob& job) { return job.file != file || job.done; });
    });
  }
  jobDone_.notify_all();
  if (last && told_ && !stopReading_) told_();
}

bool SeedFileCache::Unfinished(const std::filesystem::path& file, bool leftovers) {
  for (const ReadAheadJob& job : jobs_) {
    if (job.file != file || (job.serialsOf == nullptr) != leftovers) continue;
    std::lock_guard<std::mutex> hold(lock_);
    return !job.done;
  }
  return false;
}

SerialsLookup SeedFileCache::Lookup(const std::filesystem::path& folder, const SeedFileName& name,
                                    SeedFileAccess& files, std::chrono::milliseconds patience) {
  static const SerialSet kNone;
  if (folder.empty()) return {&kNone, {}};
  const std::filesystem::path path = folder / name.name;
  Await(path, false);
  FileSerials& file = serials_[path];
  FileError error;
  RetryWhileRefused(patience, [&] {
    const FileFingerprint now = FingerprintOf(path);
    if (file.read && now == file.print) return false;
    file = FileSerials{};
    file.print = now;
    if (now.read && !now.stamp.exists) {
      file.read = true;
      return false;
    }
    OpenForReadingOutcome opened = files.OpenForReading(path);
    file.read = opened.state == OpenForReadingOutcome::State::Missing ||
                (opened.source && CollectFileSerials(*opened.source, name, kThreadAnsiCodePage, file.serials));
    if (file.read) return false;
    // What cannot be read takes nothing away, and proves nothing.
    file.serials = SerialSet{};
    error = opened.source ? opened.source->error : opened.error;
    return error.InUse();
  });
  if (!file.read) return {nullptr, error};
  return {&file.serials, {}};
}

const SerialSet& SeedFileCache::Serials(const std::filesystem::path& folder, const SeedFileName& name,
                                        SeedFileAccess& files) {
  static const SerialSet kNone;
  const SerialsLookup found = Lookup(folder, name, files, std::chrono::milliseconds(0));
  return found.serials ? *found.serials : kNone;
}

const LeftoverVerdict* SeedFileCache::Verdict(const std::filesystem::path& leftover, const FileStamp& leftoverStamp,
                                              const FileFingerprint& file) const {
  const auto found = verdicts_.find(leftover);
  if (found == verdicts_.end()) return nullptr;
  const LeftoverVerdict& verdict = found->second;
  const bool fileUnchanged = file.read && verdict.fileStamp == file.stamp && verdict.fileEnds == file.ends;
  return verdict.leftoverStamp == leftoverStamp && fileUnchanged ? &verdict : nullptr;
}

void SeedFileCache::Remember(const std::filesystem::path& leftover, LeftoverVerdict verdict) {
  verdicts_[leftover] = std::move(verdict);
}

void SeedFileCache::Appended(const std::filesystem::path& file, const FileFingerprint& before,
                             const FileFingerprint& after, const AppendedToken& token) {
  // What the read-ahead had of `before` is updated too, not left to replace it later.
  Await(file, false);
  Await(file, true);
  const auto serials = serials_.find(file);
  if (serials != serials_.end()) {
    FileSerials& known = serials->second;
    if (known.read && known.print == before && after.read) {
      for (const std::string& serial : token.serials) known.serials.Insert(serial);
      known.print = after;
    } else {
      serials_.erase(serials);
    }
  }
  for (auto at = verdicts_.begin(); at != verdicts_.end();) {
    LeftoverVerdict& verdict = at->second;
    if (verdict.file != file) {
      ++at;
    } else if (before.read && after.read && verdict.fileStamp == before.stamp && verdict.fileEnds == before.ends) {
      // The file now holds the token too: a leftover that lacked only it may go.
      for (const std::uint64_t key : token.tokens) {
        const auto lacking = std::lower_bound(verdict.lacking.begin(), verdict.lacking.end(), key);
        if (lacking != verdict.lacking.end() && *lacking == key) verdict.lacking.erase(lacking);
      }
      verdict.fileStamp = after.stamp;
      verdict.fileEnds = after.ends;
      ++at;
    } else {
      at = verdicts_.erase(at);
    }
  }
}
