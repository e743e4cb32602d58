#include "provisioning/form/unused_serial.h"

#include <algorithm>
#include <cstring>

#include "provisioning/seed_files/files/file_source.h"
#include "provisioning/seed_files/seed_file_serials.h"
#include "random/random_generation.h"
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

const SerialSet& SeedFileSerialCache::Serials(const char* fileName) {
  static const SerialSet kNone;
  if (folder_.empty()) return kNone;
  const std::filesystem::path path = folder_ / fileName;
  File& file = files_[fileName];
  const FileStamp now = StampOf(path);
  if (!file.read || now != file.stamp) {
    file = File{};
    file.stamp = now;
    if (now.exists) {
      ++reads_;
      OpenForReadingOutcome opened = OpenForReading(path);
      // What cannot be read takes nothing away; it is tried again next time.
      file.read = opened.source && CollectSerials(*opened.source, file.serials);
      if (!file.read) file.serials = SerialSet{};
    } else {
      file.read = true;
    }
  }
  return file.serials;
}

namespace {

// The serials the key lists; none when it cannot list them.
std::vector<std::string> ListedSerials(ITokenLibrary& library) {
  std::vector<std::string> serials;
  for (const TokenRecord& record : ListKeyTokens(library).tokens) serials.push_back(TextWithin(record.serial));
  return serials;
}

}  // namespace

SerialUse FindSerialUse(SeedFileSerialCache& files, const char* xmlFileName, ITokenLibrary& library,
                        const std::string& serial) {
  for (const std::string& listed : ListedSerials(library)) {
    if (listed == serial) return SerialUse::OnKey;
  }
  return files.Holds(xmlFileName, serial) ? SerialUse::InSeedFile : SerialUse::Free;
}

std::vector<bool> SerialsInUse(SeedFileSerialCache& files, ITokenLibrary& library,
                               const std::vector<std::string>& candidates) {
  const std::vector<std::string> listed = ListedSerials(library);
  // Each file is looked at once for the whole batch.
  const SerialSet& hotp = files.Serials("hseeds.xml");
  const SerialSet& totp = files.Serials("tseeds.xml");
  std::vector<bool> taken(candidates.size(), false);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    taken[i] = hotp.Contains(candidates[i]) || totp.Contains(candidates[i]) ||
               std::find(listed.begin(), listed.end(), candidates[i]) != listed.end();
  }
  return taken;
}

std::vector<bool> SerialsInUse(const std::filesystem::path& seedFolder, ITokenLibrary& library,
                               const std::vector<std::string>& candidates) {
  SeedFileSerialCache files(seedFolder);
  return SerialsInUse(files, library, candidates);
}
