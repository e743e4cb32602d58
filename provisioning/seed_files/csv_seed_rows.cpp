#include "provisioning/seed_files/csv_seed_rows.h"

#include <optional>
#include <string>
#include <vector>

#include "provisioning/seed_files/csv_seed_file.h"

namespace {

// Longer lines are no row the tool wrote (a serial holds 63 bytes at most,
// a user name a few hundred characters): skipped, so memory stays bounded.
constexpr std::size_t kLongestRow = 64 * 1024;
constexpr std::size_t kBlock = 1 << 20;

// The row's fields, quotes taken off and doubled quotes made one.
void SplitFields(std::u16string_view line, std::vector<std::u16string>& fields) {
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

  void Line(std::u16string_view line) {
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    if (line == header_) return;
    SplitFields(line, fields_);
    const std::size_t n = fields_.size();
    if (totp_) {
      // UPN, serial, seed, interval, manufacturer, model.
      if (n >= 6) found_(fields_[n - 5], fields_[n - 4]);
      return;
    }
    // Serial, seed: an old serial's commas were never quoted.
    if (n < 2) return;
    serial_ = fields_[0];
    for (std::size_t i = 1; i + 1 < n; ++i) serial_ += u',' + fields_[i];
    found_(serial_, fields_[n - 1]);
  }

 private:
  bool totp_;
  std::u16string_view header_;
  const CsvSeedRowFound& found_;
  std::vector<std::u16string> fields_;
  std::u16string serial_;
};

}  // namespace

bool ReadCsvSeedRows(ByteSource& in, bool totp, const CsvSeedRowFound& found) {
  RowReader rows(totp, found);
  std::string block(kBlock, '\0');
  std::u16string line;
  bool skipping = false;  // inside a line too long to be a row
  const auto take = [&](unsigned char low, unsigned char high) {
    const auto unit = static_cast<char16_t>(low | high << 8);
    if (unit == u'\n') {
      if (!skipping) rows.Line(line);
      line.clear();
      skipping = false;
    } else if (!skipping) {
      line.push_back(unit);
      if (line.size() > kLongestRow) {
        line.clear();
        skipping = true;
      }
    }
  };
  std::optional<unsigned char> oddByte;  // a unit split between two reads
  for (;;) {
    const std::optional<std::size_t> got = in.Read(&block[0], block.size());
    if (!got) return false;
    if (*got == 0) break;
    const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
    std::size_t at = 0;
    if (oddByte) {
      take(*oddByte, bytes[0]);
      oddByte.reset();
      at = 1;
    }
    for (; at + 1 < *got; at += 2) take(bytes[at], bytes[at + 1]);
    if (at < *got) oddByte = bytes[at];
  }
  if (!skipping && !line.empty()) rows.Line(line);  // a last row without its line end
  return true;
}
