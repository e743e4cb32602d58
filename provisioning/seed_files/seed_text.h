// The text forms a token takes in the seed export files that are about the
// files themselves; the encodings are text/'s (text/unicode_text.h).
#pragma once

#include <string_view>

#include "text/message_text.h"

// A CSV field as RFC 4180 wants it: unchanged unless it holds a comma, a
// double quote, CR or LF; then enclosed in double quotes, inner quotes doubled.
MessageText CsvField(std::u16string_view field);
