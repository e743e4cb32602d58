// What "Save" refuses and how it tells the operator: text that the key or
// the seed files cannot hold exactly as typed, and a seed for another hash.
#include "provisioning/form/save_refusal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr CodePage kWesternEuropean = 1252;
constexpr CodePage kUtf8 = 65001;

bool Mentions(const MessageText& text, const MessageText& part) { return text.find(part) != MessageText::npos; }

TEST(SaveRefusalTest, SerialWithACharacterTheCodePageLacksIsRefusedNamingIt) {
  struct Case {
    MessageText serial, named;
  } cases[] = {
      {u"\u03A9SN-1", u"\u201C\u03A9\u201D"},            // best fit would store "OSN-1"
      {u"\u5E8F\u5217\u53F7-1", u"\u201C\u5E8F\u201D"},  // default character: "???-1"
      {u"OK-\U0001F511", u"\u201C\U0001F511\u201D"},     // a pair is named whole
  };
  for (const Case& c : cases) {
    const SerialCheck check = CheckSerial(c.serial, kWesternEuropean);
    ASSERT_TRUE(check.refusal);
    EXPECT_EQ(check.refusal->tipField, FormField::SerialNumber);
    EXPECT_EQ(check.refusal->focus, FormField::SerialNumber);
    EXPECT_EQ(check.refusal->title, u"Serial number not accepted");
    EXPECT_TRUE(Mentions(check.refusal->text, c.named)) << std::string(c.named.begin(), c.named.end());
    EXPECT_TRUE(check.bytes.empty());
  }
  // What the page has is stored as typed.
  const SerialCheck cafe = CheckSerial(u"caf\u00E9-1 \u20AC", kWesternEuropean);
  EXPECT_FALSE(cafe.refusal);
  EXPECT_EQ(cafe.bytes, "caf\xE9-1 \x80");
  EXPECT_EQ(CheckSerial(u"\u5E8F\u5217\u53F7-1", kUtf8).bytes, "\xE5\xBA\x8F\xE5\x88\x97\xE5\x8F\xB7-1");
}

TEST(SaveRefusalTest, SerialLongerThanTheKeysSixtyThreeBytesInItsCodePageIsRefused) {
  EXPECT_EQ(CheckSerial(MessageText(63, u'7'), kWesternEuropean).bytes, std::string(63, '7'));
  const SerialCheck tooLong = CheckSerial(MessageText(64, u'7'), kWesternEuropean);
  ASSERT_TRUE(tooLong.refusal);
  EXPECT_TRUE(Mentions(tooLong.refusal->text, u"at most 63 bytes"));
  EXPECT_TRUE(Mentions(tooLong.refusal->text, u"needs 64"));

  // Bytes count, not characters: 30 euro signs are 30 bytes in 1252, 90 in UTF-8.
  const MessageText euros(30, u'\u20AC');
  EXPECT_EQ(CheckSerial(euros, kWesternEuropean).bytes.size(), 30u);
  const SerialCheck utf8 = CheckSerial(euros, kUtf8);
  ASSERT_TRUE(utf8.refusal);
  EXPECT_TRUE(Mentions(utf8.refusal->text, u"needs 90"));
}

TEST(SaveRefusalTest, SerialOrUserNameWithWhatXmlCannotCarryIsRefusedOnItsField) {
  struct Case {
    MessageText text, code;
  } cases[] = {
      {u"SN\u0001-1", u"U+0001"},
      {u"SN-1\r\n", u"U+000D"},  // pasted line break: readers would turn it into LF
      {u"SN\n1", u"U+000A"},
      {u"SN\u001F", u"U+001F"},
      {u"SN\uFFFE", u"U+FFFE"},
      {u"SN\uFFFF", u"U+FFFF"},
      {MessageText(u"SN") + char16_t(0xD83D) + u"x", u"U+D83D"},  // half a pair
      {MessageText(u"SN") + char16_t(0xDD11), u"U+DD11"},
  };
  for (const Case& c : cases) {
    const SerialCheck serial = CheckSerial(c.text, kUtf8);
    ASSERT_TRUE(serial.refusal) << std::string(c.code.begin(), c.code.end());
    EXPECT_EQ(serial.refusal->tipField, FormField::SerialNumber);
    EXPECT_EQ(serial.refusal->focus, FormField::SerialNumber);
    EXPECT_TRUE(Mentions(serial.refusal->text, c.code));
    EXPECT_TRUE(Mentions(serial.refusal->text, u"seed files cannot store"));

    const std::optional<SaveRefusal> user = CheckUserName(c.text);
    ASSERT_TRUE(user);
    EXPECT_EQ(user->tipField, FormField::UserName);
    EXPECT_EQ(user->focus, FormField::UserName);
    EXPECT_EQ(user->title, u"User name not accepted");
    EXPECT_TRUE(Mentions(user->text, c.code));
  }
  EXPECT_TRUE(Mentions(CheckUserName(u"a\nb")->text, u"a line break"));
  EXPECT_TRUE(Mentions(CheckUserName(u"a\u0001")->text, u"a control character"));

  // Tab, any other Unicode character and an empty name are fine.
  EXPECT_FALSE(CheckUserName(u""));
  EXPECT_FALSE(CheckUserName(u"Zo\u00EB\tM\u00FCller \u5F20\u4F1F \U0001F511 \u007F"));
  EXPECT_FALSE(CheckSerial(u"SN\t1", kWesternEuropean).refusal);
}

TEST(SaveRefusalTest, SeedMustBeOneForTheChosenHash) {
  NewTokenFormState state;
  state.hashChoice = 0;
  const std::optional<SaveRefusal> none = CheckSeed(state);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->tipField, FormField::Seed);
  EXPECT_EQ(none->focus, FormField::GenerateSeed);
  EXPECT_EQ(none->title, u"No seed yet");

  state.seedHashChoice = 0;
  state.seedLength = 20;
  EXPECT_FALSE(CheckSeed(state));

  state.hashChoice = 1;
  const std::optional<SaveRefusal> changed = CheckSeed(state);
  ASSERT_TRUE(changed);
  EXPECT_EQ(changed->tipField, FormField::Seed);
  EXPECT_EQ(changed->focus, FormField::GenerateSeed);
  EXPECT_EQ(changed->title, u"New seed needed");
  EXPECT_EQ(changed->text, u"The seed was made for SHA-1. Click \"Generate\" for a SHA-256 seed.");
}

}  // namespace
