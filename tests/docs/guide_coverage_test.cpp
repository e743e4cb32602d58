// Every text of ours that the tool can show, as its sources hold it, is in
// docs/guide.md: each fixed part of a format (between its conversions) of
// two words or more stands in the guide, whose placeholders are free.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = OTP_SOURCE_ROOT;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
}

// Escapes as what they stand for, curly quotes as plain ones, the guide's
// markup gone, white space as single spaces.
std::string Normalised(std::string text) {
  for (const char* quote : {"\u201C", "\u201D", R"(\u201C)", R"(\u201D)", R"(\")"}) ReplaceAll(text, quote, "\"");
  for (const char* gap : {R"(\r\n)", "<br>"}) ReplaceAll(text, gap, " ");
  for (const char* markup : {"*", "`"}) ReplaceAll(text, markup, "");
  return std::regex_replace(text, std::regex(R"(\s+)"), " ");
}

struct Format {
  std::string file;
  std::string text;  // the literal's pieces joined, escapes as written
};

// The UTF-16 literals of a source, adjacent pieces joined.
std::vector<Format> FormatsIn(const fs::path& path) {
  static const std::regex literal(R"re(u"(?:[^"\\]|\\.)*"(?:\s*u?"(?:[^"\\]|\\.)*")*)re");
  static const std::regex piece(R"re("((?:[^"\\]|\\.)*)")re");
  std::vector<Format> formats;
  const std::string source = ReadFile(path);
  for (std::sregex_iterator at(source.begin(), source.end(), literal), end; at != end; ++at) {
    std::string text;
    const std::string whole = at->str();
    for (std::sregex_iterator p(whole.begin(), whole.end(), piece); p != end; ++p) text += (*p)[1].str();
    formats.push_back({fs::relative(path, kRoot).generic_string(), text});
  }
  return formats;
}

// The fixed parts of a format worth finding: two words or more.
std::vector<std::string> FixedParts(const std::string& format) {
  std::vector<std::string> parts;
  static const std::regex conversion(R"(%[0-9]*[sdXuc])");
  for (std::sregex_token_iterator at(format.begin(), format.end(), conversion, -1), end; at != end; ++at) {
    std::string part = Normalised(*at);
    const std::size_t first = part.find_first_not_of(" .;:,");
    const std::size_t last = part.find_last_not_of(" .;:,");
    if (first == std::string::npos) continue;
    part = part.substr(first, last - first + 1);
    if (part.find(' ') != std::string::npos) parts.push_back(part);
  }
  return parts;
}

TEST(GuideCoverage, EveryMessageFormatOfTheToolIsInTheGuide) {
  const std::string guide = Normalised(ReadFile(kRoot / "docs" / "guide.md"));
  ASSERT_FALSE(guide.empty());
  std::size_t checked = 0;
  for (const char* area : {"app", "mainwindow", "provisioning", "vendor"}) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kRoot / area)) {
      const fs::path& path = entry.path();
      if (path.extension() != ".cpp" && path.extension() != ".h") continue;
      for (const Format& format : FormatsIn(path)) {
        for (const std::string& part : FixedParts(format.text)) {
          ++checked;
          EXPECT_NE(guide.find(part), std::string::npos) << format.file << ": \"" << part << "\"";
        }
      }
    }
  }
  // The scan itself works: the tool has well over a hundred such parts.
  EXPECT_GT(checked, 100u);
}

TEST(GuideCoverage, FixedPartsAreTheTextBetweenConversions) {
  const struct {
    const char* format;
    std::vector<std::string> parts;
  } cases[] = {
      {R"(The save of the token %s on the key %s was completed.\r\n)",
       {"The save of the token", "on the key", "was completed"}},
      {R"(It holds %s (U+%04X), which it cannot store.)", {"It holds", "), which it cannot store"}},
      {R"(Click \"Generate\" now.)", {"Click \"Generate\" now"}},
      {R"(SN=%s, SEED=%s\r\n)", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    std::vector<std::string> parts = FixedParts(c.format);
    EXPECT_EQ(parts, c.parts);
  }
}

}  // namespace
