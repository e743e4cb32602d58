#include "provisioning/seed_files/csv_seed_file.h"

#include "provisioning/seed_files/seed_file_encoding.h"
#include "provisioning/seed_files/seed_file_lock.h"
#include "provisioning/seed_files/seed_file_names.h"
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

namespace {

using Problem = SeedFileFailure::EncodingProblem;

// What an existing file is in, read under its lock: the bytes a row takes
// there, or why the file cannot take one in its own encoding.
struct CsvRowBytes {
  std::string bytes;
  std::optional<Problem> problem;
  std::optional<FileError> unreadable;
};

CsvRowBytes RowInFileEncoding(SeedFileAccess& files, const std::filesystem::path& file, const MessageText& row) {
  CsvRowBytes result;
  OpenForReadingOutcome opened = files.OpenForReadingPatiently(file);
  SeedFileEncoding encoding;  // a missing file: the tool's own
  if (opened.state == OpenForReadingOutcome::State::Failed) {
    result.unreadable = opened.error;
    return result;
  }
  if (opened.source) {
    HeadSource head(*opened.source);
    encoding = CsvSeedFileEncoding(head.Head(), head.Whole());
    if (!head.Whole() && head.Head().size() < kEncodingHeadBytes) {
      result.unreadable = opened.source->error;
      return result;
    }
    const std::uint64_t size = head.Whole() ? head.Head().size() : StampOf(file).size;
    const bool utf16 = encoding.text == SeedTextEncoding::Utf16Le || encoding.text == SeedTextEncoding::Utf16Be;
    if (utf16 && size % 2 != 0) {
      result.problem = Problem::OddUtf16Length;
      return result;
    }
  } else {
    encoding.text = SeedTextEncoding::Utf16Le;
  }
  switch (encoding.text) {
    case SeedTextEncoding::Utf16Le: result.bytes = Utf16LittleEndianBytes(row); break;
    case SeedTextEncoding::Utf8: result.bytes = Utf8FromUtf16(row); break;
    case SeedTextEncoding::CodePage: {
      std::optional<std::string> narrow = NarrowText(row.c_str(), kThreadAnsiCodePage);
      if (!narrow) {
        result.problem = Problem::NotInCodePage;
      } else {
        result.bytes = std::move(*narrow);
      }
      break;
    }
    default: result.problem = Problem::Utf16BigEndian;
  }
  return result;
}

}  // namespace

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

  // Each file keeps its encoding: never a row in another one.
  const CsvRowBytes rowBytes = RowInFileEncoding(files, file, row);
  if (rowBytes.unreadable || rowBytes.problem) {
    failure.step = rowBytes.problem ? Step::Encoding : Step::Read;
    if (rowBytes.problem) failure.encoding = *rowBytes.problem;
    if (rowBytes.unreadable) failure.error = *rowBytes.unreadable;
    failure.leftUnchanged = true;
    return failure;
  }
  const FileFingerprint before = files.cache ? FingerprintOf(file) : FileFingerprint{};
  // A new file gets the strictest rules of the seed files of its kind.
  const AppendOutcome appended = files.Append(
      file,
      [&](ByteSink& out, bool created) {
        // Only whether the file existed decides about the header: an empty file gets none.
        if (!created) return out.Write(rowBytes.bytes.data(), rowBytes.bytes.size());
        const std::string bytes = Utf16LittleEndianBytes(MessageText(header) + row);
        return out.Write(bytes.data(), bytes.size());
      },
      SeedFilesOfKind(file));
  failure.error = appended.error;
  switch (appended.step) {
    case AppendOutcome::Step::Appended:
      if (files.cache && added) files.cache->Appended(file, before, FingerprintOf(file), *added);
      return std::nullopt;
    case AppendOutcome::Step::Open: failure.step = Step::Open; return failure;
    case AppendOutcome::Step::Security: failure.step = Step::Security; return failure;
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
