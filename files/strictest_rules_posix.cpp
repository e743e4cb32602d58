#include "files/strictest_rules_posix.h"

#include <cerrno>
#include <cstdint>

namespace {

int BitsGranted(mode_t mode) {
  int count = 0;
  for (mode_t bits = mode & 0777; bits != 0; bits &= bits - 1) ++count;
  return count;
}

// The stricter of two: only the permission bits both grant (which is the
// fewer where one grants a subset of the other's), a group's bits only when
// both have that group, under the owner and group of the one granting fewer.
struct stat Stricter(const struct stat& first, const struct stat& second) {
  struct stat rules = BitsGranted(second.st_mode) < BitsGranted(first.st_mode) ? second : first;
  mode_t mode = first.st_mode & second.st_mode & 07777;
  if (first.st_gid != second.st_gid) mode &= ~static_cast<mode_t>(070);
  rules.st_mode = (rules.st_mode & ~static_cast<mode_t>(07777)) | mode;
  return rules;
}

}  // namespace

bool StrictestRulesOf(const std::vector<std::filesystem::path>& from, struct stat& rules, bool& found,
                      FileError& error) {
  found = false;
  for (const std::filesystem::path& file : from) {
    struct stat status {};
    if (stat(file.c_str(), &status) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) continue;
      error = LastSystemError();
      return false;
    }
    rules = found ? Stricter(rules, status) : status;
    found = true;
  }
  return true;
}
