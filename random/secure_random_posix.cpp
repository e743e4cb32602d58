// The kernel's secure generator.
#include <sys/random.h>

#include <cerrno>

#include "random/random_generation.h"

bool FillSecureRandom(std::uint8_t* buffer, std::size_t count) {
  std::size_t filled = 0;
  while (filled < count) {
    // Large requests may come back short, and a signal may interrupt one.
    const ssize_t got = getrandom(buffer + filled, count - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    filled += static_cast<std::size_t>(got);
  }
  return true;
}
