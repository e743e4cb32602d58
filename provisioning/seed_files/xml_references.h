// Character references in the XML seed files: the one place that knows which
// references exist, what each stands for and which of them pugixml writes.
// The byte check before a parse, the layout scan and the serial lookup all
// read them here, so that they never disagree about a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct XmlReference {
  std::uint32_t code = 0;  // the character; kNoCharacter for a number beyond Unicode
  std::size_t length = 0;  // from the '&' to the ';', both included
};

inline constexpr std::uint32_t kNoCharacter = 0x110000;

// The reference that `text` starts with (its first byte is '&'): one of the
// five named ones XML defines without a DOCTYPE, or "&#digits;" or
// "&#xhex;", each as the parser takes it. Nothing when the '&' starts none.
std::optional<XmlReference> ReadXmlReference(std::string_view text);

// Whether `bytes`, a reference for `code`, is written as pugixml writes that
// character: "&amp;", "&lt;", "&gt;", and "&#NN;" with two digits for the
// control characters it escapes. Reading and writing such text again gives
// the same bytes.
bool IsPugixmlReference(std::string_view bytes, std::uint32_t code);

// `text` with its references decoded; an '&' that starts none, or a number
// beyond Unicode, stays as it stands. Returns `text` itself when it holds no
// '&', else the decoded text in `buffer`.
std::string_view DecodeXmlText(std::string_view text, std::string& buffer);
