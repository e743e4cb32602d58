#include "provisioning/seed_files/seed_file_cache.h"

#include <algorithm>
#include <iterator>
#include <system_error>

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
  for (std::thread& reader : readers_) reader.join();
}

void SeedFileCache::Prefetch(const std::filesystem::path& folder, std::uint32_t codePage, LeftoverTeller tell,
                             std::function<void()> told) {
  if (folder.empty() || !jobs_.empty()) return;
  for (const SeedFileName& name : kSeedFileNames) jobs_.push_back(ReadAheadJob{folder / name.name, &name});
  if (tell) {
    // A missing file's leftovers are for the settling itself: one may have to take its place.
    for (const SeedFileName& name : kSeedFileNames) {
      const std::filesystem::path file = folder / name.name;
      if (!name.csv && StampOf(file).exists && HasLeftovers(file)) jobs_.push_back(ReadAheadJob{file, nullptr});
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

void SeedFileCache::ReadAhead(std::uint32_t codePage) {
  for (;;) {
    std::size_t index = 0;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (stopReading_ || nextJob_ == jobs_.size()) return;
      index = nextJob_++;
    }
    ReadAheadJob& job = jobs_[index];
    FileSerials serials;
    ToldLeftovers verdicts;
    try {
      if (job.serialsOf) {
        serials = ReadSerialsAhead(job, codePage);
      } else {
        verdicts = tell_(job.file, stopReading_);
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
      job.done = true;
      last = ++jobsDone_ == jobs_.size();
    }
    jobDone_.notify_all();
    if (last && told_ && !stopReading_) told_();
  }
}

SeedFileCache::FileSerials SeedFileCache::ReadSerialsAhead(const ReadAheadJob& job, std::uint32_t codePage) {
  FileSerials file;
  // Stamped before the read: a change meanwhile shows as a stamp that differs later.
  file.stamp = StampOf(job.file);
  if (file.stamp.exists) {
    OpenForReadingOutcome opened = Stoppable(::OpenForReading(job.file), stopReading_);
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

bool SeedFileCache::TellingLeftovers(const std::filesystem::path& file) {
  for (const ReadAheadJob& job : jobs_) {
    if (job.file != file || job.serialsOf) continue;
    std::lock_guard<std::mutex> hold(lock_);
    return !job.done;
  }
  return false;
}

const SerialSet& SeedFileCache::Serials(const std::filesystem::path& folder, const SeedFileName& name,
                                        SeedFileAccess& files) {
  static const SerialSet kNone;
  if (folder.empty()) return kNone;
  const std::filesystem::path path = folder / name.name;
  Await(path, false);
  FileSerials& file = serials_[path];
  const FileStamp now = StampOf(path);
  if (file.read && now == file.stamp) return file.serials;
  file = FileSerials{};
  file.stamp = now;
  if (!now.exists) {
    file.read = true;
    return file.serials;
  }
  ++reads_;
  OpenForReadingOutcome opened = files.OpenForReading(path);
  file.read = opened.source && CollectFileSerials(*opened.source, name, kThreadAnsiCodePage, file.serials);
  // What cannot be read takes nothing away.
  if (!file.read) file.serials = SerialSet{};
  return file.serials;
}

SeedFileCache::SerialsLookup SeedFileCache::Lookup(const std::filesystem::path& folder, const SeedFileName& name,
                                                   SeedFileAccess& files, std::chrono::milliseconds patience) {
  const auto until = std::chrono::steady_clock::now() + patience;
  for (;;) {
    const SerialSet& serials = Serials(folder, name, files);
    const FileSerials& file = serials_[folder / name.name];
    if (file.read) return {&serials, {}};
    // Opened again only to learn why it could not be read.
    OpenForReadingOutcome opened = files.OpenForReading(folder / name.name);
    const bool busy = opened.state != OpenForReadingOutcome::State::Failed || opened.error.InUse();
    if (!busy || std::chrono::steady_clock::now() >= until) return {nullptr, opened.error};
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

const LeftoverVerdict* SeedFileCache::Verdict(const std::filesystem::path& leftover, const FileStamp& leftoverStamp,
                                              const FileStamp& fileStamp) const {
  const auto found = verdicts_.find(leftover);
  if (found == verdicts_.end()) return nullptr;
  const LeftoverVerdict& verdict = found->second;
  return verdict.leftoverStamp == leftoverStamp && verdict.fileStamp == fileStamp ? &verdict : nullptr;
}

void SeedFileCache::Remember(const std::filesystem::path& leftover, LeftoverVerdict verdict) {
  verdicts_[leftover] = std::move(verdict);
}

void SeedFileCache::Appended(const std::filesystem::path& file, const FileStamp& before, const FileStamp& after,
                             const AppendedToken& token) {
  // What the read-ahead had of `before` is updated too, not left to replace it later.
  Await(file, false);
  Await(file, true);
  const auto serials = serials_.find(file);
  if (serials != serials_.end()) {
    FileSerials& known = serials->second;
    if (known.read && known.stamp == before) {
      for (const std::string& serial : token.serials) known.serials.Insert(serial);
      known.stamp = after;
    } else {
      serials_.erase(serials);
    }
  }
  for (auto at = verdicts_.begin(); at != verdicts_.end();) {
    LeftoverVerdict& verdict = at->second;
    if (verdict.file != file) {
      ++at;
    } else if (verdict.fileStamp == before) {
      // The file now holds the token too: a leftover that lacked only it may go.
      for (const std::uint64_t key : token.tokens) {
        const auto lacking = std::lower_bound(verdict.lacking.begin(), verdict.lacking.end(), key);
        if (lacking != verdict.lacking.end() && *lacking == key) verdict.lacking.erase(lacking);
      }
      verdict.fileStamp = after;
      ++at;
    } else {
      at = verdicts_.erase(at);
    }
  }
}
