// Conversions between 8-bit text in a Windows code page and UTF-16.
// Natively, where there are no Windows code pages, CP_ACP and CP_THREAD_ACP
// stand for the locale's character set and numbered pages go through iconv.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "text/message_text.h"

using CodePage = std::uint32_t;
constexpr CodePage kProcessAnsiCodePage = 0;  // CP_ACP
constexpr CodePage kThreadAnsiCodePage = 3;   // CP_THREAD_ACP

// NUL-terminated 8-bit text to UTF-16. Null input or a failed conversion
// gives no result.
std::optional<MessageText> WidenText(const char* text, CodePage codePage);

// NUL-terminated UTF-16 text to 8-bit text. Null input or a failed conversion
// gives no result; so does text that the code page cannot hold exactly as it
// is (a character with no form of its own there, an unpaired surrogate):
// nothing is replaced by a look-alike or a default character.
std::optional<std::string> NarrowText(const char16_t* text, CodePage codePage);

// The numbered code page that `codePage` stands for now on this thread, for
// work handed to another thread, whose own locale may differ. Natively, where
// the locale's character set serves every thread, `codePage` itself.
CodePage FixedCodePage(CodePage codePage);

// A shorthand that treats a failed conversion as empty text.
MessageText Widen(const std::string& text, CodePage codePage = kThreadAnsiCodePage);
