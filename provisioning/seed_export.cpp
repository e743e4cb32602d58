#include "provisioning/seed_export.h"

#include <exception>
#include <new>
#include <stdexcept>
#include <optional>
#include <string>

#include "provisioning/csv_seed_file.h"
#include "provisioning/seed_export_messages.h"
#include "provisioning/seed_file_access.h"
#include "provisioning/seed_text.h"
#include "provisioning/xml_seed_file.h"
#include "text/base32.h"
#include "text/code_page.h"
#include "text/format_text.h"
#include "text/hex_text.h"

namespace {

std::optional<MessageText> AppendXml(SeedFileAccess& files, const std::filesystem::path& file,
                                     const ExportedToken& token, const MessageText& serial,
                                     bool& serialAlreadyPresent, std::vector<MessageText>& notes) {
  XmlSeedToken texts;
  texts.sha256 = token.sha256;
  // The file declares no encoding, so readers take it as UTF-8.
  texts.name = Utf8FromUtf16(token.userName);
  texts.digits = std::to_string(token.digits);
  texts.serial = Utf8FromUtf16(serial);
  texts.seedHex = HexText(token.seed.data(), token.seed.size(), true);
  return AppendTokenToXmlFile(files, file, token.totp, texts, &serialAlreadyPresent, &notes);
}

std::optional<MessageText> AppendCsv(SeedFileAccess& files, const std::filesystem::path& file,
                                     const ExportedToken& token, const MessageText& serial) {
  if (token.totp) {
    const std::string base32 = Base32Encode(token.seed.data(), token.seed.size());
    const MessageText row =
        TotpCsvRow(token.userName, serial, base32, static_cast<std::int32_t>(token.interval));
    return AppendRowToCsvFile(files, file, kTotpCsvHeader, row);
  }
  return AppendRowToCsvFile(files, file, kHotpCsvHeader, HotpCsvRow(serial, HexText(token.seed.data(), token.seed.size(), false)));
}

// Whatever goes wrong in one file's step becomes that file's line: the token
// is on the key already, so nothing may end the tool here.
template <typename Step>
void RunStep(std::vector<MessageText>& failures, const std::filesystem::path& file, Step step) {
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
  if (failure) failures.push_back(std::move(*failure));
}

}  // namespace

std::vector<MessageText> AppendSeedFiles(const std::filesystem::path& folder,
                                         const ExportedToken& token, SeedFileAccess& files) {
  std::vector<MessageText> failures;
  try {
    const std::string baseName = token.totp ? "tseeds" : "hseeds";
    const std::filesystem::path csvFile = folder / (baseName + ".csv");
    const std::filesystem::path xmlFile = folder / (baseName + ".xml");

    const std::optional<MessageText> serial = WidenText(token.serial.c_str(), kThreadAnsiCodePage);
    if (!serial) {
      for (const auto& file : {csvFile, xmlFile}) {
        failures.push_back(CouldNotAddToken(
            file.filename().u16string(), u"the serial number is not valid text in the system code page"));
      }
      return failures;
    }

    // The small CSV row first: the seed reaches a file even when the rewrite of
    // a large XML file fails or the process dies during it.
    RunStep(failures, csvFile, [&] { return AppendCsv(files, csvFile, token, *serial); });
    bool serialAlreadyPresent = false;
    RunStep(failures, xmlFile,
            [&] { return AppendXml(files, xmlFile, token, *serial, serialAlreadyPresent, failures); });
    // Saved all the same: a key may be programmed again with its old serial.
    if (serialAlreadyPresent) {
      failures.push_back(SerialAlreadyInFile(*serial, xmlFile.filename().u16string()));
    }
  } catch (...) {
    // Only naming the files or keeping the lines can get here: memory ran out.
    try {
      failures.push_back(u"Could not add the token to the seed export files: there was not enough memory.\r\n");
    } catch (...) {
    }
  }
  return failures;
}

std::vector<MessageText> AppendSeedFiles(const std::filesystem::path& folder,
                                         const ExportedToken& token) {
  SeedFileAccess files;
  return AppendSeedFiles(folder, token, files);
}
