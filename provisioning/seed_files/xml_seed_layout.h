// The XML seed files' own layout: what a new file starts from, and the pieces
// both the rewrite and the streaming append put together.
#pragma once

#include <pugixml.hpp>

#include "provisioning/seed_files/xml_seed_append.h"

// One line each; a missing file starts from these.
inline constexpr char kXmlHotpTemplate[] =
    "<?xml version=\"1.0\"?><data><header><manufacturerCode>VT</manufacturerCode>"
    "<productCode>CE</productCode><encode>HEX</encode><encrypt>NONE</encrypt></header>"
    "<tokens></tokens></data>";

inline constexpr char kXmlTotpTemplate[] =
    "<?xml version=\"1.0\"?><data><header><manufacturerCode>VT</manufacturerCode>"
    "<productCode>CT</productCode><encode>HEX</encode><timeWindow>30</timeWindow>"
    "<encrypt>NONE</encrypt></header><tokens></tokens></data>";

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
