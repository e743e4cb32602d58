#include "provisioning/seed_files/seed_file_cache.h"

#include <algorithm>

#include "files/file_source.h"
#include "text/code_page.h"

namespace {

// Fails every read once asked to stop, so that a reader gives up at its next block.
class StoppableSource final : public ByteSource {
 public:
  StoppableSource(ByteSource& inner, const std::atomic<bool>& stop) : inner_(inner), stop_(stop) {}
  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
    if (stop_) return std::nullopt;
    return inner_.Read(buffer, capacity);
  }

 private:
  ByteSource& inner_;
  const std::atomic<bool>& stop_;
};

}  // namespace

SeedFileCache::~SeedFileCache() {
  stopPrefetch_ = true;
  if (prefetch_.joinable()) prefetch_.join();
}

void SeedFileCache::Prefetch(const std::filesystem::path& folder, std::uint32_t codePage) {
  if (folder.empty() || prefetch_.joinable()) return;
  prefetch_ = std::thread([this, folder, codePage] {
    try {
      PrefetchAll(folder, codePage);
    } catch (...) {
      // Out of memory, most likely: what was not read ahead is read when asked,
      // where the failure is handled as it always was.
    }
  });
}

void SeedFileCache::PrefetchAll(const std::filesystem::path& folder, std::uint32_t codePage) {
  for (const SeedFileName& name : kSeedFileNames) {
    Prefetched file{folder / name.name, {}};
    // Stamped before the read: a change meanwhile shows as a stamp that differs later.
    file.serials.stamp = StampOf(file.path);
    if (file.serials.stamp.exists) {
      OpenForReadingOutcome opened = ::OpenForReading(file.path);
      if (!opened.source) continue;
      StoppableSource source(*opened.source, stopPrefetch_);
      if (!(name.csv ? CollectCsvSerials(source, name.totp, codePage, file.serials.serials)
                     : CollectSerials(source, file.serials.serials))) {
        continue;
      }
    }
    file.serials.read = true;
    file.serials.serials.Prepare();  // here, not in the first click
    prefetched_.push_back(std::move(file));
  }
}

void SeedFileCache::TakePrefetched() {
  if (!prefetch_.joinable()) return;
  prefetch_.join();
  for (Prefetched& file : prefetched_) serials_[file.path] = std::move(file.serials);
  prefetched_.clear();
}

const SerialSet& SeedFileCache::Serials(const std::filesystem::path& folder, const SeedFileName& name,
                                        SeedFileAccess& files) {
  static const SerialSet kNone;
  if (folder.empty()) return kNone;
  TakePrefetched();
  const std::filesystem::path path = folder / name.name;
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
  file.read =
      opened.source && (name.csv ? CollectCsvSerials(*opened.source, name.totp, kThreadAnsiCodePage, file.serials)
                                 : CollectSerials(*opened.source, file.serials));
  // What cannot be read takes nothing away.
  if (!file.read) file.serials = SerialSet{};
  return file.serials;
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
  TakePrefetched();
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
