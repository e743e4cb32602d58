#include "provisioning/seed_files/xml_seed_append.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "provisioning/seed_files/seed_file_encoding.h"
#include "provisioning/seed_files/xml_references.h"
#include "provisioning/seed_files/xml_seed_layout.h"
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

bool IsAscii(std::string_view bytes) {
  for (const char byte : bytes) {
    if (static_cast<unsigned char>(byte) >= 0x80) return false;
  }
  return true;
}

// A file declared US-ASCII is written back as UTF-8 without its declaration:
// only bytes that are ASCII mean the same in both. (Other encodings are
// refused before the parse, see XmlEncodingWritable.)
std::optional<MessageText> UnconvertibleEncoding(const std::string& declared, bool ascii) {
  if ((EqualsIgnoringAsciiCase(declared, "US-ASCII") || EqualsIgnoringAsciiCase(declared, "ASCII")) && !ascii) {
    return Format(u"the file is in the encoding %s, which cannot be converted to UTF-8", AsciiText(declared));
  }
  return std::nullopt;
}

// What one pass over the bytes finds before the parse.
struct ByteScan {
  // The offset of the first '&' that starts no reference XML defines. The
  // parser keeps such an '&' as text and the rewrite would write it as
  // "&amp;": an "&name;" of the file would come back as other text.
  std::optional<std::size_t> undefinedReference;
  // Whether the file holds a comment or a processing instruction (the XML
  // declaration aside), around which the parse must keep every text.
  bool commentOrPi = false;
};

// A set of bytes to look for, one table lookup per byte: string_view's
// find_first_of searches the set for each byte with a library call, which
// took a fifth of the rewrite of a large file.
struct ByteSet {
  bool has[256] = {};
  constexpr explicit ByteSet(std::string_view bytes) {
    for (const char byte : bytes) has[static_cast<unsigned char>(byte)] = true;
  }
  std::size_t FindIn(std::string_view text, std::size_t from) const {
    for (; from < text.size(); ++from) {
      if (has[static_cast<unsigned char>(text[from])]) return from;
    }
    return std::string_view::npos;
  }
};
constexpr ByteSet kMarkupStart("&<");
constexpr ByteSet kTagEnd("\"'>");

// "<?xml" followed by white space or "?": a declaration, not an instruction.
bool IsDeclaration(std::string_view bytes) {
  return bytes.size() > 5 && EqualsIgnoringAsciiCase(bytes.substr(2, 3), "xml") &&
         (IsXmlSpace(bytes[5]) || bytes[5] == '?');
}

// Reads the bytes as the parser does: comments, CDATA sections and
// processing instructions hold any '&' and '<', and so do the quoted
// attribute values of a tag (whose '&' count as in text).
ByteScan ScanBytes(std::string_view bytes) {
  constexpr struct {
    std::string_view open, close;
    bool commentOrPi;
  } kVerbatim[] = {{"<!--", "-->", true}, {"<![CDATA[", "]]>", false}, {"<?", "?>", true}};
  ByteScan scan;
  // The '&' of an attribute value, from `from` to before `to`.
  const auto references = [&](std::size_t from, std::size_t to) {
    const std::string_view value = bytes.substr(0, to);
    for (std::size_t at = value.find('&', from); at != std::string_view::npos; at = value.find('&', at + 1)) {
      if (!ReadXmlReference(bytes.substr(at))) {
        scan.undefinedReference = at;
        return false;
      }
    }
    return true;
  };
  std::size_t at = 0;
  while ((at = kMarkupStart.FindIn(bytes, at)) != std::string_view::npos) {
    if (bytes[at] == '&') {
      if (!ReadXmlReference(bytes.substr(at))) {
        scan.undefinedReference = at;
        return scan;
      }
      ++at;
      continue;
    }
    const auto* section = std::find_if(std::begin(kVerbatim), std::end(kVerbatim),
                                       [&](const auto& s) { return bytes.substr(at, s.open.size()) == s.open; });
    if (section != std::end(kVerbatim)) {
      if (section->commentOrPi && !IsDeclaration(bytes.substr(at))) scan.commentOrPi = true;
      const std::size_t end = bytes.find(section->close, at + section->open.size());
      at = end == std::string_view::npos ? bytes.size() : end + section->close.size();
      continue;
    }
    // A tag, to its '>' outside quotes.
    for (++at; (at = kTagEnd.FindIn(bytes, at)) != std::string_view::npos;) {
      if (bytes[at] == '>') break;
      const std::size_t close = bytes.find(bytes[at], at + 1);
      if (close == std::string_view::npos) return scan;
      if (!references(at + 1, close)) return scan;
      at = close + 1;
    }
  }
  return scan;
}

