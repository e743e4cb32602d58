#include "provisioning/xml_seed_append.h"

#include <cstring>
#include <optional>
#include <string_view>

#include <pugixml.hpp>

#include "provisioning/xml_seed_layout.h"
#include "text/format_text.h"

namespace {

// What pugixml writes goes straight on to the sink; after the first failure
// the rest is dropped, since the caller throws the output away.
class SinkWriter final : public pugi::xml_writer {
 public:
  explicit SinkWriter(ByteSink& sink) : sink_(sink) {}
  void write(const void* data, size_t size) override {
    if (!failed_ && !sink_.Write(data, size)) failed_ = true;
  }
  bool Failed() const { return failed_; }

 private:
  ByteSink& sink_;
  bool failed_ = false;
};

// Texts for messages: bytes from the file shown as printable ASCII only.
MessageText AsciiText(std::string_view bytes) {
  MessageText text;
  for (const char byte : bytes) {
    text.push_back(byte >= 0x20 && byte < 0x7F ? char16_t(byte) : u'?');
  }
  return text;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value of `encoding="..."` in an XML declaration at the start of the
// bytes (after a UTF-8 byte-order mark and white space), if there is one.
std::optional<std::string> DeclaredEncoding(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  while (!bytes.empty() && IsXmlSpace(bytes.front())) bytes.remove_prefix(1);
  if (bytes.substr(0, 5) != "<?xml" || bytes.size() < 6 || !IsXmlSpace(bytes[5])) return std::nullopt;
  const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
  std::size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return std::nullopt;
  at += 8;
  while (at < declaration.size() && IsXmlSpace(declaration[at])) ++at;
  if (at >= declaration.size() || declaration[at] != '=') return std::nullopt;
  ++at;
  while (at < declaration.size() && IsXmlSpace(declaration[at])) ++at;
  if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\'')) return std::nullopt;
  const char quote = declaration[at++];
  const std::size_t end = declaration.find(quote, at);
  if (end == std::string_view::npos) return std::nullopt;
  return std::string(declaration.substr(at, end - at));
}

bool IsAscii(std::string_view bytes) {
  for (const char byte : bytes) {
    if (static_cast<unsigned char>(byte) >= 0x80) return false;
  }
  return true;
}

// pugixml converts UTF-16, UTF-32 and Latin-1 to UTF-8 itself; any other
// declared encoding would be read as UTF-8 and written back with its old
// bytes but without its declaration, so the text would change meaning.
// `declared` and `ascii` describe the bytes before parsing.
std::optional<MessageText> UnconvertibleEncoding(const std::optional<std::string>& declared,
                                                 bool ascii, pugi::xml_encoding detected) {
  if (detected != pugi::encoding_utf8) return std::nullopt;
  if (!declared || EqualsIgnoringAsciiCase(*declared, "UTF-8") ||
      EqualsIgnoringAsciiCase(*declared, "UTF8")) {
    return std::nullopt;
  }
  if ((EqualsIgnoringAsciiCase(*declared, "US-ASCII") || EqualsIgnoringAsciiCase(*declared, "ASCII")) &&
      ascii) {
    return std::nullopt;
  }
  return Format(u"the file is in the encoding %s, which cannot be converted to UTF-8",
                AsciiText(*declared));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Whether the bytes at `at` (just after an '&') make one of the references
// that XML defines without a DOCTYPE.
bool IsKnownReference(std::string_view bytes, std::size_t at) {
  for (const std::string_view name : {"amp;", "lt;", "gt;", "quot;", "apos;"}) {
    if (bytes.substr(at, name.size()) == name) return true;
  }
  if (at >= bytes.size() || bytes[at] != '#') return false;
  ++at;
  const bool hex = at < bytes.size() && bytes[at] == 'x';
  if (hex) ++at;
  const std::size_t first = at;
  while (at < bytes.size() && (hex ? IsHexDigit(bytes[at]) : IsDigit(bytes[at]))) ++at;
  return at > first && at < bytes.size() && bytes[at] == ';';
}

// The offset of the first '&' in markup or text that starts no reference XML
// defines (comments, CDATA sections and processing instructions may hold
// any). The parser keeps such an '&' as text and the rewrite would write it
// as "&amp;": an "&name;" of the file would come back as other text.
std::optional<std::size_t> UndefinedReference(std::string_view bytes) {
  constexpr struct {
    std::string_view open, close;
  } kVerbatim[] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
  std::size_t at = 0;
  while ((at = bytes.find_first_of("&<", at)) != std::string_view::npos) {
    if (bytes[at] == '&') {
      if (!IsKnownReference(bytes, at + 1)) return at;
      ++at;
      continue;
    }
    std::size_t next = at + 1;
    for (const auto& section : kVerbatim) {
      if (bytes.substr(at, section.open.size()) == section.open) {
        const std::size_t end = bytes.find(section.close, at + section.open.size());
        next = end == std::string_view::npos ? bytes.size() : end + section.close.size();
        break;
      }
    }
    at = next;
  }
  return std::nullopt;
}

bool HasDoctype(const pugi::xml_document& document) {
  for (pugi::xml_node child : document.children()) {
    if (child.type() == pugi::node_doctype) return true;
  }
  return false;
}

bool IsWhitespaceOnly(const char* text) {
  for (; *text; ++text) {
    if (!IsXmlSpace(*text)) return false;
  }
  return true;
}

// The elements whose text the layout defines: the header's and the tokens'.
bool IsLayoutTextElement(pugi::xml_node element, pugi::xml_node header, pugi::xml_node tokens) {
  const pugi::xml_node parent = element.parent();
  if (header && parent == header) return true;
  return tokens && parent.parent() == tokens && std::strcmp(parent.name(), "token") == 0;
}

// Walks the whole tree without recursion, however deep the file nests: finds
// the deepest element and drops whitespace-only text outside the layout's
// text elements, where it was never kept (the parser keeps it everywhere).
// Returns false when elements nest deeper than `maxDepth`.
bool WalkTree(pugi::xml_document& document, pugi::xml_node header, pugi::xml_node tokens,
              unsigned maxDepth) {
  unsigned depth = 0;
  pugi::xml_node node = document.first_child();
  while (node) {
    if (node.type() == pugi::node_element) {
      if (depth + 1 > maxDepth) return false;
      if (node.value()[0] != 0 && IsWhitespaceOnly(node.value()) &&
          !IsLayoutTextElement(node, header, tokens)) {
        node.text().set("");
      }
      if (node.first_child()) {
        node = node.first_child();
        ++depth;
        continue;
      }
    }
    while (node && !node.next_sibling()) {
      node = node.parent();
      if (node.type() == pugi::node_document) return true;
      --depth;
    }
    if (node) node = node.next_sibling();
  }
  return true;
}

bool HasSerial(pugi::xml_node tokens, const char* serial) {
  for (pugi::xml_node token : tokens.children("token")) {
    for (pugi::xml_node element : token.children("serial")) {
      if (std::strcmp(element.text().get(), serial) == 0) return true;
    }
  }
  return false;
}

bool AppendTextElement(pugi::xml_node parent, const char* name, const std::string& text) {
  pugi::xml_node element = parent.append_child(name);
  return element && element.append_child(pugi::node_pcdata).set_value(text.c_str());
}

XmlAppendOutcome Refuse(MessageText reason) {
  XmlAppendOutcome outcome;
  outcome.status = XmlAppendOutcome::Status::Refused;
  outcome.reason = std::move(reason);
  return outcome;
}

}  // namespace

