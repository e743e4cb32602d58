// UTF-16 text as the user interface uses it. char16_t keeps the core portable;
// on Windows it has the layout of wchar_t, so the binding casts at the edge.
#pragma once

#include <string>

using MessageText = std::u16string;
