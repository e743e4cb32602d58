// The leftovers of interrupted saves that were reported already in this run:
// one that is kept is reported the first time only, not at every save or
// settling that finds it again.
#pragma once

#include <filesystem>
#include <mutex>
#include <set>

class ReportedLeftovers {
 public:
  // True the first time `leftover` is asked about.
  bool FirstReport(const std::filesystem::path& leftover);

 private:
  std::mutex guard_;
  std::set<std::filesystem::path> reported_;
};
