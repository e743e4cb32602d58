#include "provisioning/seed_files/reported_leftovers.h"

bool ReportedLeftovers::FirstReport(const std::filesystem::path& leftover) {
  const std::lock_guard<std::mutex> hold(guard_);
  return reported_.insert(leftover).second;
}
