#include "text/code_page.h"

MessageText Widen(const std::string& text, CodePage codePage) {
  return WidenText(text.c_str(), codePage).value_or(MessageText());
}
