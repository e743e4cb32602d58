// A row goes into a CSV seed file in the file's own encoding, or the file is
// left byte for byte as it was, with the reason.
#include "provisioning/seed_files/csv_seed_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_export_messages.h"
#include "seed_export_test_support.h"
#include "text/unicode_text.h"

namespace seed_export_test {
namespace {

using Problem = SeedFileFailure::EncodingProblem;

const std::u16string kHeader = u"Serial Number, Secret Key\r\n";
const std::u16string kRow = u"0000125,3132\r\n";
const std::u16string kNewRow = u"0000777,3132333435363738393031323334353637383930\r\n";

std::string Utf16Be(std::u16string_view text) {
  std::string bytes = Utf16LittleEndianBytes(text);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
  return bytes;
}

std::string Ascii(std::u16string_view text) { return std::string(text.begin(), text.end()); }

SeedExportReport ExportCsv(const TempFolder& folder, const ExportedToken& token) {
  SeedFileAccess files;
  return ExportToSeedFiles(folder.Path(), token, files, SeedFileSet{true, false});
}

TEST(CsvSeedFile, EachEncodingTakesTheRowInItself) {
  const struct {
    std::string before;
    std::string added;
  } cases[] = {
      {Utf16LittleEndianBytes(kHeader + kRow), Utf16LittleEndianBytes(kNewRow)},
      {"", Utf16LittleEndianBytes(kNewRow)},
      {"\xFF\xFE" + Utf16LittleEndianBytes(kHeader), Utf16LittleEndianBytes(kNewRow)},
      {"\xEF\xBB\xBF" + Ascii(kHeader), Ascii(kNewRow)},
      {Ascii(kHeader + kRow), Ascii(kNewRow)},
      {Ascii(kHeader) + "\xC3\xA9-1,3132\r\n", Ascii(kNewRow)},
      {Ascii(kHeader) + "\xE9-2,3132\r\n", Ascii(kNewRow)},  // the ANSI code page
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    TempFolder folder;
    WriteBytes(folder / "hseeds.csv", c.before);
    const SeedExportReport report = ExportCsv(folder, HotpToken("0000777", Rfc4226Secret()));
    EXPECT_TRUE(report.written.csv);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(ReadBytes(folder / "hseeds.csv"), c.before + c.added);
    // Read back as the serial check and the settling read it.
    SeedFileAccess files;
    EXPECT_TRUE(FindTokenInSeedFiles(folder.Path(), HotpToken("0000777", Rfc4226Secret()), files).holding.csv);
  }
}

TEST(CsvSeedFile, AFileThatCannotTakeARowInItsEncodingIsLeftAsItIs) {
  const struct {
    std::string before;
    MessageText userName;
    Problem problem;
  } cases[] = {
      {Utf16LittleEndianBytes(kHeader + kRow) + "0", u"", Problem::OddUtf16Length},
      {"\xFF\xFE" + Utf16LittleEndianBytes(kHeader) + "0", u"", Problem::OddUtf16Length},
      {"\xFE\xFF" + Utf16Be(kHeader + kRow), u"", Problem::Utf16BigEndian},
      {Utf16Be(kHeader + kRow), u"", Problem::Utf16BigEndian},
      // No ANSI code page of a Western system holds it.
      {Ascii(kHeader) + "Zo\xEB,0000125,ABCD,30,Velthor Security,Corvane\r\n", u"\u4E2D", Problem::NotInCodePage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    TempFolder folder;
    const bool totp = c.problem == Problem::NotInCodePage;
    const char* name = totp ? "tseeds.csv" : "hseeds.csv";
    WriteBytes(folder / name, c.before);
    const ExportedToken token =
        totp ? TotpToken("0000777", Rfc4226Secret(), c.userName, 30) : HotpToken("0000777", Rfc4226Secret());
    const SeedExportReport report = ExportCsv(folder, token);
    EXPECT_FALSE(report.written.csv);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].step, SeedFileFailure::Step::Encoding);
    EXPECT_EQ(report.failures[0].encoding, c.problem);
    EXPECT_TRUE(report.failures[0].leftUnchanged);
    EXPECT_EQ(ReadBytes(folder / name), c.before);
    ASSERT_EQ(report.lines.size(), 1u);
    EXPECT_EQ(report.lines[0].rfind(u"Could not add the token to " + Widen(name) + u": the file ", 0), 0u);
  }
}

}  // namespace
}  // namespace seed_export_test
