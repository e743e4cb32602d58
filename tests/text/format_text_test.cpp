#include "text/format_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

std::string Printable(std::u16string_view text) {
  std::string printable;
  for (char16_t unit : text) printable += unit < 0x80 ? static_cast<char>(unit) : '?';
  return printable;
}

template <typename... Args>
MessageText FormatOrFail(std::u16string_view format, const Args&... args) {
  MessageText out = u"untouched";
  EXPECT_TRUE(FormatText(out, format, args...));
  return out;
}

// A failed format must leave the caller's text exactly as it was.
template <typename... Args>
void ExpectRejected(std::u16string_view format, const Args&... args) {
  MessageText out = u"previous text";
  EXPECT_FALSE(FormatText(out, format, args...)) << Printable(format);
  EXPECT_EQ(out, u"previous text");
}

TEST(FormatTextTest, StatusCodesAsEightUpperCaseHexDigits) {
  EXPECT_EQ(FormatOrFail(u"0x%08X", 5), u"0x00000005");
  EXPECT_EQ(FormatOrFail(u"0x%08X", 0x80435602u), u"0x80435602");
  EXPECT_EQ(FormatOrFail(u"0x%08X", std::uint32_t{0}), u"0x00000000");
  // A negative int shows its 32-bit two's complement, a 64-bit one its 64-bit form.
  EXPECT_EQ(FormatOrFail(u"0x%08X", -1), u"0xFFFFFFFF");
  EXPECT_EQ(FormatOrFail(u"%X", std::int64_t{-1}), u"FFFFFFFFFFFFFFFF");
  EXPECT_EQ(FormatOrFail(u"%x", std::int16_t{-2}), u"fffffffe");
}

TEST(FormatTextTest, SignedDecimals) {
  EXPECT_EQ(FormatOrFail(u"%d", -42), u"-42");
  EXPECT_EQ(FormatOrFail(u"%i", 0), u"0");
  EXPECT_EQ(FormatOrFail(u"%d", INT32_MIN), u"-2147483648");
  EXPECT_EQ(FormatOrFail(u"%d", INT32_MAX), u"2147483647");
  EXPECT_EQ(FormatOrFail(u"%lld", INT64_MIN), u"-9223372036854775808");
  EXPECT_EQ(FormatOrFail(u"%u", UINT64_MAX), u"18446744073709551615");
  // As printf: an unsigned int given to %d is read as an int.
  EXPECT_EQ(FormatOrFail(u"%d", 0xFFFFFFFFu), u"-1");
  EXPECT_EQ(FormatOrFail(u"%d of %d", 3, 20), u"3 of 20");
}

TEST(FormatTextTest, UnicodeTextArguments) {
  const MessageText name = u"Zo\u00EB \u20AC \U0001F600";
  EXPECT_EQ(FormatOrFail(u"[%s]", name), u"[Zo\u00EB \u20AC \U0001F600]");
  EXPECT_EQ(FormatOrFail(u"SN=%s, SEED=%s\r\n", MessageText(u"0000829829926"),
                         std::u16string_view(u"3132333435")),
            u"SN=0000829829926, SEED=3132333435\r\n");
  EXPECT_EQ(FormatOrFail(u"%s|%s", u"literal", static_cast<const char16_t*>(nullptr)), u"literal|(null)");
  EXPECT_EQ(FormatOrFail(u"[%6s][%-6s][%.2s]", u"ab", u"cd", u"efgh"), u"[    ab][cd    ][ef]");
  EXPECT_EQ(FormatOrFail(u"%s", MessageText()), u"");
}

TEST(FormatTextTest, CharactersAndPercentSigns) {
  EXPECT_EQ(FormatOrFail(u"%c%c", u'A', char16_t{0x20AC}), u"A\u20AC");
  EXPECT_EQ(FormatOrFail(u"[%3c]", 'x'), u"[  x]");
  EXPECT_EQ(FormatOrFail(u"100%%"), u"100%");
  EXPECT_EQ(FormatOrFail(u"%d%%", 50), u"50%");
  EXPECT_EQ(FormatOrFail(u"no conversions"), u"no conversions");
}

TEST(FormatTextTest, LongResultsAreNeverTruncated) {
  const MessageText big(100000, u'w');
  const MessageText result = FormatOrFail(u"<%s>", big);
  ASSERT_EQ(result.size(), 100002u);
  EXPECT_EQ(result.substr(1, 100000), big);

  const MessageText wide = FormatOrFail(u"%5000d", 7);
  ASSERT_EQ(wide.size(), 5000u);
  EXPECT_EQ(wide.back(), u'7');
  EXPECT_EQ(wide.find_first_not_of(u' '), 4999u);

  EXPECT_EQ(FormatOrFail(u"%-70000s|", u"x").size(), 70001u);
}

