#include "provisioning/seed_files/xml_seed_layout_scanner.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "provisioning/seed_files/byte_scan.h"
#include "provisioning/seed_files/xml_references.h"
#include "provisioning/seed_files/xml_seed_layout.h"

namespace {

// "\t\t<name>text</name>": a header element's line as pugixml indents it.
bool IsHeaderLine(std::string_view line, const XmlHeaderElement& element) {
  const std::size_t name = element.name.size();
  const std::size_t text = element.text.size();
  return line.size() == 2 * name + text + 7 && line.substr(0, 3) == "\t\t<" && line.substr(3, name) == element.name &&
         line[3 + name] == '>' && line.substr(4 + name, text) == element.text &&
         line.substr(4 + name + text, 2) == "</" && line.substr(6 + name + text, name) == element.name &&
         line.back() == '>';
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The three forms of a token's text element's line.
struct TextElement {
  std::string_view open;   // "\t\t\t<name>"
  std::string_view close;  // "</name>"
  std::string_view empty;  // "\t\t\t<name />"
};
constexpr TextElement kCrypto{"\t\t\t<crypto>", "</crypto>", "\t\t\t<crypto />"};
constexpr TextElement kName{"\t\t\t<name>", "</name>", "\t\t\t<name />"};
constexpr TextElement kDigits{"\t\t\t<digits>", "</digits>", "\t\t\t<digits />"};
constexpr TextElement kSerial{"\t\t\t<serial>", "</serial>", "\t\t\t<serial />"};
constexpr TextElement kSeed{"\t\t\t<seed>", "</seed>", "\t\t\t<seed />"};

// The lines are spelled out for speed; they name the elements the lookups read.
constexpr bool Closes(const TextElement& element, std::string_view name) {
  return element.close.size() == name.size() + 3 && element.close.substr(2, name.size()) == name;
}
static_assert(Closes(kSerial, kXmlSerialElement) && Closes(kSeed, kXmlSeedElement));

// "\t\t\t<name>text</name>" or "\t\t\t<name />": a token's element, its
// text in pugixml's escaping. `pair` tells "<name></name>": pugixml writes a
// new empty text so, but a file it read back as "<name />".
bool TokenTextElement(std::string_view line, const TextElement& element, bool& pair) {
  pair = false;
  const std::size_t tags = element.open.size() + element.close.size();
  if (line.size() >= tags && std::memcmp(line.data(), element.open.data(), element.open.size()) == 0 &&
      std::memcmp(line.data() + line.size() - element.close.size(), element.close.data(), element.close.size()) == 0) {
    const std::string_view content = line.substr(element.open.size(), line.size() - tags);
    if (!IsPugixmlEscapedText(content)) return false;
    pair = content.empty();
    return true;
  }
  return line == element.empty;
}

// Length of the well-formed UTF-8 sequence at the start of `text` (its first
// byte is 0x80 or above), or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const auto continuation = [&](std::size_t i) { return i < text.size() && (byte(i) & 0xC0) == 0x80; };
  const std::uint8_t lead = byte(0);
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!continuation(1) || !continuation(2)) return 0;
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;   // overlong
    if (lead == 0xED && byte(1) >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
    if (lead == 0xF0 && byte(1) < 0x90) return 0;   // overlong
    if (lead == 0xF4 && byte(1) >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

// Matches the fixed text `literal` at `at` and moves past it. Compared four
// bytes at a time inline: a library memcmp call per tag (a byte loop in some
// C runtimes) would cost more than the comparison.
template <std::size_t N>
bool Literal(const char*& at, const char* end, const char (&literal)[N]) {
  constexpr std::size_t length = N - 1;
  if (static_cast<std::size_t>(end - at) < length) return false;
  std::size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    std::uint32_t have;
    std::uint32_t want;
    std::memcpy(&have, at + i, 4);
    std::memcpy(&want, literal + i, 4);
    if (have != want) return false;
  }
  for (; i < length; ++i) {
    if (at[i] != literal[i]) return false;
  }
  at += length;
  return true;
}

// A non-empty run of plain bytes ended by `close` (the closing tag and LF):
// `at` moved past the close.
template <std::size_t N>
bool PlainText(const char*& at, const char* end, const char (&close)[N]) {
  const char* scan = SkipPlainText(at, end);
  if (scan == at) return false;
  if (!Literal(scan, end, close)) return false;
  at = scan;
  return true;
}

}  // namespace

std::size_t XmlLayoutScanner::PlainTokens(std::string_view bytes) {
  if (state_ != State::FirstToken && state_ != State::TokenOrEnd) return 0;
  const char* const begin = bytes.data();
  const char* const end = begin + bytes.size();
  const char* done = begin;  // the end of the last whole token
  for (;;) {
    const char* at = done;
    if (!Literal(at, end, "\t\t<token>\n\t\t\t<crypto>") || !PlainText(at, end, "</crypto>\n")) break;
    if (Literal(at, end, "\t\t\t<name>") && !PlainText(at, end, "</name>\n")) break;
    if (!Literal(at, end, "\t\t\t<digits>") || !PlainText(at, end, "</digits>\n")) break;
    if (!Literal(at, end, "\t\t\t<serial>") || !PlainText(at, end, "</serial>\n")) break;
    if (!Literal(at, end, "\t\t\t<seed>") || !PlainText(at, end, "</seed>\n") || !Literal(at, end, "\t\t</token>\n")) {
      break;
    }
    done = at;
  }
  if (done != begin) {
    state_ = State::TokenOrEnd;
    emptyPair_ = false;
  }
  return static_cast<std::size_t>(done - begin);
}

bool IsPugixmlEscapedText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    i = static_cast<std::size_t>(SkipPlainText(text.data() + i, text.data() + text.size()) - text.data());
    if (i == text.size()) break;
    const auto c = static_cast<std::uint8_t>(text[i]);
    if (c >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text.substr(i));
      if (length == 0) return false;
      i += length;
    } else if (c == '&') {
      const std::optional<XmlReference> reference = ReadXmlReference(text.substr(i));
      if (!reference || !IsPugixmlReference(text.substr(i, reference->length), reference->code)) return false;
      i += reference->length;
    } else {
      return false;  // '<', '>' or a control character
    }
  }
  return true;
}

