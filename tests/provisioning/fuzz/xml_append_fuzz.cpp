// libFuzzer target: any bytes through the XML rewrite (load and append).
// Inputs that find a fault go into tests/provisioning/xml_corpus/.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/provisioning/xml_seed_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string failure = xml_seed_invariants::CheckRewrite(
      std::string(reinterpret_cast<const char*>(data) + 1, size - 1), (data[0] & 1) != 0);
  if (!failure.empty()) {
    std::fprintf(stderr, "xml_append_fuzz: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
