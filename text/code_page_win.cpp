// Code-page conversions through the Windows National Language Support API.
#include <windows.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

#include "text/code_page.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is handed to Windows as wchar_t");

namespace {

// Calls `convert(buffer, capacity)`, which returns the count written including
// the terminator or 0 on failure. Starts with `firstGuess` elements and, if
// Windows says that was too small, retries once with the size it asks for.
template <typename Element, typename Convert>
std::optional<std::vector<Element>> ConvertWithRetry(std::size_t firstGuess, Convert convert) {
  try {
    if (firstGuess > INT_MAX) return std::nullopt;
    std::vector<Element> buffer(firstGuess);
    int written = convert(buffer.data(), static_cast<int>(buffer.size()));
    if (written == 0) {
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
      const int needed = convert(nullptr, 0);
      if (needed <= 0) return std::nullopt;
      buffer.assign(static_cast<std::size_t>(needed), Element());
      written = convert(buffer.data(), needed);
      if (written == 0) return std::nullopt;
    }
    buffer.resize(static_cast<std::size_t>(written));
    return buffer;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

// Both directions pass the terminator (length -1), so the count Windows
// returns includes it; it is not part of the string.
template <typename Element>
std::size_t WithoutTerminator(const std::vector<Element>& buffer) {
  return buffer.empty() ? 0 : buffer.size() - 1;
}

}  // namespace

std::optional<MessageText> WidenText(const char* text, CodePage codePage) {
  if (text == nullptr) return std::nullopt;
  // One UTF-16 unit per byte covers every single-byte and most multi-byte pages.
  const std::size_t guess = std::strlen(text) + 1;
  const auto wide = ConvertWithRetry<wchar_t>(guess, [&](wchar_t* buffer, int capacity) {
    return MultiByteToWideChar(codePage, 0, text, -1, buffer, capacity);
  });
  if (!wide) return std::nullopt;
  try {
    return MessageText(reinterpret_cast<const char16_t*>(wide->data()), WithoutTerminator(*wide));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<std::string> NarrowText(const char16_t* text, CodePage codePage) {
  if (text == nullptr) return std::nullopt;
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text);
  // One byte per unit covers single-byte pages; others take the retry.
  const std::size_t guess = std::wcslen(wide) + 1;
  const auto narrow = ConvertWithRetry<char>(guess, [&](char* buffer, int capacity) {
    return WideCharToMultiByte(codePage, 0, wide, -1, buffer, capacity, nullptr, nullptr);
  });
  if (!narrow) return std::nullopt;
  try {
    return std::string(narrow->data(), WithoutTerminator(*narrow));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}
