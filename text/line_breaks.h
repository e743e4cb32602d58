// Breaks the tool's own long message lines so that each fits the main
// window's message box, which otherwise scrolls them sideways out of sight.
#pragma once

#include <cstddef>
#include <string_view>

#include "text/message_text.h"

// Characters of our own message lines that the message box shows in full: its
// 343-dialog-unit edit in MS Shell Dlg 8 formats text about 490 (Windows) to
// 570 (Wine) pixels wide at 96 DPI, some 85 to 95 characters of ordinary text;
// 80 leaves room for runs of wide letters and digits in paths and serial
// numbers. The main window's test measures the broken lines in the real box.
constexpr std::size_t kMessageBoxLineChars = 80;

// Each line longer than `maxChars` UTF-16 units is broken at its last space
// that keeps the line within `maxChars`; that space becomes "\r\n", the line
// break of the multi-line edit. A word longer than a whole line is cut after
// its last path separator ('\\' or '/') that fits, else at `maxChars`, never
// inside a surrogate pair. Existing line breaks stay as they are; 0 breaks
// nothing.
MessageText BreakLongLines(std::u16string_view text, std::size_t maxChars);