bool AppendTokenElement(pugi::xml_node tokens, const XmlSeedToken& token) {
  pugi::xml_node element = tokens.append_child("token");
  if (!element) return false;
  if (!AppendTextElement(element, "crypto", token.sha256 ? "HmacSHA256" : "HmacSHA1")) return false;
  if (!token.name.empty() && !AppendTextElement(element, "name", token.name)) return false;
  return AppendTextElement(element, "digits", token.digits) &&
         AppendTextElement(element, "serial", token.serial) &&
         AppendTextElement(element, "seed", token.seedHex);
}

XmlAppendOutcome AppendTokenToXml(std::string* existing, bool totp, const XmlSeedToken& token,
                                  ByteSink& out) {
  pugi::xml_document document;
  pugi::xml_parse_result parsed;
  std::optional<MessageText> badEncoding;
  std::optional<std::size_t> undefinedReference;
  if (existing) {
    // Taken before the parse, which changes the buffer in place.
    const std::optional<std::string> declared = DeclaredEncoding(*existing);
    const bool ascii = declared && IsAscii(*existing);
    undefinedReference = UndefinedReference(*existing);
    // Keeping each element's first text inside the element halves the nodes
    // of a large file; pugixml writes such a tree out exactly as the plain
    // one. Whitespace-only text is kept so that a blank serial survives.
    parsed = document.load_buffer_inplace(
        existing->data(), existing->size(),
        pugi::parse_default | pugi::parse_embed_pcdata | pugi::parse_ws_pcdata_single |
            pugi::parse_doctype,
        pugi::encoding_auto);
    if (parsed) badEncoding = UnconvertibleEncoding(declared, ascii, parsed.encoding);
  } else {
    parsed = document.load_string(totp ? kXmlTotpTemplate : kXmlHotpTemplate, pugi::parse_default);
  }
  if (!parsed) {
    return Refuse(Format(u"the file could not be parsed (%s at byte %d)",
                         AsciiText(parsed.description()), static_cast<std::int64_t>(parsed.offset)));
  }
  if (badEncoding) return Refuse(std::move(*badEncoding));
  // Entities the DOCTYPE defines would come back as literal text.
  if (HasDoctype(document)) {
    return Refuse(u"the file has a document type declaration, whose entities cannot be carried over");
  }
  // The byte scan reads the file as UTF-8 (or Latin-1, alike for markup).
  if (undefinedReference &&
      (parsed.encoding == pugi::encoding_utf8 || parsed.encoding == pugi::encoding_latin1)) {
    return Refuse(Format(u"the file holds a reference that XML does not define at byte %d",
                         static_cast<std::int64_t>(*undefinedReference)));
  }
  // Saving a tree without this element would throw away whatever the file held.
  pugi::xml_node tokens = document.first_element_by_path("data/tokens", '/');
  if (!tokens) return Refuse(u"the file has no data/tokens element");
  // Indentation grows with the square of the depth: a deep file would fill the disk.
  if (!WalkTree(document, document.first_element_by_path("data/header", '/'), tokens,
                kXmlMaxDepth)) {
    return Refuse(Format(u"the file's elements nest deeper than %u levels", kXmlMaxDepth));
  }

  XmlAppendOutcome outcome;
  outcome.serialAlreadyPresent = HasSerial(tokens, token.serial.c_str());
  if (!AppendTokenElement(tokens, token)) return Refuse(u"there was not enough memory");

  SinkWriter writer(out);
  document.save(writer, "\t", pugi::format_indent, pugi::encoding_auto);
  if (writer.Failed()) outcome.status = XmlAppendOutcome::Status::SinkFailed;
  return outcome;
}
