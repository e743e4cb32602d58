// The status line's warning about the seed files: it lasts exactly as long as
// settling finds a record kept, under the listing's and the prompt's texts.
#include <gtest/gtest.h>

#include <functional>

#include "main_window_fakes.h"

namespace {

const MessageText kNotInXml = u"The token is not in hseeds.xml: see the messages.";
const MessageText kUnfinished = u"A save is not finished: see the messages.";

SettleReport Kept(const MessageText& warning) {
  return SettleReport{{}, {SettledRecord{"hseeds.pending-0123456789abcdef.record", true, {u"kept\r\n"}, warning}}};
}
SettleReport Completed() {
  return SettleReport{{}, {SettledRecord{"hseeds.pending-0123456789abcdef.record", false, {u"completed\r\n"}, {}}}};
}

void SaveWithWarning(MainWindowRig& rig) {
  rig.host.newTokenResult = {kTokenSaved, u"Saved.\r\n", true, kNotInXml};
  rig.host.settleReport = {};
  rig.logic.NewToken();
}
// What a key's arrival runs, without its pause.
void Arrive(MainWindowRig& rig) {
  rig.logic.FindDevice();
  rig.logic.SettleInterruptedSaves();
}

struct Case {
  const char* name;
  std::function<void(MainWindowRig&)> steps;
  std::string status;
};

TEST(SeedWarning, LastsWhileARecordIsKeptAndGivesWayToTheListingAndThePrompt) {
  const Case cases[] = {
      {"a save that missed a file", [](MainWindowRig& rig) { SaveWithWarning(rig); }, Ascii(kNotInXml)},
      {"arrival while the record is still kept",
       [](MainWindowRig& rig) {
         SaveWithWarning(rig);
         rig.host.settleReport = Kept(kNotInXml);
         Arrive(rig);
       },
       Ascii(kNotInXml)},
      {"the record completed at the next New Token",
       [](MainWindowRig& rig) {
         SaveWithWarning(rig);
         rig.host.settleReport = Completed();
         rig.host.newTokenResult = {};
         rig.logic.NewToken();
       },
       ""},
      {"a start-up that finds a record kept",
       [](MainWindowRig& rig) {
         rig.host.settleReport = Kept(kUnfinished);
         rig.logic.Initialise(u"");
       },
       Ascii(kUnfinished)},
      {"a failed listing says its own warning",
       [](MainWindowRig& rig) {
         SaveWithWarning(rig);
         rig.library.listStatus = 0x80435601;
         rig.host.settleReport = Kept(kNotInXml);
         Arrive(rig);
       },
       "You must run this tool as administrator!"},
      {"and the warning is back once the key lists again",
       [](MainWindowRig& rig) {
         SaveWithWarning(rig);
         rig.library.listStatus = 0x80435601;
         rig.host.settleReport = Kept(kNotInXml);
         Arrive(rig);
         rig.library.listStatus = CV_OK;
         rig.logic.ListTokens();
       },
       Ascii(kNotInXml)},
      {"Get OTP's prompt gives the warning back",
       [](MainWindowRig& rig) {
         SaveWithWarning(rig);
         rig.logic.GetOtp();
       },
       Ascii(kNotInXml)},
      {"an unknown folder settles nothing and keeps the warning",
       [](MainWindowRig& rig) {
         SaveWithWarning(rig);
         rig.host.settleReport = SettleReport{{}, {}, false};
         Arrive(rig);
       },
       Ascii(kNotInXml)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MainWindowRig rig;
    rig.library.tokens = {MakeTokenRecord("A")};
    c.steps(rig);
    EXPECT_EQ(rig.Status(), c.status);
  }
}

}  // namespace

namespace {

SettledRecord Record(const char* name, bool kept, const char16_t* line) {
  return SettledRecord{name, kept, {line}, kept ? kUnfinished : MessageText()};
}

TEST(SettleLines, AKeptRecordIsToldOnceAndAgainOnlyWhenItsStateChanges) {
  const SettledRecord keptA = Record("a", true, u"A: key absent.\r\n");
  const struct {
    const char* name;
    std::vector<SettleReport> settlings;
    std::string log;
  } cases[] = {
      {"kept twice", {{{}, {keptA}}, {{}, {keptA}}}, "A: key absent.\r\n"},
      {"a new reason",
       {{{}, {keptA}}, {{}, {Record("a", true, u"A: not listed.\r\n")}}},
       "A: key absent.\r\nA: not listed.\r\n"},
      {"then completed",
       {{{}, {keptA}}, {{}, {keptA}}, {{}, {Record("a", false, u"A: completed.\r\n")}}},
       "A: key absent.\r\nA: completed.\r\n"},
      {"one of two kept again",
       {{{}, {keptA, Record("b", true, u"B.\r\n")}}, {{}, {keptA}}},
       "A: key absent.\r\nB.\r\n"},
      {"leftover lines each time", {{{u"L.\r\n"}, {keptA}}, {{u"L.\r\n"}, {keptA}}}, "L.\r\nA: key absent.\r\nL.\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MainWindowRig rig;
    for (const SettleReport& report : c.settlings) {
      rig.host.settleReport = report;
      rig.logic.SettleInterruptedSaves();
    }
    EXPECT_EQ(rig.Log(), c.log);
  }
}

}  // namespace
