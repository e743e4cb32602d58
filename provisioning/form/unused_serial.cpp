#include "provisioning/form/unused_serial.h"

#include <algorithm>
#include <cstring>

#include "files/file_source.h"
#include "provisioning/seed_files/save_record_format.h"
#include "provisioning/seed_files/seed_file_serials.h"
#include "random/random_generation.h"
#include "text/code_page.h"
#include "text/unicode_text.h"
#include "vendor/bounded_text.h"
#include "vendor/key_queries.h"

namespace {

// Two of 387 million serials collide rarely: one batch nearly always does,
// and each batch costs one read of the seed files.
constexpr int kBatchSize = 8;
constexpr int kBatches = 4;

}  // namespace

bool DrawUnusedSerial(const std::function<bool(char*)>& draw, const SerialsTakenCheck& taken, char* buffer) {
  std::vector<std::string> batch;
  for (int round = 0; round < kBatches; ++round) {
    batch.clear();
    for (int i = 0; i < kBatchSize; ++i) {
      char serial[kSerialNumberLength + 1] = {};
      if (!draw(serial)) return false;
      batch.emplace_back(serial, kSerialNumberLength);
    }
    const std::vector<bool> used = taken(batch);
    for (std::size_t i = 0; i < batch.size(); ++i) {
      if (i >= used.size() || !used[i]) {
        std::memcpy(buffer, batch[i].c_str(), kSerialNumberLength + 1);
        return true;
      }
    }
  }
  std::memcpy(buffer, batch.back().c_str(), kSerialNumberLength + 1);
  return true;
}

namespace {

// The serials the key lists; none when it cannot list them.
std::vector<std::string> ListedSerials(ITokenLibrary& library) {
  std::vector<std::string> serials;
  for (const TokenRecord& record : ListKeyTokens(library).tokens) serials.push_back(TextWithin(record.serial));
  return serials;
}

std::vector<PendingSerial> RecordedSerials(const std::filesystem::path& folder) {
  if (folder.empty()) return {};
  SeedFileAccess files;
  return PendingSaveSerials(folder, files);
}

}  // namespace

SerialUse FindSerialUse(SeedFileSerialCache& files, bool totp, ITokenLibrary& library, const std::string& bytes,
                        const MessageText& text) {
  using Place = SerialUse::Place;
  for (const std::string& listed : ListedSerials(library)) {
    if (listed == bytes) return {Place::OnKey, listed};
  }
  // The files of the token's own kind first: the likeliest, and named first.
  const std::string utf8 = Utf8FromUtf16(text);
  for (const bool ownKind : {true, false}) {
    for (const SeedFileName& file : kSeedFileNames) {
      if ((file.totp == totp) != ownKind) continue;
      const SerialSet& serials = files.Serials(file);
      if (serials.Contains(bytes) || serials.Contains(utf8)) return {Place::InSeedFile, file.name};
    }
  }
  for (const PendingSerial& recorded : RecordedSerials(files.Folder())) {
    if (recorded.serial == bytes) return {Place::InRecord, recorded.record};
  }
  return {};
}

std::vector<bool> SerialsInUse(SeedFileSerialCache& files, ITokenLibrary& library,
                               const std::vector<std::string>& candidates) {
  const std::vector<std::string> listed = ListedSerials(library);
  const std::vector<PendingSerial> recorded = RecordedSerials(files.Folder());
  std::vector<bool> taken(candidates.size(), false);
  // Each file is looked at once for the whole batch.
  for (const SeedFileName& file : kSeedFileNames) {
    const SerialSet& serials = files.Serials(file);
    for (std::size_t i = 0; i < candidates.size(); ++i) taken[i] = taken[i] || serials.Contains(candidates[i]);
  }
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    taken[i] = taken[i] || std::find(listed.begin(), listed.end(), candidates[i]) != listed.end() ||
               std::any_of(recorded.begin(), recorded.end(),
                           [&](const PendingSerial& r) { return r.serial == candidates[i]; });
  }
  return taken;
}

std::vector<bool> SerialsInUse(const std::filesystem::path& seedFolder, ITokenLibrary& library,
                               const std::vector<std::string>& candidates) {
  SeedFileSerialCache files(seedFolder);
  return SerialsInUse(files, library, candidates);
}
