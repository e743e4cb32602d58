#include "provisioning/seed_files/csv_seed_rows.h"

#include <cstring>
#include <string>
#include <vector>

#include "provisioning/seed_files/byte_scan.h"
#include "provisioning/seed_files/csv_seed_file.h"
#include "provisioning/seed_files/seed_file_encoding.h"
#include "provisioning/seed_files/seed_file_recoding.h"
#include "provisioning/seed_files/seed_text.h"
#include "text/unicode_text.h"

namespace {

// Longer lines are no row the tool wrote (a serial holds 63 bytes at most,
// a user name a few hundred characters): skipped, so memory stays bounded.
constexpr std::size_t kLongestRow = 64 * 1024;
constexpr std::size_t kBlockUnits = 1 << 19;

// The row's fields, quotes taken off and doubled quotes made one.
void SplitQuotedFields(std::u16string_view line, std::vector<std::u16string>& fields) {
  fields.clear();
  std::u16string field;
  bool quoted = false;
  bool fieldStart = true;
  for (std::size_t at = 0; at < line.size(); ++at) {
    const char16_t unit = line[at];
    if (quoted) {
      if (unit != u'"') {
        field.push_back(unit);
      } else if (at + 1 < line.size() && line[at + 1] == u'"') {
        field.push_back(u'"');
        ++at;
      } else {
        quoted = false;
      }
    } else if (unit == u',') {
      fields.push_back(std::move(field));
      field.clear();
      fieldStart = true;
      continue;
    } else if (unit == u'"' && fieldStart) {
      quoted = true;
    } else if (fieldStart && IsWhiteSpace(unit)) {
      continue;  // before a field's opening quote, or trimmed anyway
    } else {
      field.push_back(unit);
    }
    fieldStart = false;
  }
  fields.push_back(std::move(field));
}

class RowReader {
 public:
  RowReader(bool totp, const CsvSeedRowFound& found)
      : totp_(totp), header_(totp ? kTotpCsvHeader : kHotpCsvHeader), found_(found) {
    header_.remove_suffix(2);  // its CRLF
  }

  // `quoted`: the line holds a '"'.
  void Line(std::u16string_view line, bool quoted) {
    if (line.size() > kLongestRow) return;
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    if (line == header_) return;
    if (!quoted) {
      Plain(line);
    } else {
      Quoted(line);
    }
  }

 private:
  // Nothing quoted, as nearly every row: the fields are found from the
  // row's end, in place.
  void Plain(std::u16string_view line) {
    // Serial, seed; or UPN, serial, seed, interval, manufacturer, model.
    const int fromEnd = totp_ ? 5 : 2;
    std::size_t commas[5];
    std::size_t end = line.size();
    for (int i = 0; i < fromEnd; ++i) {
      const std::size_t comma = end == 0 ? std::u16string_view::npos : line.rfind(u',', end - 1);
      if (comma == std::u16string_view::npos) {
        if (totp_ || i == 0) return;  // too few fields
        commas[i] = std::u16string_view::npos;
        break;
      }
      commas[i] = end = comma;
    }
    if (totp_) {
      Found(line.substr(commas[4] + 1, commas[3] - commas[4] - 1),
            line.substr(commas[3] + 1, commas[2] - commas[3] - 1));
    } else {
      // An old serial's commas were never quoted: it runs to the last one.
      Found(line.substr(0, commas[0]), line.substr(commas[0] + 1));
    }
  }

  void Quoted(std::u16string_view line) {
    SplitQuotedFields(line, fields_);
    const std::size_t n = fields_.size();
    if (totp_) {
      if (n >= 6) Found(fields_[n - 5], fields_[n - 4]);
      return;
    }
    if (n < 2) return;
    serial_ = fields_[0];
    for (std::size_t i = 1; i + 1 < n; ++i) serial_ += u',' + fields_[i];
    Found(serial_, fields_[n - 1]);
  }

  // As a server compares them: trimmed.
  void Found(std::u16string_view serial, std::u16string_view seed) {
    found_(TrimWhiteSpace(serial), TrimWhiteSpace(seed));
  }

  bool totp_;
  std::u16string_view header_;
  const CsvSeedRowFound& found_;
  std::vector<std::u16string> fields_;
  std::u16string serial_;
};

bool ReadUtf16LeRows(ByteSource& in, bool totp, const CsvSeedRowFound& found) {
  RowReader rows(totp, found);
  // Units in the byte order of the file, which is the processor's (both
  // little-endian); [begin, filled) is a line not finished yet.
  std::vector<char16_t> units(kBlockUnits + kLongestRow + 1);
  std::size_t begin = 0;
  std::size_t filled = 0;
  bool oddByte = false;   // a unit split between two reads: its first byte is at `filled`
  bool skipping = false;  // inside a line too long to be a row
  bool quoted = false;    // the line so far holds a '"'
  for (;;) {
    if (units.size() - filled < kBlockUnits) {
      std::memmove(units.data(), units.data() + begin, (filled - begin) * 2 + (oddByte ? 1 : 0));
      filled -= begin;
      begin = 0;
    }
    char* bytes = reinterpret_cast<char*>(units.data() + filled) + (oddByte ? 1 : 0);
    const std::optional<std::size_t> got = in.Read(bytes, (units.size() - filled) * 2 - (oddByte ? 1 : 0));
    if (!got) return false;
    if (*got == 0) break;
    const std::size_t byteCount = *got + (oddByte ? 1 : 0);
    const std::size_t scanFrom = filled;
    filled += byteCount / 2;
    oddByte = byteCount % 2 != 0;
    // Line ends and quotes, found among the bytes: a byte that matches at
    // an odd place is half of another unit.
    const std::u16string_view view(units.data(), filled);
    const char* const unitBytes = reinterpret_cast<const char*>(units.data());
    const char* const stop = unitBytes + filled * 2;
    for (const char* at = FindAnyOf(unitBytes + scanFrom * 2, stop, "\n\""); at != stop;
         at = FindAnyOf(at, stop, "\n\"")) {
      const std::size_t offset = static_cast<std::size_t>(at - unitBytes);
      at += offset % 2 != 0 ? 1 : 2;
      if (offset % 2 != 0) continue;
      const char16_t unit = units[offset / 2];
      if (unit == u'"') {
        quoted = true;
      } else if (unit == u'\n') {
        if (!skipping) rows.Line(view.substr(begin, offset / 2 - begin), quoted);
        skipping = false;
        quoted = false;
        begin = offset / 2 + 1;
      }
    }
    if (filled - begin > kLongestRow) {
      skipping = true;
      begin = filled;
    }
  }
  if (!skipping && filled > begin) {  // a last row without its line end
    rows.Line(std::u16string_view(units.data() + begin, filled - begin), quoted);
  }
  return true;
}

}  // namespace

bool ReadCsvSeedRows(ByteSource& in, bool totp, CodePage codePage, const CsvSeedRowFound& found) {
  HeadSource head(in);
  const SeedFileEncoding encoding = CsvSeedFileEncoding(head.Head(), head.Whole());
  head.Skip(encoding.byteOrderMark);
  // The tool's own files are read in place.
  if (encoding.text == SeedTextEncoding::Utf16Le) return ReadUtf16LeRows(head, totp, found);
  RecodingSource utf16(head, encoding.text, false, codePage);
  return ReadUtf16LeRows(utf16, totp, found);
}
