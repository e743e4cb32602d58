// Message text as 8-bit text, for what a failed check prints.
#pragma once

#include <string>

#include "text/code_page.h"
#include "text/message_text.h"

// Empty where the thread's code page cannot hold it.
inline std::string Narrow(const MessageText& text) {
  return NarrowText(text.c_str(), kThreadAnsiCodePage).value_or(std::string());
}
