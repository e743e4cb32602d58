// Adding one token to the bytes of an XML seed file (hseeds.xml, tseeds.xml):
// old bytes and the token in, the new file's bytes out through a sink, or the
// reason the file must be left as it is. The token goes last in data/tokens;
// comments and processing instructions stay where they stand, with their
// text. No file access here.
#pragma once

#include <string>

#include "provisioning/seed_files/files/byte_sink.h"
#include "text/message_text.h"

// The texts of one `token` element, all UTF-8.
struct XmlSeedToken {
  bool sha256 = false;
  std::string name;  // no `name` element when empty
  std::string digits;
  std::string serial;
  std::string seedHex;  // upper-case
};

struct XmlAppendOutcome {
  enum class Status {
    Written,     // the whole new file went to the sink
    Refused,     // the old bytes cannot be carried over safely; `reason` says why
    SinkFailed,  // a write to the sink failed; the caller knows why
  } status = Status::Written;
  MessageText reason;  // when Refused, e.g. u"the file has no data/tokens element"
};

// `existing` holds the file's bytes, or is null when there is no file yet (the
// HOTP or TOTP header is used); it may be changed in place while parsing.
XmlAppendOutcome AppendTokenToXml(std::string* existing, bool totp, const XmlSeedToken& token, ByteSink& out);
