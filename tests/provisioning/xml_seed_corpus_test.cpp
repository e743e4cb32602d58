// Every input in xml_corpus/ (fuzz finds and the seeds they grew from) keeps
// the invariants of the XML seed step.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/provisioning/xml_seed_invariants.h"

namespace {

TEST(XmlSeedCorpus, EveryKeptInputHoldsTheInvariants) {
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(XML_CORPUS_DIR)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(xml_seed_invariants::CheckAll(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "");
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
