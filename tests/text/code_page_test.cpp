#include "text/code_page.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

constexpr CodePage kWesternEuropean = 1252;
constexpr CodePage kOemUnitedStates = 437;
constexpr CodePage kUtf8 = 65001;

TEST(CodePageTest, AsciiRoundTripsThroughBothAnsiCodePages) {
  std::string ascii = "\t\r\n";
  for (char c = 0x20; c < 0x7F; ++c) ascii += c;
  const MessageText wide(ascii.begin(), ascii.end());
  for (CodePage codePage : {kThreadAnsiCodePage, kProcessAnsiCodePage}) {
    EXPECT_EQ(WidenText(ascii.c_str(), codePage), wide) << codePage;
    EXPECT_EQ(NarrowText(wide.c_str(), codePage), ascii) << codePage;
  }
  EXPECT_EQ(Widen("0000829829926"), MessageText(u"0000829829926"));
  EXPECT_EQ(Narrow(u"0000829829926"), std::string("0000829829926"));
}

TEST(CodePageTest, EmptyNullAndUnknownCodePages) {
  EXPECT_EQ(WidenText("", kThreadAnsiCodePage), MessageText());
  EXPECT_EQ(NarrowText(u"", kThreadAnsiCodePage), std::string());
  EXPECT_EQ(WidenText(nullptr, kUtf8), std::nullopt);
  EXPECT_EQ(NarrowText(nullptr, kThreadAnsiCodePage), std::nullopt);
  EXPECT_EQ(WidenText("abc", 12345), std::nullopt);
  EXPECT_EQ(NarrowText(u"abc", 12345), std::nullopt);
  // The shorthands turn a failure into empty text.
  EXPECT_EQ(Widen("abc", 12345), MessageText());
  EXPECT_EQ(Narrow(u"abc", 12345), std::string());
}

TEST(CodePageTest, NumberedSingleByteCodePages) {
  EXPECT_EQ(WidenText("caf\xE9", kWesternEuropean), MessageText(u"caf\u00E9"));
  // 0x80 is the euro sign in 1252 (not a control character as in Latin-1).
  EXPECT_EQ(WidenText("\x80", kWesternEuropean), MessageText(u"\u20AC"));
  EXPECT_EQ(NarrowText(u"\u20AC", kWesternEuropean), std::string("\x80"));
  // The same kind of byte means something else in another page.
  EXPECT_EQ(WidenText("\x82", kOemUnitedStates), MessageText(u"\u00E9"));
}

TEST(CodePageTest, Utf8WithSurrogatePairsAndLongTextRoundTrips) {
  const std::string utf8 = "Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80";
  const MessageText wide = u"Zo\u00EB \u20AC \U0001F600";
  EXPECT_EQ(WidenText(utf8.c_str(), kUtf8), wide);
  // Narrowing needs more bytes than there are UTF-16 units.
  EXPECT_EQ(NarrowText(wide.c_str(), kUtf8), utf8);

  std::string longUtf8;
  for (int i = 0; i < 20000; ++i) longUtf8 += "\xE2\x82\xAC";
  EXPECT_EQ(WidenText(longUtf8.c_str(), kUtf8), MessageText(20000, u'\u20AC'));
  EXPECT_EQ(NarrowText(MessageText(20000, u'\u20AC').c_str(), kUtf8), longUtf8);
}

#ifdef _WIN32

// Windows converts without MB_ERR_INVALID_CHARS and without a default
// character of its own choosing, so bad input is replaced, not refused.
TEST(CodePageTest, WindowsReplacesInvalidAndUnmappableCharacters) {
  EXPECT_EQ(WidenText("a\xFF" "b", kUtf8), MessageText(u"a\uFFFDb"));
  EXPECT_EQ(WidenText("\xC3(", kUtf8), MessageText(u"\uFFFD("));
  EXPECT_EQ(NarrowText(u"x\u4E2Dy", kWesternEuropean), std::string("x?y"));
}

#else

TEST(CodePageTest, IconvRefusesInvalidAndUnmappableCharacters) {
  EXPECT_EQ(WidenText("a\xFF" "b", kUtf8), std::nullopt);
  EXPECT_EQ(WidenText("truncated \xE2\x82", kUtf8), std::nullopt);
  EXPECT_EQ(NarrowText(u"x\u4E2Dy", kWesternEuropean), std::nullopt);
  const char16_t loneSurrogate[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(NarrowText(loneSurrogate, kUtf8), std::nullopt);
}

TEST(CodePageTest, AnsiCodePagesFollowTheLocaleCharacterSet) {
  const std::string previous = std::setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);  // plain ASCII
  EXPECT_EQ(WidenText("caf\xC3\xA9", kThreadAnsiCodePage), std::nullopt);
  EXPECT_EQ(NarrowText(u"caf\u00E9", kProcessAnsiCodePage), std::nullopt);
  const bool haveUtf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
  if (haveUtf8) {
    EXPECT_EQ(WidenText("caf\xC3\xA9", kThreadAnsiCodePage), MessageText(u"caf\u00E9"));
    EXPECT_EQ(NarrowText(u"caf\u00E9", kProcessAnsiCodePage), std::string("caf\xC3\xA9"));
  }
  std::setlocale(LC_CTYPE, previous.c_str());
  EXPECT_TRUE(haveUtf8) << "the C.UTF-8 locale is missing";
}

#endif

}  // namespace
