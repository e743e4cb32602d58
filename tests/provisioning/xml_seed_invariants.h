// What must hold for any input to the XML seed step, checked by the fuzz
// targets and, for the inputs kept in xml_corpus/, by the ordinary tests.
// Each check returns what went wrong, or an empty string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "files/byte_source.h"
#include "provisioning/seed_files/seed_file_serials.h"
#include "provisioning/seed_files/seed_text.h"
#include "provisioning/seed_files/xml_seed_append.h"
#include "provisioning/seed_files/xml_seed_layout_scanner.h"
#include "provisioning/seed_files/xml_seed_stream.h"
#include "tests/support/string_bytes.h"

namespace xml_seed_invariants {

inline XmlSeedToken FixedToken(bool sha256) {
  XmlSeedToken token;
  token.sha256 = sha256;
  token.name = "R&D <lab> \xC3\xAB";
  token.digits = sha256 ? "8" : "6";
  token.serial = "0000123456789";
  token.seedHex = "3132333435363738393031323334353637383930";
  return token;
}

// Text as pugixml escapes it in a file.
inline std::string EscapedText(const std::string& text) {
  pugi::xml_document document;
  document.append_child(pugi::node_pcdata).set_value(text.c_str());
  struct Writer final : pugi::xml_writer {
    void write(const void* data, size_t size) override { bytes.append(static_cast<const char*>(data), size); }
    std::string bytes;
  } writer;
  document.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
  return writer.bytes;
}

// The comments and processing instructions of a document in order, each with
// its text and where it stands: its depth, its parent and how many nodes
// other than text come before it there.
inline std::string CommentsAndPis(std::string bytes) {
  pugi::xml_document document;
  if (!document.load_buffer_inplace(bytes.data(), bytes.size(),
                                    pugi::parse_default | pugi::parse_comments | pugi::parse_pi)) {
    return "not parsed";
  }
  struct Walker final : pugi::xml_tree_walker {
    bool for_each(pugi::xml_node& node) override {
      if (node.type() != pugi::node_comment && node.type() != pugi::node_pi) return true;
      int before = 0;
      for (pugi::xml_node other = node.previous_sibling(); other; other = other.previous_sibling()) {
        before += other.type() != pugi::node_pcdata;
      }
      found += std::to_string(depth()) + " " + node.parent().name() + " " + std::to_string(before) + " " +
               std::to_string(node.type()) + " " + node.name() + " [" + node.value() + "]\n";
      return true;
    }
    std::string found;
  } walker;
  document.traverse(walker);
  return walker.found;
}

// The rewrite of any bytes: refused or written, never a crash; what it wrote
// holds the comments and processing instructions where they stood, and it
// takes that again.
inline std::string CheckRewrite(const std::string& input, bool totp) {
  std::string bytes = input;
  StringSink first;
  const XmlAppendOutcome outcome = AppendTokenToXml(&bytes, totp, FixedToken(false), first);
  if (outcome.status == XmlAppendOutcome::Status::SinkFailed) return "a string sink failed";
  if (outcome.status == XmlAppendOutcome::Status::Refused) {
    return outcome.reason.empty() ? "refused without a reason" : "";
  }
  if (outcome.status == XmlAppendOutcome::Status::ForeignEncoding) {
    return first.bytes.empty() ? "" : "a file in a foreign encoding was written";
  }
  if (CommentsAndPis(first.bytes) != CommentsAndPis(input)) {
    return "a comment or processing instruction was lost, moved or changed";
  }
  StringSource written(first.bytes);
  SerialSet serials;
  if (!CollectSerials(written, serials) || !serials.Contains(FixedToken(false).serial)) {
    return "the serial lookup did not find the serial it just wrote";
  }
  StringSink second;
  const XmlAppendOutcome again = AppendTokenToXml(&first.bytes, totp, FixedToken(true), second);
  if (again.status != XmlAppendOutcome::Status::Written) return "its own output was refused";
  return "";
}

// The serial lookup reads what a parser reads: the text of every `serial`
// element that holds nothing but text, CDATA joined in, trimmed.
inline std::string CheckLookupSeesParsedSerials(const std::string& input) {
  pugi::xml_document document;
  std::string bytes = input;
  if (!document.load_buffer_inplace(bytes.data(), bytes.size(),
                                    pugi::parse_default | pugi::parse_comments | pugi::parse_pi)) {
    return "";
  }
  StringSource source(input);
  SerialSet serials;
  if (!CollectSerials(source, serials)) return "the serial lookup failed on a string";
  struct Walker final : pugi::xml_tree_walker {
    bool for_each(pugi::xml_node& node) override {
      if (node.type() == pugi::node_element && std::string_view(node.name()) == "serial") found.push_back(node);
      return true;
    }
    std::vector<pugi::xml_node> found;
  } walker;
  document.traverse(walker);
  for (const pugi::xml_node element : walker.found) {
    std::string text;
    bool textOnly = true;
    for (pugi::xml_node child : element.children()) {
      textOnly = textOnly && (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata);
      text += child.value();
    }
    // The parser makes every line end LF; a serial holds no line break.
    const std::string_view serial = TrimWhiteSpaceUtf8(text);
    if (!textOnly || serial.size() > 63 || serial.find('\n') != std::string_view::npos) continue;
    if (serial.find('\0') != std::string_view::npos) continue;
    if (!serials.Contains(serial)) return "the serial lookup missed a serial the parser reads";
  }
  return "";
}

// The stream, in blocks of `blockSize`, against the rewrite: the same bytes
// whenever the stream accepts.
inline std::string CheckStreamMatchesRewrite(const std::string& input, bool totp, const XmlSeedToken& token,
                                             std::size_t blockSize) {
  StringSource source(input, blockSize);
  StringSink streamed;
  const XmlStreamOutcome stream = StreamTokenIntoXml(source, totp, token, streamed);
  if (stream.status == XmlStreamOutcome::Status::NotInLayout) return "";
  if (stream.status != XmlStreamOutcome::Status::Written) return "the stream failed on strings";
  std::string bytes = input;
  StringSink rewritten;
  const XmlAppendOutcome rewrite = AppendTokenToXml(&bytes, totp, token, rewritten);
  if (rewrite.status != XmlAppendOutcome::Status::Written) return "the stream took a file the rewrite refuses";
  if (streamed.bytes != rewritten.bytes) return "the stream wrote other bytes than the rewrite";
  return "";
}

// A file the tool writes from these texts is always in the layout, unless a
// text holds a line break or is not UTF-8.
inline std::string CheckOwnFileStreams(const XmlSeedToken& earlier, bool totp) {
  StringSink file;
  if (AppendTokenToXml(nullptr, totp, earlier, file).status != XmlAppendOutcome::Status::Written) {
    return "a new file was not written";
  }
  const XmlSeedToken token = FixedToken(totp);
  StringSource source(file.bytes);
  StringSink streamed;
  const XmlStreamOutcome stream = StreamTokenIntoXml(source, totp, token, streamed);
  if (stream.status == XmlStreamOutcome::Status::NotInLayout) {
    for (const std::string* text : {&earlier.name, &earlier.digits, &earlier.serial, &earlier.seedHex}) {
      if (!IsPugixmlEscapedText(EscapedText(*text))) return "";
    }
    return "a file the tool wrote was not in the layout";
  }
  return CheckStreamMatchesRewrite(file.bytes, totp, token, 1 << 16);
}

// Fuzz input: the first byte picks the mode and the block size.
inline std::string CheckAll(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return "";
  const std::uint8_t mode = data[0];
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool totp = (mode & 1) != 0;
  if ((mode & 2) == 0) {
    std::string failure = CheckRewrite(rest, totp);
    if (failure.empty()) failure = CheckLookupSeesParsedSerials(rest);
    if (failure.empty()) failure = CheckStreamMatchesRewrite(rest, totp, FixedToken(mode & 4), 1 + (mode >> 3));
    return failure;
  }
  // The rest holds a name and a serial, split at the first NUL.
  XmlSeedToken earlier = FixedToken(mode & 4);
  const std::size_t split = rest.find('\0');
  earlier.name = rest.substr(0, split);
  earlier.serial = split == std::string::npos ? "" : rest.substr(split + 1);
  return CheckOwnFileStreams(earlier, totp);
}

}  // namespace xml_seed_invariants
