// Which file describes a saved token fully, for all sixteen combinations of
// algorithm, hash, digits and interval.
#include "provisioning/seed_files/seed_file_coverage.h"

#include <gtest/gtest.h>

namespace {

bool Mentions(const MessageText& text, const MessageText& part) { return text.find(part) != MessageText::npos; }

TEST(SeedFileCoverage, OnlyTokensTheirXmlFileCannotDescribeGetALineNamingWhatIsMissing) {
  for (const bool totp : {false, true}) {
    for (const bool sha256 : {false, true}) {
      for (const std::uint32_t digits : {6u, 8u}) {
        for (const std::uint32_t interval : {30u, 60u}) {
          ExportedToken token;
          token.totp = totp;
          token.sha256 = sha256;
          token.digits = digits;
          token.interval = interval;
          SCOPED_TRACE(testing::Message() << totp << sha256 << digits << interval);
          const std::optional<MessageText> line = IncompleteDescriptionLine(token);
          if (!totp || interval == 30) {
            EXPECT_FALSE(line);
            continue;
          }
          ASSERT_TRUE(line);
          const bool csvIsFull = !sha256 && digits == 6;
          EXPECT_EQ(Mentions(*line, u"import tseeds.csv"), csvIsFull);
          EXPECT_EQ(Mentions(*line, u"60-second interval"), true);
          EXPECT_EQ(Mentions(*line, u"SHA-256"), sha256);
          EXPECT_EQ(Mentions(*line, u"8 digits"), digits == 8);
          EXPECT_EQ(Mentions(*line, u"by hand"), !csvIsFull);
        }
      }
    }
  }
}

}  // namespace
