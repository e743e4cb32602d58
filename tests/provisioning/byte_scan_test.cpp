// The byte searches against a plain search of the same bytes, with the byte
// looked for at every place around the sixteen- and 32-byte steps.
#include "provisioning/seed_files/byte_scan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::size_t Plain(const std::string& bytes, std::string_view needle) {
  const std::size_t found = bytes.find(needle);
  return found == std::string::npos ? bytes.size() : found;
}

TEST(ByteScan, FindsAtEveryPlaceAroundTheSteps) {
  struct Case {
    std::string_view filler;  // bytes around the one looked for, which only partly match it
    std::string_view needle;
  } cases[] = {
      {"<seria", "<serial"}, {"<seed>", "<serial"}, {"ab", "ab"}, {"<", "<serial"}, {"x", "<"}, {"sl", "<serial"},
  };
  for (const Case& c : cases) {
    for (std::size_t length = 0; length < 80; ++length) {
      for (std::size_t at = 0; at <= length; ++at) {
        std::string bytes;
        while (bytes.size() < length) bytes += c.filler;
        bytes.resize(length);
        if (at + c.needle.size() <= length) bytes.replace(at, c.needle.size(), c.needle);
        const char* begin = bytes.data();
        const char* end = begin + bytes.size();
        SCOPED_TRACE(bytes);
        EXPECT_EQ(FindText(begin, end, c.needle) - begin, static_cast<std::ptrdiff_t>(Plain(bytes, c.needle)));
        const std::string set(c.needle.substr(0, 4));
        EXPECT_EQ(FindAnyOf(begin, end, set) - begin,
                  static_cast<std::ptrdiff_t>(std::min(bytes.find_first_of(set), bytes.size())));
      }
    }
  }
}

TEST(ByteScan, PlainTextRunEndsAtMarkupControlOrHighBytes) {
  const std::string stops[] = {"&", "<", ">", "\n", std::string(1, '\0'), "\x7F\x80", "\xC3\xA9"};
  for (const std::string& stop : stops) {
    for (std::size_t at = 0; at < 70; ++at) {
      // A tab inside the run is plain too, also right after a sixteen-byte step.
      std::string bytes(at, 'a');
      if (at > 17) bytes[16] = '\t';
      bytes += stop + "bbbbbbbbbbbbbbbbbbbbbbbb";
      const std::size_t expected = stop[0] == '\x7F' ? at + 1 : at;
      SCOPED_TRACE(at);
      EXPECT_EQ(SkipPlainText(bytes.data(), bytes.data() + bytes.size()) - bytes.data(),
                static_cast<std::ptrdiff_t>(expected));
    }
  }
  const std::string all(40, 'z');
  EXPECT_EQ(SkipPlainText(all.data(), all.data() + all.size()), all.data() + all.size());
}

}  // namespace
