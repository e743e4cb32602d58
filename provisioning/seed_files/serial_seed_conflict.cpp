#include "provisioning/seed_files/serial_seed_conflict.h"

#include <string_view>

#include "provisioning/seed_files/csv_seed_rows.h"
#include "provisioning/seed_files/seed_file_names.h"
#include "provisioning/seed_files/seed_text.h"
#include "provisioning/seed_files/xml_seed_layout.h"
#include "provisioning/seed_files/xml_seed_text_reader.h"
#include "text/base32.h"
#include "text/code_page.h"
#include "text/hex_text.h"
#include "text/unicode_text.h"

namespace {

// The serial as each file holds it: 8-bit in an XML file (UTF-8, or the ANSI
// code page in an older file), UTF-16 in a CSV file.
struct SerialForms {
  std::string ansi;
  std::string utf8;
  MessageText utf16;
};

bool XmlHoldsOtherSeed(ByteSource& in, const SerialForms& serial, const std::string& seedHex) {
  bool conflict = false;
  bool ours = false;  // the last serial read was this token's
  ReadXmlSeedTexts(in, {kXmlSerialElement, kXmlSeedElement}, [&](std::size_t name, std::string_view text, bool) {
    if (name == 0) {
      ours = text == serial.ansi || text == serial.utf8;
    } else if (ours) {
      if (!SameSeedText(text, seedHex)) conflict = true;
      ours = false;
    }
  });
  return conflict;
}

bool CsvHoldsOtherSeed(ByteSource& in, bool totp, const SerialForms& serial, const std::string& seedText) {
  bool conflict = false;
  ReadCsvSeedRows(in, totp, kThreadAnsiCodePage, [&](std::u16string_view rowSerial, std::u16string_view rowSeed) {
    if (rowSerial == serial.utf16 && !SameSeedText(rowSeed, seedText)) conflict = true;
  });
  return conflict;
}

}  // namespace

std::vector<std::string> SeedFilesWithOtherSeed(const std::filesystem::path& folder, const ExportedToken& token,
                                                SeedFileAccess& files) {
  SerialForms serial;
  serial.ansi = token.serial;
  serial.utf16 = Widen(token.serial, kThreadAnsiCodePage);
  serial.utf8 = Utf8FromUtf16(serial.utf16);
  const std::string hex = HexText(token.seed.data(), token.seed.size(), true);
  const std::string base32 = Base32Encode(token.seed.data(), token.seed.size());
  std::vector<std::string> holding;
  for (const SeedFileName& file : kSeedFileNames) {
    OpenForReadingOutcome opened = files.OpenForReading(folder / file.name);
    if (!opened.source) continue;
    const bool conflict = file.csv ? CsvHoldsOtherSeed(*opened.source, file.totp, serial, file.totp ? base32 : hex)
                                   : XmlHoldsOtherSeed(*opened.source, serial, hex);
    if (conflict) holding.push_back(file.name);
  }
  return holding;
}

std::optional<std::string> SeedFileWithOtherSeed(const std::filesystem::path& folder, const ExportedToken& token,
                                                 SeedFileAccess& files) {
  std::vector<std::string> holding = SeedFilesWithOtherSeed(folder, token, files);
  if (holding.empty()) return std::nullopt;
  return std::move(holding.front());
}
