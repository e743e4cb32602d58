// What settling tells in a run: a kept record's line once, and again only
// when it changes; the leftovers' lines each time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "provisioning/seed_files/settle_log.h"

namespace {

SettledRecord Record(const char* name, bool kept, const char16_t* line) {
  return SettledRecord{name, kept, {line}, {}};
}

TEST(SettleLog, AKeptRecordsLineIsLoggedOnceAndAgainWhenItChanges) {
  const SettledRecord absent = Record("a", true, u"A: key absent.\r\n");
  const SettledRecord unlisted = Record("a", true, u"A: not listed.\r\n");
  const SettledRecord completed = Record("a", false, u"A: completed.\r\n");
  const struct {
    const char* name;
    std::vector<SettleReport> settlings;
    std::vector<std::size_t> logged;  // lines logged by each settling
  } cases[] = {
      {"kept twice", {{{}, {absent}}, {{}, {absent}}}, {1, 0}},
      {"kept, then for another reason", {{{}, {absent}}, {{}, {unlisted}}, {{}, {unlisted}}}, {1, 1, 0}},
      {"kept, then completed", {{{}, {absent}}, {{}, {completed}}}, {1, 1}},
      {"gone and kept again", {{{}, {absent}}, {}, {{}, {absent}}}, {1, 0, 1}},
      {"leftovers each time", {{{u"L.\r\n"}, {absent}}, {{u"L.\r\n"}, {absent}}}, {2, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SettleLog log;
    std::vector<std::size_t> logged;
    for (const SettleReport& report : c.settlings) logged.push_back(log.LinesToLog(report).size());
    EXPECT_EQ(logged, c.logged);
  }
}

}  // namespace
