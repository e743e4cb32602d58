// Adding one token to the bytes of an XML seed file (hseeds.xml, tseeds.xml):
// old bytes and the token in, the new file's bytes out through a sink, or the
// reason the file must be left as it is. The token goes last in data/tokens;
// comments and processing instructions stay where they stand, with their
// text. No file access here.
#pragma once

#include <optional>
#include <string>

#include "files/byte_sink.h"
#include "provisioning/seed_files/seed_file_encoding.h"
#include "text/message_text.h"
#include "text/unicode_text.h"

// The texts of one `token` element, UTF-8.
struct XmlSeedToken {
  bool sha256 = false;
  std::string name;  // no `name` element when empty
  std::string digits;
  std::string serial;
  std::string seedHex;  // upper-case
  // The name and the serial in the ANSI code page, for a file of an older
  // tool that holds its texts in that code page; none when the code page has
  // no exact form for the text.
  std::optional<std::string> ansiName;
  std::optional<std::string> ansiSerial;
};

// One file, one encoding: a file whose bytes are valid UTF-8 (a new file,
// and one of nothing but ASCII, too) gets the token in UTF-8; any other is
// taken to be in the ANSI code page and gets the token in it. Nothing, with
// the reason, when that code page cannot hold a text exactly.
struct XmlTokenInFileEncoding {
  std::optional<XmlSeedToken> token;
  MessageText refusal;
};
XmlTokenInFileEncoding InFileEncoding(const XmlSeedToken& token, const Utf8Check& fileBytes);

struct XmlAppendOutcome {
  enum class Status {
    Written,          // the whole new file went to the sink
    Refused,          // the old bytes cannot be carried over safely; `reason` says why
    ForeignEncoding,  // the file is in `encoding`, which the tool does not write byte for byte
    SinkFailed,       // a write to the sink failed; the caller knows why
  } status = Status::Written;
  MessageText reason;  // when Refused, e.g. u"the file has no data/tokens element"
  SeedFileEncoding encoding;
};

// `existing` holds the file's bytes, or is null when there is no file yet (the
// HOTP or TOTP header is used); it may be changed in place while parsing.
XmlAppendOutcome AppendTokenToXml(std::string* existing, bool totp, const XmlSeedToken& token, ByteSink& out);
