#include "text/line_breaks.h"

#include <utility>

#include "text/unicode_text.h"

namespace {

// Where the first row of `line` (longer than `maxChars`) ends, and how many
// units after it (a space) the break swallows.
std::pair<std::size_t, std::size_t> RowEnd(std::u16string_view line, std::size_t maxChars) {
  const std::size_t space = line.rfind(u' ', maxChars);
  if (space != std::u16string_view::npos && space > 0) return {space, 1};
  const std::size_t separator = line.find_last_of(u"\\/", maxChars - 1);
  if (separator != std::u16string_view::npos) return {separator + 1, 0};
  std::size_t cut = maxChars;
  if (IsHighSurrogate(line[cut - 1]) && cut > 1) --cut;
  return {cut, 0};
}

void AppendBroken(MessageText& out, std::u16string_view line, std::size_t maxChars) {
  while (line.size() > maxChars) {
    const auto [end, skipped] = RowEnd(line, maxChars);
    out.append(line.substr(0, end));
    out.append(u"\r\n");
    line.remove_prefix(end + skipped);
  }
  out.append(line);
}

}  // namespace

MessageText BreakLongLines(std::u16string_view text, std::size_t maxChars) {
  if (maxChars == 0) return MessageText(text);
  MessageText out;
  out.reserve(text.size() + text.size() / maxChars * 2);
  while (!text.empty()) {
    const std::size_t newline = text.find(u'\n');
    const std::size_t next = newline == std::u16string_view::npos ? text.size() : newline + 1;
    std::u16string_view line = text.substr(0, next);
    std::size_t endLength = 0;
    if (!line.empty() && line.back() == u'\n') endLength = line.size() >= 2 && line[line.size() - 2] == u'\r' ? 2 : 1;
    AppendBroken(out, line.substr(0, line.size() - endLength), maxChars);
    out.append(line.substr(line.size() - endLength));
    text.remove_prefix(next);
  }
  return out;
}
