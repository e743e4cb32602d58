#include "provisioning/seed_files/seed_export.h"

#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <optional>
#include <string>

#include "provisioning/seed_files/csv_seed_file.h"
#include "provisioning/seed_files/csv_seed_rows.h"
#include "provisioning/seed_files/seed_export_messages.h"
#include "provisioning/seed_files/seed_file_names.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/seed_file_serials.h"
#include "provisioning/seed_files/seed_text.h"
#include "provisioning/seed_files/xml_seed_file.h"
#include "text/base32.h"
#include "text/code_page.h"
#include "text/hex_text.h"
#include "text/unicode_text.h"

namespace {

std::optional<SeedFileFailure> AppendXml(SeedFileAccess& files, const std::filesystem::path& file,
                                         const ExportedToken& token, const MessageText& serial,
                                         std::vector<SeedFileNote>& notes) {
  XmlSeedToken texts;
  texts.sha256 = token.sha256;
  // The file declares no encoding, so readers take it as UTF-8; a file an
  // older tool wrote in the ANSI code page stays in it.
  texts.name = Utf8FromUtf16(token.userName);
  texts.digits = std::to_string(token.digits);
  texts.serial = Utf8FromUtf16(serial);
  texts.ansiName = NarrowText(token.userName.c_str(), kThreadAnsiCodePage);
  texts.ansiSerial = token.serial;
  texts.seedHex = HexText(token.seed.data(), token.seed.size(), true);
  return AddTokenToXmlFile(files, file, token.totp, texts, &notes);
}

struct CsvLines {
  std::u16string_view header;
  MessageText row;
};

CsvLines CsvLinesOf(const ExportedToken& token, const MessageText& serial) {
  if (token.totp) {
    const std::string base32 = Base32Encode(token.seed.data(), token.seed.size());
    return {kTotpCsvHeader, TotpCsvRow(token.userName, serial, base32, static_cast<std::int32_t>(token.interval))};
  }
  return {kHotpCsvHeader, HotpCsvRow(serial, HexText(token.seed.data(), token.seed.size(), false))};
}

std::optional<SeedFileFailure> AppendCsv(SeedFileAccess& files, const std::filesystem::path& file,
                                         const ExportedToken& token, const MessageText& serial) {
  const CsvLines lines = CsvLinesOf(token, serial);
  // As the reader takes a row's serial: in UTF-8 and in the ANSI code page.
  AppendedToken added;
  added.serials = {Utf8FromUtf16(serial), token.serial};
  return AppendRowToCsvFile(files, file, lines.header, lines.row, &added);
}

// Keeps `failure` with its line. A line that does not fit in memory is
// given as its bare reason, if that fits.
void Report(SeedExportReport& report, SeedFileFailure failure) {
  try {
    report.lines.push_back(FailureLine(failure));
  } catch (const std::bad_alloc&) {
    report.lines.push_back(FailureReason(failure));
  }
  report.failures.push_back(std::move(failure));
}

// Whatever goes wrong in one file's step becomes that file's failure: the
// token is on the key already, so nothing may end the tool here. What the
// step noticed on the way (`notes`, which it fills as it runs) comes first.
// True when the step wrote its file.
template <typename Step>
bool RunStep(SeedExportReport& report, const std::filesystem::path& file, Step step,
             const std::vector<SeedFileNote>& notes = {}) {
  std::optional<SeedFileFailure> failure;
  SeedFileFailure thrown;
  thrown.file = file;
  try {
    failure = step();
  } catch (const std::bad_alloc&) {
    thrown.step = SeedFileFailure::Step::Memory;
    failure = thrown;
  } catch (const std::length_error&) {
    thrown.step = SeedFileFailure::Step::Memory;
    thrown.error.kind = FileErrorKind::TooLarge;
    failure = thrown;
  } catch (const std::exception& error) {
    thrown.step = SeedFileFailure::Step::Unexpected;
    thrown.detail = Widen(error.what());
    failure = thrown;
  } catch (...) {
    thrown.step = SeedFileFailure::Step::Unexpected;
    failure = thrown;
  }
  for (const SeedFileNote& note : notes) report.lines.push_back(NoteLine(note));
  if (!failure) return true;
  Report(report, std::move(*failure));
  return false;
}

}  // namespace

std::filesystem::path SeedFile(const std::filesystem::path& folder, const ExportedToken& token, const char* extension) {
  return folder / (std::string(SeedFileStem(token.totp)) + extension);
}

