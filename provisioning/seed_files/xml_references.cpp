#include "provisioning/seed_files/xml_references.h"

#include "text/hex_text.h"
#include "text/unicode_text.h"

namespace {

int DigitValue(char c, bool hex) {
  if (hex) return HexDigitValue(c);
  return c >= '0' && c <= '9' ? c - '0' : -1;
}

}  // namespace

std::optional<XmlReference> ReadXmlReference(std::string_view text) {
  static constexpr struct {
    std::string_view reference;
    char character;
  } kNamed[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  for (const auto& named : kNamed) {
    if (text.substr(0, named.reference.size()) == named.reference) {
      return XmlReference{static_cast<std::uint8_t>(named.character), named.reference.size()};
    }
  }
  if (text.substr(0, 2) != "&#") return std::nullopt;
  // Only a lower-case 'x' makes a hexadecimal reference, as for the parser.
  const bool hex = text.size() > 2 && text[2] == 'x';
  const std::size_t first = hex ? 3 : 2;
  std::size_t at = first;
  std::uint32_t code = 0;
  for (int digit; at < text.size() && (digit = DigitValue(text[at], hex)) >= 0; ++at) {
    // Held at kNoCharacter once beyond Unicode, so that no length wraps around.
    code = code >= kNoCharacter ? kNoCharacter : code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
  }
  if (at == first || at >= text.size() || text[at] != ';') return std::nullopt;
  return XmlReference{code < kNoCharacter ? code : kNoCharacter, at + 1};
}

bool IsPugixmlReference(std::string_view bytes, std::uint32_t code) {
  switch (code) {
    case '&': return bytes == "&amp;";
    case '<': return bytes == "&lt;";
    case '>': return bytes == "&gt;";
  }
  // Tab, LF and CR go out as they are, and NUL ends a text.
  const bool escapedControl = code > 0 && code < 32 && code != '\t' && code != '\n' && code != '\r';
  if (!escapedControl) return false;
  const char written[] = {'&', '#', static_cast<char>('0' + code / 10), static_cast<char>('0' + code % 10), ';'};
  return bytes == std::string_view(written, sizeof written);
}

std::string_view DecodeXmlText(std::string_view text, std::string& buffer) {
  std::size_t at = text.find('&');
  if (at == std::string_view::npos) return text;
  buffer.assign(text.data(), at);
  while (at < text.size()) {
    if (text[at] != '&') {
      buffer.push_back(text[at++]);
      continue;
    }
    const std::optional<XmlReference> reference = ReadXmlReference(text.substr(at));
    if (!reference || reference->code == kNoCharacter) {
      buffer.push_back(text[at++]);
      continue;
    }
    AppendUtf8(buffer, reference->code);
    at += reference->length;
  }
  return buffer;
}
