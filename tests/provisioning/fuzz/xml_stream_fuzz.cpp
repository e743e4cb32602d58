// libFuzzer target, differential: the streaming append against the rewrite on
// any bytes, and files the tool writes from any texts (which must stream).
// Inputs that find a fault go into tests/provisioning/xml_corpus/.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/provisioning/xml_seed_invariants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string failure = xml_seed_invariants::CheckAll(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "xml_stream_fuzz: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
