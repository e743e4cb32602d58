// The record of a save on disk: its format holds exactly what both seed
// files need, and a record cut short or edited is no record.
#include <gtest/gtest.h>

#include "provisioning/seed_files/save_record_format.h"
#include "seed_export_test_support.h"

namespace seed_export_test {
namespace {

TEST(PendingSave, RecordHoldsExactlyWhatBothSeedFilesNeed) {
  ExportedToken token = TotpToken("SN\xE9-7", Rfc6238Sha256Secret(), u"Zo\u00EB \U0001F600,\"x\"", 60);
  const std::optional<PendingSave> back = PendingSaveFromXml(PendingSaveXml(PendingSave{token, "KEY\x01\xFF"}));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->keySerial, "KEY\x01\xFF");
  EXPECT_EQ(back->token.totp, token.totp);
  EXPECT_EQ(back->token.sha256, token.sha256);
  EXPECT_EQ(back->token.digits, token.digits);
  EXPECT_EQ(back->token.interval, token.interval);
  EXPECT_EQ(back->token.serial, token.serial);
  EXPECT_EQ(back->token.seed, token.seed);
  EXPECT_EQ(back->token.userName, token.userName);
  // A record cut short or edited is no record.
  const std::string whole = PendingSaveXml(PendingSave{token, "KEY"});
  EXPECT_FALSE(PendingSaveFromXml(whole.substr(0, whole.size() / 2)));
  std::string wrongSeed = whole;
  wrongSeed.replace(wrongSeed.find("<seed>") + 6, 2, "");
  EXPECT_FALSE(PendingSaveFromXml(wrongSeed));
}

}  // namespace
}  // namespace seed_export_test
