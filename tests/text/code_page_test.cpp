#include "text/code_page.h"

#ifdef _WIN32
#include <windows.h>
#endif

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
}

TEST(CodePageTest, EmptyNullAndUnknownCodePages) {
  EXPECT_EQ(WidenText("", kThreadAnsiCodePage), MessageText());
  EXPECT_EQ(NarrowText(u"", kThreadAnsiCodePage), std::string());
  EXPECT_EQ(WidenText(nullptr, kUtf8), std::nullopt);
  EXPECT_EQ(NarrowText(nullptr, kThreadAnsiCodePage), std::nullopt);
  EXPECT_EQ(WidenText("abc", 12345), std::nullopt);
  EXPECT_EQ(NarrowText(u"abc", 12345), std::nullopt);
  // The shorthand turns a failure into empty text.
  EXPECT_EQ(Widen("abc", 12345), MessageText());
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

// Text the code page cannot hold as it is gets no result: no best fit (Ω to
// O), no default character ("?"), no transliteration.
TEST(CodePageTest, NarrowingRefusesWhatTheCodePageCannotHoldExactly) {
  EXPECT_EQ(NarrowText(u"\u03A9SN-1", kWesternEuropean), std::nullopt);
  EXPECT_EQ(NarrowText(u"\u5E8F\u5217\u53F7-1", kWesternEuropean), std::nullopt);
  EXPECT_EQ(NarrowText(u"x\u4E2Dy", kWesternEuropean), std::nullopt);
  EXPECT_EQ(NarrowText(u"\u0101", kWesternEuropean), std::nullopt);         // ā, best fit a
  EXPECT_EQ(NarrowText(u"\u221E", kOemUnitedStates), std::string("\xEC"));  // ∞ is in 437
  EXPECT_EQ(NarrowText(u"\u00E9", kOemUnitedStates), std::string("\x82"));
  EXPECT_EQ(NarrowText(u"\u20AC", kOemUnitedStates), std::nullopt);
  const char16_t loneSurrogate[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(NarrowText(loneSurrogate, kWesternEuropean), std::nullopt);
  EXPECT_EQ(NarrowText(loneSurrogate, kUtf8), std::nullopt);
  // What the page has passes, control characters included.
  EXPECT_EQ(NarrowText(u"caf\u00E9 \u20AC\u0001", kWesternEuropean), std::string("caf\xE9 \x80\x01"));
}

#ifdef _WIN32

// Windows widens without MB_ERR_INVALID_CHARS, so bad bytes are replaced.
TEST(CodePageTest, WindowsReplacesInvalidBytesWhenWidening) {
  EXPECT_EQ(WidenText("a\xFF"
                      "b",
                      kUtf8),
            MessageText(u"a\uFFFDb"));
  EXPECT_EQ(WidenText("\xC3(", kUtf8), MessageText(u"\uFFFD("));
}

// CP_THREAD_ACP follows the thread's locale, also when it differs from the
// process's: a Russian thread narrows Cyrillic, a US English one refuses it.
TEST(CodePageTest, WindowsThreadAnsiCodePageFollowsTheThreadLocale) {
  const LCID previous = GetThreadLocale();
  ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA), SORT_DEFAULT)));
  EXPECT_EQ(NarrowText(u"\u0416-1", kThreadAnsiCodePage), std::string("\xC6-1"));  // Ж in 1251
  ASSERT_TRUE(SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)));
  EXPECT_EQ(NarrowText(u"\u0416-1", kThreadAnsiCodePage), std::nullopt);
  EXPECT_EQ(NarrowText(u"\u03A9SN-1", kThreadAnsiCodePage), std::nullopt);
  EXPECT_EQ(NarrowText(u"caf\u00E9", kThreadAnsiCodePage), std::string("caf\xE9"));
  SetThreadLocale(previous);
}

#else

TEST(CodePageTest, IconvRefusesInvalidBytesWhenWidening) {
  EXPECT_EQ(WidenText("a\xFF"
                      "b",
                      kUtf8),
            std::nullopt);
  EXPECT_EQ(WidenText("truncated \xE2\x82", kUtf8), std::nullopt);
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
