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

// The code page that CP_ACP or CP_THREAD_ACP stands for at this moment.
UINT ActualCodePage(CodePage codePage) {
  if (codePage == CP_ACP) return GetACP();
  if (codePage == CP_THREAD_ACP) {
    DWORD page = 0;
    // A locale without an ANSI code page of its own answers 0: Windows then uses CP_ACP.
    if (GetLocaleInfoW(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&page), sizeof page / sizeof(wchar_t)) != 0 &&
        page != 0) {
      return page;
    }
    return GetACP();
  }
  return codePage;
}

// Code pages for which WideCharToMultiByte takes neither WC_NO_BEST_FIT_CHARS
// nor a used-default flag (it fails with either).
bool TakesNoFlags(UINT codePage) {
  return codePage == CP_UTF7 || codePage == 42 || (codePage >= 50220 && codePage <= 50229) || codePage == 52936 ||
         codePage == 54936 || (codePage >= 57002 && codePage <= 57011);
}

// Both directions pass the terminator (length -1), so the count Windows
// returns includes it; it is not part of the string.
template <typename Element>
std::size_t WithoutTerminator(const std::vector<Element>& buffer) {
  return buffer.empty() ? 0 : buffer.size() - 1;
}

}  // namespace

CodePage FixedCodePage(CodePage codePage) { return ActualCodePage(codePage); }

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

// Refuses rather than changes: a character without an exact form in the code
// page (converted by "best fit", Ω to O, or to the default character "?")
// fails the whole conversion, as an unpaired surrogate does.
std::optional<std::string> NarrowText(const char16_t* text, CodePage codePage) {
  if (text == nullptr) return std::nullopt;
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text);
  const UINT page = ActualCodePage(codePage);
  bool replaced = false;
  // One byte per unit covers single-byte pages; others take the retry.
  const std::size_t guess = std::wcslen(wide) + 1;
  const auto narrow = ConvertWithRetry<char>(guess, [&](char* buffer, int capacity) {
    if (page == CP_UTF8) {
      return WideCharToMultiByte(page, WC_ERR_INVALID_CHARS, wide, -1, buffer, capacity, nullptr, nullptr);
    }
    if (TakesNoFlags(page)) {
      return WideCharToMultiByte(page, 0, wide, -1, buffer, capacity, nullptr, nullptr);
    }
    BOOL usedDefault = FALSE;
    const int written =
        WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, wide, -1, buffer, capacity, nullptr, &usedDefault);
    replaced = usedDefault != FALSE;
    return written;
  });
  if (!narrow || replaced) return std::nullopt;
  try {
    std::string result(narrow->data(), WithoutTerminator(*narrow));
    // The pages without flags say nothing of replacements: only the way back can tell.
    if (TakesNoFlags(page)) {
      const std::optional<MessageText> back = WidenText(result.c_str(), page);
      if (!back || *back != text) return std::nullopt;
    }
    return result;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}
