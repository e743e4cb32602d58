#include "provisioning/seed_files/csv_seed_file.h"

#include "provisioning/seed_files/seed_file_lock.h"
#include "provisioning/seed_files/seed_text.h"
#include "text/code_page.h"
#include "text/format_text.h"
#include "text/unicode_text.h"

const char16_t kHotpCsvHeader[] = u"Serial Number, Secret Key\r\n";
const char16_t kTotpCsvHeader[] = u"UPN, Serial Number, Secret Key, Time Interval, Manufacturer, Model\r\n";

MessageText HotpCsvRow(const MessageText& serial, const std::string& seedLowerHex) {
  MessageText row;
  FormatText(row, u"%s,%s\r\n", CsvField(serial), Widen(seedLowerHex));
  return row;
}

MessageText TotpCsvRow(const MessageText& userName, const MessageText& serial, const std::string& seedBase32,
                       std::int32_t interval) {
  MessageText row;
  FormatText(row, u"%s,%s,%s,%d,Velthor Security,Corvane\r\n", CsvField(userName), CsvField(serial), Widen(seedBase32),
             interval);
  return row;
}

std::optional<SeedFileFailure> AppendRowToCsvFile(SeedFileAccess& files, const std::filesystem::path& file,
                                                  std::u16string_view header, const MessageText& row,
                                                  const AppendedToken* added) {
  using Step = SeedFileFailure::Step;
  SeedFileFailure failure;
  failure.file = file;
  if (row.empty()) {
    failure.step = Step::Memory;
    return failure;
  }
  FileLock lock;
  if (auto locked = TakeSeedFileLock(lock, file, files)) return locked;

  const FileFingerprint before = files.cache ? FingerprintOf(file) : FileFingerprint{};
  const AppendOutcome appended = files.Append(file, [&](ByteSink& out, bool created) {
    // Only whether the file existed decides about the header: an empty file gets none.
    const std::string bytes = Utf16LittleEndianBytes(created ? MessageText(header) + row : row);
    return out.Write(bytes.data(), bytes.size());
  });
  failure.error = appended.error;
  switch (appended.step) {
    case AppendOutcome::Step::Appended:
      if (files.cache && added) files.cache->Appended(file, before, FingerprintOf(file), *added);
      return std::nullopt;
    case AppendOutcome::Step::Open: failure.step = Step::Open; return failure;
    case AppendOutcome::Step::Write:
    case AppendOutcome::Step::Cancelled: break;
  }
  failure.step = Step::Write;
  // A file this call created is gone again: neither changed nor left.
  if (!appended.created) {
    failure.leftUnchanged = appended.restored;
    if (!appended.restored) failure.cutBack = appended.restoreError;
  }
  return failure;
}