MessageText SeedFileNames(const std::filesystem::path& folder, const ExportedToken& token, SeedFileSet which) {
  const MessageText xml = SeedFile(folder, token, ".xml").filename().u16string();
  const MessageText csv = SeedFile(folder, token, ".csv").filename().u16string();
  if (which.xml && which.csv) return xml + u" and " + csv;
  return which.xml ? xml : csv;
}

SeedExportReport ExportToSeedFiles(const std::filesystem::path& folder, const ExportedToken& token,
                                   SeedFileAccess& files, SeedFileSet which) {
  SeedExportReport report;
  try {
    const std::filesystem::path csvFile = SeedFile(folder, token, ".csv");
    const std::filesystem::path xmlFile = SeedFile(folder, token, ".xml");

    const std::optional<MessageText> serial = WidenText(token.serial.c_str(), kThreadAnsiCodePage);
    if (!serial) {
      for (const auto& file : {csvFile, xmlFile}) {
        SeedFileFailure failure;
        failure.file = file;
        failure.step = SeedFileFailure::Step::SerialText;
        Report(report, std::move(failure));
      }
      return report;
    }

    // The small CSV row first: the seed reaches a file even when the rewrite of
    // a large XML file fails or the process dies during it.
    if (which.csv) {
      report.written.csv = RunStep(report, csvFile, [&] { return AppendCsv(files, csvFile, token, *serial); });
    }
    if (which.xml) {
      std::vector<SeedFileNote> notes;
      report.written.xml = RunStep(
          report, xmlFile, [&] { return AppendXml(files, xmlFile, token, *serial, notes); }, notes);
    }
  } catch (...) {
    // Only naming the files or keeping the lines can get here: memory ran out.
    try {
      report.lines.push_back(u"Could not add the token to the seed export files: there was not enough memory.\r\n");
    } catch (...) {
    }
  }
  return report;
}

SeedFilePresence FindTokenInSeedFiles(const std::filesystem::path& folder, const ExportedToken& token,
                                      SeedFileAccess& files) {
  SeedFilePresence presence;
  const std::optional<MessageText> serial = WidenText(token.serial.c_str(), kThreadAnsiCodePage);
  if (!serial) return presence;
  const auto unreadable = [&](const std::filesystem::path& file, const FileError& error) {
    (file.extension() == ".csv" ? presence.unreadable.csv : presence.unreadable.xml) = true;
    SeedFileFailure failure;
    failure.file = file;
    failure.step = SeedFileFailure::Step::Read;
    failure.error = error;
    failure.leftUnchanged = true;
    presence.lines.push_back(FailureLine(failure));
  };

  const std::filesystem::path xmlFile = SeedFile(folder, token, ".xml");
  OpenForReadingOutcome xml = files.OpenForReadingPatiently(xmlFile);
  if (xml.source) {
    SeedFileTokens tokens;
    if (ScanSeedFileTokens(*xml.source, tokens)) {
      // In UTF-8, or in the ANSI code page in a file an older tool began.
      const std::string seedHex = HexText(token.seed.data(), token.seed.size(), true);
      presence.holding.xml = tokens.Holds(SeedFileTokenKey(Utf8FromUtf16(*serial), seedHex)) ||
                             tokens.Holds(SeedFileTokenKey(token.serial, seedHex));
    } else {
      unreadable(xmlFile, xml.source->error);
    }
  } else if (xml.state == OpenForReadingOutcome::State::Failed) {
    unreadable(xmlFile, xml.error);
  }

  // Read as the serial check and a server read it: a row with the serial and the seed.
  const std::filesystem::path csvFile = SeedFile(folder, token, ".csv");
  OpenForReadingOutcome csv = files.OpenForReadingPatiently(csvFile);
  if (csv.source) {
    const std::string seedText = token.totp ? Base32Encode(token.seed.data(), token.seed.size())
                                            : HexText(token.seed.data(), token.seed.size(), false);
    bool found = false;
    const bool read = ReadCsvSeedRows(*csv.source, token.totp, kThreadAnsiCodePage,
                                      [&](std::u16string_view rowSerial, std::u16string_view rowSeed) {
                                        if (rowSerial == *serial && SameSeedText(rowSeed, seedText)) found = true;
                                      });
    if (read) {
      presence.holding.csv = found;
    } else {
      unreadable(csvFile, csv.source->error);
    }
  } else if (csv.state == OpenForReadingOutcome::State::Failed) {
    unreadable(csvFile, csv.error);
  }
  return presence;
}