// pugixml reads bytes that start with a UTF-16 byte-order mark or with a NUL
// byte in the first two as UTF-16 or UTF-32, which ScanBytes cannot read.
bool IsEightBit(std::string_view bytes) {
  if (bytes.size() < 2) return true;
  const std::string_view start = bytes.substr(0, 2);
  return start[0] != 0 && start[1] != 0 && start != "\xFE\xFF" && start != "\xFF\xFE";
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

bool IsTextNode(pugi::xml_node node) { return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata; }

// The elements whose text the layout defines: the header's and the tokens'.
bool IsLayoutTextElement(pugi::xml_node element, pugi::xml_node header, pugi::xml_node tokens) {
  const pugi::xml_node parent = element.parent();
  if (header && parent == header) return true;
  return tokens && parent.parent() == tokens && std::strcmp(parent.name(), "token") == 0;
}

// Writes an element's content as it stands: pugixml puts a line break and
// indentation before every node but text that does not follow text, and
// before the end tag after such a node, which would change the element's
// text. An empty text beside each of those nodes keeps it from doing so.
// False when memory ran out.
bool KeepContentAsItStands(pugi::xml_node element) {
  bool textBefore = element.value()[0] != 0;
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    const bool text = IsTextNode(child);
    if (!text && !textBefore && !element.insert_child_before(pugi::node_pcdata, child)) return false;
    textBefore = text;
  }
  return textBefore || element.append_child(pugi::node_pcdata);
}

// Sets out how an element's own content is written. Whitespace-only text
// beside other nodes, or outside the layout's text elements, only indents
// and is dropped: pugixml indents afresh. Where comments or processing
// instructions stand among text (or in a text element of the layout), the
// text is the file's, whitespace included, and goes out exactly as it was
// read. The parse keeps whitespace-only text either everywhere or only as an
// element's sole content; both give the same tree here. False when memory
// ran out.
bool ArrangeContent(pugi::xml_node element, bool layoutText) {
  const bool blankValue = element.value()[0] != 0 && IsWhitespaceOnly(element.value());
  bool text = layoutText || (element.value()[0] != 0 && !blankValue);
  bool commentOrPi = false;
  bool otherNodes = false;
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    switch (child.type()) {
      case pugi::node_pcdata:
        if (!IsWhitespaceOnly(child.value())) text = true;
        break;
      case pugi::node_cdata: text = otherNodes = true; break;
      case pugi::node_comment:
      case pugi::node_pi: commentOrPi = otherNodes = true; break;
      default: otherNodes = true;
    }
  }
  if (text && commentOrPi) return KeepContentAsItStands(element);
  if (blankValue && (otherNodes || !layoutText)) element.text().set("");
  if (otherNodes) {
    for (pugi::xml_node child = element.first_child(); child;) {
      const pugi::xml_node next = child.next_sibling();
      if (child.type() == pugi::node_pcdata && IsWhitespaceOnly(child.value())) element.remove_child(child);
      child = next;
    }
  }
  return true;
}

// pugixml reads a comment up to the first "-->" and writes each "--" in it,
// and a '-' at its end, with a space between: text XML does not allow would
// come back as other text.
std::optional<MessageText> DisallowedComment(pugi::xml_node comment) {
  const std::string_view text = comment.value();
  if (text.find("--") == std::string_view::npos && (text.empty() || text.back() != '-')) {
    return std::nullopt;
  }
  const std::ptrdiff_t at = comment.offset_debug();
  return Format(u"the file holds a comment with \"--\" inside it at byte %d, which XML does not allow",
                static_cast<std::int64_t>(at >= 4 ? at - 4 : 0));
}

