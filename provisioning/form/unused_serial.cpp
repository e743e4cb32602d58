#include "provisioning/form/unused_serial.h"

#include <cstring>

#include "random/random_generation.h"

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
