#include "provisioning/form/unused_serial.h"

#include <cstring>

#include "provisioning/seed_file_serials.h"
#include "random/random_generation.h"
#include "vendor/bounded_text.h"
#include "vendor/cv_manager.h"

namespace {

// Two of 387 million serials collide rarely: one batch nearly always does,
// and each batch costs one read of the seed files.
constexpr int kBatchSize = 8;
constexpr int kBatches = 4;

}  // namespace

bool DrawUnusedSerial(const std::function<bool(char*)>& draw, const SerialsTakenCheck& taken,
                      char* buffer) {
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

SerialUse FindSerialUse(const std::filesystem::path& seedFolder, const char* xmlFileName, ITokenLibrary& library,
                        const std::string& serial) {
  std::vector<TokenRecord> listing(kMaxTokens);
  std::memset(listing.data(), 0, listing.size() * sizeof(TokenRecord));
  if (library.OtpList(0, listing.data()) == CV_OK) {
    for (const TokenRecord& record : listing) {
      const std::string listed(record.serial, BoundedLength(record.serial, sizeof record.serial));
      if (listed.empty()) break;  // the key's list ends at the first empty serial
      if (listed == serial) return SerialUse::OnKey;
    }
  }
  std::vector<bool> found;
  if (!seedFolder.empty() && FindSerialsInFile(seedFolder / xmlFileName, {serial}, found) && found[0]) {
    return SerialUse::InSeedFile;
  }
  return SerialUse::Free;
}

std::vector<bool> SerialsInUse(const std::filesystem::path& seedFolder, ITokenLibrary& library,
                               const std::vector<std::string>& candidates) {
  std::vector<bool> taken(candidates.size(), false);
  if (!seedFolder.empty()) {
    for (const char* name : {"hseeds.xml", "tseeds.xml"}) {
      std::vector<bool> found;
      if (FindSerialsInFile(seedFolder / name, candidates, found)) {
        for (std::size_t i = 0; i < taken.size(); ++i) taken[i] = taken[i] || found[i];
      }
    }
  }
  std::vector<TokenRecord> listing(kMaxTokens);
  std::memset(listing.data(), 0, listing.size() * sizeof(TokenRecord));
  if (library.OtpList(0, listing.data()) == CV_OK) {
    for (const TokenRecord& record : listing) {
      const std::string serial(record.serial, BoundedLength(record.serial, sizeof record.serial));
      if (serial.empty()) continue;
      for (std::size_t i = 0; i < taken.size(); ++i) taken[i] = taken[i] || candidates[i] == serial;
    }
  }
  return taken;
}
