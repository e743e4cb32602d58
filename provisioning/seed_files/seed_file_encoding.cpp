#include "provisioning/seed_files/seed_file_encoding.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <optional>

#include "provisioning/seed_files/xml_seed_layout.h"
#include "text/unicode_text.h"

namespace {

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

bool IsAnyOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::any_of(names.begin(), names.end(), [&](std::string_view n) { return SameIgnoringAsciiCase(name, n); });
}

// The value of `encoding="..."` in an XML declaration at the start of the
// bytes (after white space), if there is one.
std::optional<std::string> DeclaredEncoding(std::string_view bytes) {
  while (!bytes.empty() && IsXmlSpace(bytes.front())) bytes.remove_prefix(1);
  if (bytes.substr(0, 5) != "<?xml" || bytes.size() < 6 || !IsXmlSpace(bytes[5])) return std::nullopt;
  const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
  std::size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return std::nullopt;
  at += 8;
  while (at < declaration.size() && IsXmlSpace(declaration[at])) ++at;
  if (at >= declaration.size() || declaration[at] != '=') return std::nullopt;
  ++at;
  while (at < declaration.size() && IsXmlSpace(declaration[at])) ++at;
  if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) return std::nullopt;
  const char quote = declaration[at++];
  const std::size_t end = declaration.find(quote, at);
  if (end == std::string_view::npos) return std::nullopt;
  return std::string(declaration.substr(at, end - at));
}

SeedFileEncoding Encoding(SeedTextEncoding text, std::size_t byteOrderMark = 0) {
  SeedFileEncoding encoding;
  encoding.text = text;
  encoding.byteOrderMark = byteOrderMark;
  return encoding;
}

}  // namespace

SeedFileEncoding XmlSeedFileEncoding(std::string_view head) {
  using Text = SeedTextEncoding;
  // UTF-32, with a byte-order mark or without.
  if (head.substr(0, 4) == std::string_view("\xFF\xFE\0\0", 4) || head.substr(0, 2) == std::string_view("\0\0", 2) ||
      head.substr(0, 4) == std::string_view("<\0\0\0", 4)) {
    return Encoding(Text::Other);
  }
  if (head.substr(0, 2) == "\xFF\xFE") return Encoding(Text::Utf16Le, 2);
  if (head.substr(0, 2) == "\xFE\xFF") return Encoding(Text::Utf16Be, 2);
  if (head.substr(0, 2) == std::string_view("<\0", 2)) return Encoding(Text::Utf16Le);
  if (head.substr(0, 2) == std::string_view("\0<", 2)) return Encoding(Text::Utf16Be);
  SeedFileEncoding encoding;
  if (head.substr(0, 3) == "\xEF\xBB\xBF") {
    encoding.byteOrderMark = 3;
    head.remove_prefix(3);
  }
  const std::optional<std::string> declared = DeclaredEncoding(head);
  if (!declared) return encoding;
  encoding.declared = *declared;
  if (IsAnyOf(*declared, {"UTF-8", "UTF8", "US-ASCII", "ASCII"})) return encoding;
  // A byte-order mark says more than a declaration.
  if (encoding.byteOrderMark == 0) {
    encoding.text = IsAnyOf(*declared, {"ISO-8859-1", "ISO8859-1", "LATIN1"}) ? Text::Latin1 : Text::Other;
  }
  return encoding;
}

SeedFileEncoding CsvSeedFileEncoding(std::string_view head, bool whole) {
  using Text = SeedTextEncoding;
  if (head.substr(0, 3) == "\xEF\xBB\xBF") return Encoding(Text::Utf8, 3);
  if (head.substr(0, 2) == "\xFF\xFE") return Encoding(Text::Utf16Le, 2);
  if (head.substr(0, 2) == "\xFE\xFF") return Encoding(Text::Utf16Be, 2);
  if (head.empty()) return Encoding(Text::Utf16Le);
  if (head.size() >= 2 && (head[0] == 0) != (head[1] == 0)) {
    return Encoding(head[1] == 0 ? Text::Utf16Le : Text::Utf16Be);
  }
  // Whole lines only: a character may be cut at the head's end.
  if (!whole) head = head.substr(0, head.rfind('\n') + 1);
  Utf8Check check;
  check.Feed(head);
  return Encoding(check.Valid() ? Text::Utf8 : Text::CodePage);
}

bool XmlEncodingWritable(const SeedFileEncoding& encoding) { return encoding.text == SeedTextEncoding::Utf8; }

HeadSource::HeadSource(ByteSource& in) : in_(in) {
  head_.resize(kEncodingHeadBytes);
  std::size_t filled = 0;
  while (filled < head_.size()) {
    const std::optional<std::size_t> got = in_.Read(&head_[filled], head_.size() - filled);
    if (!got) {
      failed_ = true;
      break;
    }
    if (*got == 0) {
      whole_ = true;
      break;
    }
    filled += *got;
  }
  head_.resize(filled);
}

std::optional<std::size_t> HeadSource::Read(void* buffer, std::size_t capacity) {
  if (offset_ < head_.size()) {
    const std::size_t count = std::min(capacity, head_.size() - offset_);
    std::memcpy(buffer, head_.data() + offset_, count);
    offset_ += count;
    return count;
  }
  if (failed_) return std::nullopt;
  if (whole_) return 0;
  return in_.Read(buffer, capacity);
}