XmlLayoutLine XmlLayoutScanner::Fail() {
  state_ = State::Failed;
  return XmlLayoutLine::Invalid;
}

XmlLayoutLine XmlLayoutScanner::Next(std::string_view line) {
  emptyPair_ = false;
  const auto expect = [&](std::string_view wanted, State next) {
    if (line != wanted) return Fail();
    state_ = next;
    return XmlLayoutLine::Plain;
  };
  const auto element = [&](const TextElement& name, State next) {
    if (!TokenTextElement(line, name, emptyPair_)) return Fail();
    state_ = next;
    return XmlLayoutLine::Plain;
  };

  switch (state_) {
    case State::Declaration: return expect(kXmlDeclaration, State::Data);
    case State::Data: return expect("<data>", State::Header);
    case State::Header: {
      if (headerLine_ == 0 && line == "\t<header>") {
        headerLine_ = 1;
        return XmlLayoutLine::Plain;
      }
      const XmlHeader header = XmlHeaderOf(totp_);
      if (headerLine_ == 0 || !IsHeaderLine(line, header.begin[headerLine_ - 1])) return Fail();
      if (++headerLine_ > header.end - header.begin) state_ = State::HeaderEnd;
      return XmlLayoutLine::Plain;
    }
    case State::HeaderEnd: return expect("\t</header>", State::Tokens);
    case State::Tokens:
      if (line == "\t<tokens />") {
        state_ = State::DataEnd;
        return XmlLayoutLine::EmptyTokens;
      }
      return expect("\t<tokens>", State::FirstToken);
    case State::TokenOrEnd:
      if (line == "\t</tokens>") {
        state_ = State::DataEnd;
        return XmlLayoutLine::TokensEnd;
      }
      [[fallthrough]];
    case State::FirstToken: return expect("\t\t<token>", State::Crypto);
    case State::Crypto: return element(kCrypto, State::NameOrDigits);
    case State::NameOrDigits:
      if (StartsWith(line, "\t\t\t<name")) return element(kName, State::Digits);
      return element(kDigits, State::Serial);
    case State::Digits: return element(kDigits, State::Serial);
    case State::Serial: return element(kSerial, State::Seed);
    case State::Seed: return element(kSeed, State::TokenEnd);
    case State::TokenEnd: return expect("\t\t</token>", State::TokenOrEnd);
    case State::DataEnd: return expect(kXmlRootClose, State::End);
    case State::End:
    case State::Failed: return Fail();
  }
  return Fail();
}