// Walks the whole tree without recursion, however deep the file nests,
// setting out each element's content (ArrangeContent). Returns why the file
// cannot be written: elements nesting deeper than `maxDepth`, a comment
// that cannot be carried over, or memory running out.
std::optional<MessageText> ArrangeTree(pugi::xml_document& document, pugi::xml_node header, pugi::xml_node tokens,
                                       unsigned maxDepth) {
  unsigned depth = 0;
  pugi::xml_node node = document.first_child();
  while (node) {
    if (node.type() == pugi::node_element) {
      if (depth + 1 > maxDepth) return Format(u"the file's elements nest deeper than %u levels", maxDepth);
      if (!ArrangeContent(node, IsLayoutTextElement(node, header, tokens))) {
        return MessageText(u"there was not enough memory");
      }
      if (node.first_child()) {
        node = node.first_child();
        ++depth;
        continue;
      }
    } else if (node.type() == pugi::node_comment) {
      if (auto reason = DisallowedComment(node)) return reason;
    }
    while (node && !node.next_sibling()) {
      node = node.parent();
      if (node.type() == pugi::node_document) return std::nullopt;
      --depth;
    }
    if (node) node = node.next_sibling();
  }
  return std::nullopt;
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

XmlTokenInFileEncoding InFileEncoding(const XmlSeedToken& token, const Utf8Check& fileBytes) {
  XmlTokenInFileEncoding result;
  if (fileBytes.Valid()) {
    result.token = token;
    return result;
  }
  const bool name = token.ansiName || token.name.empty();
  if (!name || !token.ansiSerial) {
    result.refusal = Format(
        u"the file holds its texts in this computer's code page, not in UTF-8, and that code "
        u"page has no form for the %s",
        name ? u"serial number" : u"user name");
    return result;
  }
  result.token = token;
  result.token->name = token.ansiName.value_or(std::string());
  result.token->serial = *token.ansiSerial;
  return result;
}

bool AppendTokenElement(pugi::xml_node tokens, const XmlSeedToken& token) {
  pugi::xml_node element = tokens.append_child("token");
  if (!element) return false;
  if (!AppendTextElement(element, "crypto", token.sha256 ? "HmacSHA256" : "HmacSHA1")) return false;
  if (!token.name.empty() && !AppendTextElement(element, "name", token.name)) return false;
  return AppendTextElement(element, "digits", token.digits) &&
         AppendTextElement(element, kXmlSerialElement, token.serial) &&
         AppendTextElement(element, kXmlSeedElement, token.seedHex);
}

XmlAppendOutcome AppendTokenToXml(std::string* existing, bool totp, const XmlSeedToken& token, ByteSink& out) {
  pugi::xml_document document;
  pugi::xml_parse_result parsed;
  std::optional<MessageText> badEncoding;
  ByteScan scan;
  Utf8Check fileBytes;
  unsigned saveFlags = pugi::format_indent;
  if (existing) {
    // Written back in its own encoding or not at all: pugixml would turn
    // any other into UTF-8.
    const SeedFileEncoding encoding = XmlSeedFileEncoding(std::string_view(*existing).substr(0, kEncodingHeadBytes));
    if (!XmlEncodingWritable(encoding)) {
      XmlAppendOutcome outcome;
      outcome.status = XmlAppendOutcome::Status::ForeignEncoding;
      outcome.encoding = encoding;
      return outcome;
    }
    if (encoding.byteOrderMark != 0) saveFlags |= pugi::format_write_bom;
    badEncoding = UnconvertibleEncoding(encoding.declared, IsAscii(*existing));
    fileBytes.Feed(*existing);
    scan = ScanBytes(*existing);
    // Keeping each element's first text inside the element halves the nodes
    // of a large file; pugixml writes such a tree out exactly as the plain
    // one. Whitespace-only text is kept where it is an element's only
    // content, so that a blank serial survives, and everywhere in a file
    // that may hold comments or processing instructions, whose neighbouring
    // text is kept as it stands (ArrangeContent drops the rest).
    const bool keepAllWhitespace = scan.commentOrPi || !IsEightBit(*existing);
    parsed = document.load_buffer_inplace(
        existing->data(), existing->size(),
        pugi::parse_default | pugi::parse_embed_pcdata | pugi::parse_doctype | pugi::parse_comments | pugi::parse_pi |
            (keepAllWhitespace ? pugi::parse_ws_pcdata : pugi::parse_ws_pcdata_single),
        pugi::encoding_auto);
  } else {
    parsed = document.load_string(XmlSeedTemplate(totp).c_str(), pugi::parse_default);
  }
  if (!parsed) {
    return Refuse(Format(u"the file could not be parsed (%s at byte %d)", AsciiText(parsed.description()),
                         static_cast<std::int64_t>(parsed.offset)));
  }
  if (badEncoding) return Refuse(std::move(*badEncoding));
  // Entities the DOCTYPE defines would come back as literal text.
  if (HasDoctype(document)) {
    return Refuse(u"the file has a document type declaration, whose entities cannot be carried over");
  }
  // The byte scan reads the file as UTF-8 (or Latin-1, alike for markup).
  if (scan.undefinedReference && (parsed.encoding == pugi::encoding_utf8 || parsed.encoding == pugi::encoding_latin1)) {
    return Refuse(Format(u"the file holds a reference that XML does not define at byte %d",
                         static_cast<std::int64_t>(*scan.undefinedReference)));
  }
  // Saving a tree without this element would throw away whatever the file held.
  pugi::xml_node tokens = document.first_element_by_path("data/tokens", '/');
  if (!tokens) return Refuse(u"the file has no data/tokens element");
  // Whatever the parser would convert is not written back (see above).
  if (existing && parsed.encoding != pugi::encoding_utf8) {
    XmlAppendOutcome outcome;
    outcome.status = XmlAppendOutcome::Status::ForeignEncoding;
    outcome.encoding.text = SeedTextEncoding::Other;
    return outcome;
  }
  const XmlTokenInFileEncoding encoded = InFileEncoding(token, fileBytes);
  if (!encoded.token) return Refuse(encoded.refusal);
  if (!AppendTokenElement(tokens, *encoded.token)) return Refuse(u"there was not enough memory");
  // Indentation grows with the square of the depth: a deep file would fill the disk.
  if (auto reason = ArrangeTree(document, document.first_element_by_path("data/header", '/'), tokens, kXmlMaxDepth)) {
    return Refuse(std::move(*reason));
  }

  XmlAppendOutcome outcome;
  SinkWriter writer(out);
  document.save(writer, "\t", saveFlags, pugi::encoding_auto);
  if (writer.Failed()) outcome.status = XmlAppendOutcome::Status::SinkFailed;
  return outcome;
}