TEST(FormatTextTest, RejectsWhatItCannotFormat) {
  ExpectRejected(u"%f", 1);
  ExpectRejected(u"%e %g %G", 1, 2, 3);
  ExpectRejected(u"%n", 1);
  ExpectRejected(u"%y", 1);
  ExpectRejected(u"%*d", 5, 1);
  ExpectRejected(u"trailing %");
  ExpectRejected(u"%08");
  ExpectRejected(u"%99999999999d", 1);  // width beyond what printf allows
  ExpectRejected(u"%d and %d", 1);      // missing argument
  ExpectRejected(u"%s");
  ExpectRejected(u"%d", u"text");       // wrong kind of argument
  ExpectRejected(u"%X", MessageText(u"text"));
  ExpectRejected(u"%c", u"text");
  ExpectRejected(u"%s", 5);
  ExpectRejected(u"ok %s then %f", u"x", 1);  // nothing half-written
}

TEST(FormatTextTest, FlagsWidthAndPrecision) {
  EXPECT_EQ(FormatOrFail(u"[%5d][%-5d][%05d][%+d][% d]", 42, 42, -42, 42, 42), u"[   42][42   ][-0042][+42][ 42]");
  EXPECT_EQ(FormatOrFail(u"[%.3d][%8.3d][%08.3d][%.0d]", 7, -7, 7, 0), u"[007][    -007][     007][]");
  EXPECT_EQ(FormatOrFail(u"[%#x][%#X][%#x][%#o][%o]", 255, 255, 0, 8, 8), u"[0xff][0XFF][0][010][10]");
  EXPECT_EQ(FormatOrFail(u"[%#010x][%-#10x]", 255, 255), u"[0x000000ff][0xff      ]");
  // Sign flags belong to the signed conversions only.
  EXPECT_EQ(FormatOrFail(u"[%+u][% u]", 5u, 5u), u"[5][5]");
  EXPECT_EQ(FormatOrFail(u"%I64d|%ld|%hd|%I32u", std::int64_t{-3}, 4L, short{5}, 6u), u"-3|4|5|6");
}

#ifndef _WIN32
MessageText Ascii(const std::string& text) { return MessageText(text.begin(), text.end()); }

// The integer conversions must match glibc's printf for every combination of
// flags, width and precision. (The Windows runtimes' printf is no reference:
// it applies the sign flags to unsigned conversions too.)
TEST(FormatTextTest, IntegerConversionsMatchPrintf) {
  const char* flagSets[] = {"", "-", "+", " ", "0", "#", "-+", "0+", "0 ", "#0", "-#", "+ "};
  const char* widths[] = {"", "1", "6", "14"};
  const char* precisions[] = {"", ".", ".0", ".3", ".12"};
  const char* conversions[] = {"d", "i", "u", "x", "X", "o"};
  const int ints[] = {0, 1, -1, 42, -42, INT32_MAX, INT32_MIN};
  const unsigned unsigneds[] = {0u, 7u, 0x80435602u, UINT32_MAX};
  const long long longs[] = {INT64_MIN, -5, 1234567890123LL};

  int compared = 0;
  for (const char* flags : flagSets) {
    for (const char* width : widths) {
      for (const char* precision : precisions) {
        for (const char* conversion : conversions) {
          const std::string format = std::string("%") + flags + width + precision + conversion;
          const std::string longFormat = std::string("%") + flags + width + precision + "ll" + conversion;
          char expected[64];
          for (int value : ints) {
            std::snprintf(expected, sizeof expected, format.c_str(), value);
            ASSERT_EQ(FormatOrFail(Ascii(format), value), Ascii(expected)) << format << " of " << value;
            ++compared;
          }
          for (unsigned value : unsigneds) {
            std::snprintf(expected, sizeof expected, format.c_str(), value);
            ASSERT_EQ(FormatOrFail(Ascii(format), value), Ascii(expected)) << format << " of " << value;
            ++compared;
          }
          for (long long value : longs) {
            std::snprintf(expected, sizeof expected, longFormat.c_str(), value);
            ASSERT_EQ(FormatOrFail(Ascii(longFormat), value), Ascii(expected)) << longFormat << " of " << value;
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_EQ(compared, 12 * 4 * 5 * 6 * 14);
}
#endif

TEST(FormatTextTest, ConvenienceFormatGivesEmptyTextOnFailure) {
  EXPECT_EQ(Format(u"%d items", 3), u"3 items");
  EXPECT_EQ(Format(u"%f", 3), u"");
}

}  // namespace
