#include "provisioning/seed_files/seed_export.h"

#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <optional>
#include <string>

#include "provisioning/seed_files/csv_seed_file.h"
#include "provisioning/seed_files/seed_export_messages.h"
#include "provisioning/seed_files/seed_file_names.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/seed_file_serials.h"
#include "provisioning/seed_files/seed_text.h"
#include "provisioning/seed_files/xml_seed_file.h"
#include "text/base32.h"
#include "text/code_page.h"
#include "text/format_text.h"
#include "text/hex_text.h"
#include "text/unicode_text.h"

namespace {

std::optional<MessageText> AppendXml(SeedFileAccess& files, const std::filesystem::path& file,
                                     const ExportedToken& token, const MessageText& serial,
                                     std::vector<MessageText>& notes) {
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
  return AppendTokenToXmlFile(files, file, token.totp, texts, &notes);
}

// Whether `line` stands in the bytes at their start or right after `lineEnd`,
// at an offset that is a multiple of the unit size of `lineEnd` (UTF-16's
// two bytes). Streams in blocks; nothing when a read failed.
std::optional<bool> ContainsLine(ByteSource& in, const std::string& lineEnd, const std::string& line) {
  const std::string wanted = lineEnd + line;
  const std::size_t unit = 2;
  constexpr std::size_t kBlock = 1 << 20;
  std::string window;  // the last bytes of the previous block, then the new block
  unsigned long long windowStart = 0;
  std::string block(kBlock, '\0');
  bool first = true;
  for (;;) {
    const std::optional<std::size_t> got = in.Read(&block[0], kBlock);
    if (!got) return std::nullopt;
    window.append(block, 0, *got);
    if (first && window.size() >= line.size()) {
      if (window.compare(0, line.size(), line) == 0) return true;
      first = false;
    }
    for (std::size_t at = window.find(wanted); at != std::string::npos; at = window.find(wanted, at + 1)) {
      if ((windowStart + at) % unit == 0) return true;
    }
    if (*got == 0) return false;
    const std::size_t keep = std::min(window.size(), wanted.size() - 1);
    windowStart += window.size() - keep;
    window.erase(0, window.size() - keep);
  }
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

std::optional<MessageText> AppendCsv(SeedFileAccess& files, const std::filesystem::path& file,
                                     const ExportedToken& token, const MessageText& serial) {
  const CsvLines lines = CsvLinesOf(token, serial);
  // As the reader takes a row's serial: in UTF-8 and in the ANSI code page.
  AppendedToken added;
  added.serials = {Utf8FromUtf16(serial), token.serial};
  return AppendRowToCsvFile(files, file, lines.header, lines.row, &added);
}

// Whatever goes wrong in one file's step becomes that file's line: the token
// is on the key already, so nothing may end the tool here.
// True when the step wrote its file.
template <typename Step>
bool RunStep(std::vector<MessageText>& failures, const std::filesystem::path& file, Step step) {
  std::optional<MessageText> failure;
  MessageText reason;
  try {
    failure = step();
  } catch (const std::bad_alloc&) {
    reason = u"there was not enough memory";
  } catch (const std::length_error&) {
    reason = u"the file is too large to be held in memory";
  } catch (const std::exception& error) {
    reason = Format(u"an unexpected error occurred (%s)", Widen(error.what()));
  } catch (...) {
    reason = u"an unexpected error occurred";
  }
  if (!reason.empty()) {
    try {
      failure = CouldNotAddToken(file.filename().u16string(), reason);
    } catch (...) {
      failure = reason;  // even the file's name did not fit in memory
    }
  }
  if (!failure) return true;
  failures.push_back(std::move(*failure));
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

std::vector<MessageText> AppendSeedFiles(const std::filesystem::path& folder, const ExportedToken& token,
                                         SeedFileAccess& files, SeedFileSet which, SeedFileSet* written) {
  std::vector<MessageText> failures;
  SeedFileSet done;
  try {
    const std::filesystem::path csvFile = SeedFile(folder, token, ".csv");
    const std::filesystem::path xmlFile = SeedFile(folder, token, ".xml");

    const std::optional<MessageText> serial = WidenText(token.serial.c_str(), kThreadAnsiCodePage);
    if (!serial) {
      for (const auto& file : {csvFile, xmlFile}) {
        failures.push_back(CouldNotAddToken(file.filename().u16string(),
                                            u"the serial number is not valid text in the system code page"));
      }
      return failures;
    }

    // The small CSV row first: the seed reaches a file even when the rewrite of
    // a large XML file fails or the process dies during it.
    if (which.csv) {
      done.csv = RunStep(failures, csvFile, [&] { return AppendCsv(files, csvFile, token, *serial); });
    }
    if (which.xml) {
      done.xml = RunStep(failures, xmlFile, [&] { return AppendXml(files, xmlFile, token, *serial, failures); });
    }
  } catch (...) {
    // Only naming the files or keeping the lines can get here: memory ran out.
    try {
      failures.push_back(u"Could not add the token to the seed export files: there was not enough memory.\r\n");
    } catch (...) {
    }
  }
  if (written) *written = done;
  return failures;
}

std::vector<MessageText> AppendSeedFiles(const std::filesystem::path& folder, const ExportedToken& token,
                                         SeedFileAccess& files) {
  return AppendSeedFiles(folder, token, files, SeedFileSet{true, true}, nullptr);
}

std::vector<MessageText> AppendSeedFiles(const std::filesystem::path& folder, const ExportedToken& token) {
  SeedFileAccess files;
  return AppendSeedFiles(folder, token, files);
}

SeedFilePresence FindTokenInSeedFiles(const std::filesystem::path& folder, const ExportedToken& token,
                                      SeedFileAccess& files) {
  SeedFilePresence presence;
  const std::optional<MessageText> serial = WidenText(token.serial.c_str(), kThreadAnsiCodePage);
  if (!serial) return presence;
  const auto unreadable = [&](const std::filesystem::path& file, const FileError& error) {
    (file.extension() == ".csv" ? presence.unreadable.csv : presence.unreadable.xml) = true;
    presence.lines.push_back(CouldNotAddToken(file.filename().u16string(),
                                              LeftUnchanged(FileErrorReason(u"the file could not be read", error))));
  };

  const std::filesystem::path xmlFile = SeedFile(folder, token, ".xml");
  OpenForReadingOutcome xml = files.OpenForReading(xmlFile);
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

  // A row starts the file or follows a line end.
  const std::filesystem::path csvFile = SeedFile(folder, token, ".csv");
  OpenForReadingOutcome csv = files.OpenForReading(csvFile);
  if (csv.source) {
    const std::string row = Utf16LittleEndianBytes(CsvLinesOf(token, *serial).row);
    const std::optional<bool> found = ContainsLine(*csv.source, Utf16LittleEndianBytes(u"\r\n"), row);
    if (found) {
      presence.holding.csv = *found;
    } else {
      unreadable(csvFile, csv.source->error);
    }
  } else if (csv.state == OpenForReadingOutcome::State::Failed) {
    unreadable(csvFile, csv.error);
  }
  return presence;
}
