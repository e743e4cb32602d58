#include "text/line_breaks.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Printable(std::u16string_view text) {
  std::string printable;
  for (char16_t unit : text) printable += unit < 0x80 ? static_cast<char>(unit) : '?';
  return printable;
}

struct BreakCase {
  const char16_t* text;
  std::size_t maxChars;
  const char16_t* broken;
};

TEST(BreakLongLinesTest, BreaksAtSpacesKeepsLineEndsAndCutsOnlyWordsLongerThanALine) {
  const BreakCase cases[] = {
      {u"Found.\r\n", 10, u"Found.\r\n"},
      {u"exactly 16 units\r\n", 16, u"exactly 16 units\r\n"},
      {u"aaa bbb ccc\r\n", 7, u"aaa bbb\r\nccc\r\n"},
      {u"one two three four five six\r\n", 9, u"one two\r\nthree\r\nfour five\r\nsix\r\n"},
      // Each existing line on its own; the last one needs no line end.
      {u"aaaa bbbb\r\ncc dd\r\nee ff gg", 5, u"aaaa\r\nbbbb\r\ncc dd\r\nee ff\r\ngg"},
      {u"aa bb\ncc", 2, u"aa\r\nbb\ncc"},
      // A path longer than a line ends its rows at its separators.
      {u"in C:\\dir\\sub\\file.dll now", 8, u"in\r\nC:\\dir\\\r\nsub\\\r\nfile.dll\r\nnow"},
      {u"0123456789AB", 5, u"01234\r\n56789\r\nAB"},
      {u"ab\U0001F600cd", 3, u"ab\r\n\U0001F600c\r\nd"},
      {u"untouched without a limit", 0, u"untouched without a limit"},
      {u"", 4, u""},
  };
  for (const BreakCase& c : cases) {
    EXPECT_EQ(BreakLongLines(c.text, c.maxChars), c.broken) << Printable(c.text) << " / " << c.maxChars;
  }
}

}  // namespace
