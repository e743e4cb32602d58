#include "provisioning/seed_files/seed_file_recoding.h"

#include <cstring>

#include "text/unicode_text.h"

namespace {

constexpr std::size_t kBlock = 64 * 1024;
// No row is this long; a longer line is passed over, so memory stays bounded.
constexpr std::size_t kLongestLine = 1024 * 1024;

}  // namespace

RecodingSource::RecodingSource(ByteSource& in, SeedTextEncoding from, bool toUtf8, CodePage codePage)
    : in_(in), from_(from), toUtf8_(toUtf8), codePage_(codePage) {}

void RecodingSource::Convert(bool end) {
  using Text = SeedTextEncoding;
  std::size_t used = 0;
  if (from_ == Text::Utf16Le || from_ == Text::Utf16Be) {
    // Whole units, and a pair of surrogates together.
    std::u16string units;
    const bool big = from_ == Text::Utf16Be;
    for (; used + 1 < pending_.size(); used += 2) {
      const auto first = static_cast<unsigned char>(pending_[used]);
      const auto second = static_cast<unsigned char>(pending_[used + 1]);
      units.push_back(static_cast<char16_t>(big ? first << 8 | second : second << 8 | first));
    }
    if (!end && !units.empty() && IsHighSurrogate(units.back())) {
      units.pop_back();
      used -= 2;
    }
    if (end) used = pending_.size();  // a last odd byte is no character
    out_ += toUtf8_ ? Utf8FromUtf16(units) : Utf16LittleEndianBytes(units);
  } else if (from_ == Text::Latin1) {
    for (const char byte : pending_) AppendUtf8(out_, static_cast<unsigned char>(byte));
    used = pending_.size();
  } else {
    // UTF-8 or the code page, a line at a time: a line feed is never part of
    // another character in either.
    const CodePage page = from_ == Text::Utf8 ? 65001 : codePage_;
    for (std::size_t lineEnd; used < pending_.size(); used = lineEnd) {
      const std::size_t feed = pending_.find('\n', used);
      if (skippingLine_) {
        // Its start was passed over: the rest is no row either.
        lineEnd = feed == std::string::npos ? pending_.size() : feed;
        skippingLine_ = feed == std::string::npos;
        continue;
      }
      if (feed == std::string::npos && !end) {
        if (pending_.size() - used > kLongestLine) {
          skippingLine_ = true;
          used = pending_.size();
        }
        break;
      }
      lineEnd = feed == std::string::npos ? pending_.size() : feed + 1;
      std::string line = pending_.substr(used, lineEnd - used);
      const bool hasFeed = !line.empty() && line.back() == '\n';
      if (hasFeed) line.pop_back();
      const std::optional<MessageText> wide = WidenText(line.c_str(), page);
      MessageText text = wide.value_or(MessageText());
      if (hasFeed) text.push_back(u'\n');
      out_ += toUtf8_ ? Utf8FromUtf16(text) : Utf16LittleEndianBytes(text);
    }
  }
  pending_.erase(0, used);
}

std::optional<std::size_t> RecodingSource::Read(void* buffer, std::size_t capacity) {
  while (outAt_ == out_.size() && !end_) {
    out_.clear();
    outAt_ = 0;
    const std::size_t had = pending_.size();
    pending_.resize(had + kBlock);
    const std::optional<std::size_t> got = in_.Read(&pending_[had], kBlock);
    if (!got) return std::nullopt;
    pending_.resize(had + *got);
    end_ = *got == 0;
    Convert(end_);
  }
  const std::size_t count = std::min(capacity, out_.size() - outAt_);
  std::memcpy(buffer, out_.data() + outAt_, count);
  outAt_ += count;
  return count;
}
