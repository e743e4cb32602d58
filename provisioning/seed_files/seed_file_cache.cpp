#include "provisioning/seed_files/seed_file_cache.h"

#include <algorithm>

#include "text/code_page.h"

const SerialSet& SeedFileCache::Serials(const std::filesystem::path& folder, const SeedFileName& name,
                                        SeedFileAccess& files) {
  static const SerialSet kNone;
  if (folder.empty()) return kNone;
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
  file.read = opened.source && (name.csv ? CollectCsvSerials(*opened.source, name.totp, kThreadAnsiCodePage,
                                                             file.serials)
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
  const auto serials = serials_.find(file);
  if (serials != serials_.end()) {
    FileSerials& known = serials->second;
    if (known.read && known.stamp == before) {
      for (const std::string& serial : token.serials) known.serials.Add(serial);
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
