// The one streaming reader of the XML seed files' texts for the lookups: the
// serials the form's serial cache keeps, and the serial and seed pairs that
// the recovery and the check after a save compare. Tolerant: an element of a
// wanted name counts wherever it stands, its text read up to the next '<'
// with its references decoded, so that a foreign file can only make a text
// look present, never hide one the tool wrote. Constant memory whatever the
// file's size.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "files/byte_source.h"

// `name` indexes the names asked for; `text` lives during the call only;
// `closed` is false for a text cut off by the end of the bytes.
using XmlSeedTextFound = std::function<void(std::size_t name, std::string_view text, bool closed)>;

struct XmlSeedTextScan {
  bool read = false;  // false when a read failed
  // The last thing in the bytes, but for white space, is the root's closing
  // tag: only a file written to its end has it.
  bool endsWithRootClose = false;
};

// Hands `found` the text of every element named in `names`, in file order.
// The names begin with the same letter: the scan looks for '<' and what they
// share, sixteen bytes at a time where the processor can.
XmlSeedTextScan ReadXmlSeedTexts(ByteSource& in, const std::vector<std::string_view>& names,
                                 const XmlSeedTextFound& found);
