// The XML seed files' own layout: what a new file starts from, and the pieces
// both the rewrite and the streaming append put together.
#pragma once

#include <iterator>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "provisioning/seed_files/xml_seed_append.h"

inline constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\"?>";

// The header's elements in their order, the one place that says them: a new
// file's template and the lines the layout scanner expects are made from them.
struct XmlHeaderElement {
  std::string_view name;
  std::string_view text;
};
inline constexpr XmlHeaderElement kXmlHotpHeader[] = {
    {"manufacturerCode", "VT"}, {"productCode", "CE"}, {"encode", "HEX"}, {"encrypt", "NONE"}};
inline constexpr XmlHeaderElement kXmlTotpHeader[] = {
    {"manufacturerCode", "VT"}, {"productCode", "CT"}, {"encode", "HEX"}, {"timeWindow", "30"}, {"encrypt", "NONE"}};

struct XmlHeader {
  const XmlHeaderElement* begin;
  const XmlHeaderElement* end;
};
constexpr XmlHeader XmlHeaderOf(bool totp) {
  if (totp) return {std::begin(kXmlTotpHeader), std::end(kXmlTotpHeader)};
  return {std::begin(kXmlHotpHeader), std::end(kXmlHotpHeader)};
}

// One line; a missing file starts from it.
inline std::string XmlSeedTemplate(bool totp) {
  std::string text = std::string(kXmlDeclaration) + "<data><header>";
  const XmlHeader header = XmlHeaderOf(totp);
  for (const XmlHeaderElement* element = header.begin; element != header.end; ++element) {
    text.append("<").append(element->name).append(">").append(element->text);
    text.append("</").append(element->name).append(">");
  }
  return text + "</header><tokens></tokens></data>";
}

// The elements the lookups read: each token's serial and seed, and the root,
// whose closing tag ends a whole file.
inline constexpr char kXmlSerialElement[] = "serial";
inline constexpr char kXmlSeedElement[] = "seed";
inline constexpr char kXmlRootClose[] = "</data>";

// XML's white space, between markup and around the declaration's parts.
constexpr bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The layout nests four levels (data/tokens/token/serial); deeper files are
// hostile, and rewriting them with indentation grows with the square of the depth.
inline constexpr unsigned kXmlMaxDepth = 32;

// Appends the `token` element with its texts as the seed files hold it.
// False when memory ran out.
bool AppendTokenElement(pugi::xml_node tokens, const XmlSeedToken& token);
