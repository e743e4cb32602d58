// Appending one token to an XML seed file in the tool's own layout in a
// single pass over its bytes, in constant memory, whatever the file's size.
// The result is byte for byte what AppendTokenToXml writes for the same file.
#pragma once

#include "files/byte_sink.h"
#include "files/byte_source.h"
#include "provisioning/seed_files/xml_seed_append.h"

struct XmlStreamOutcome {
  enum class Status {
    Written,       // the whole new file went to the sink
    NotInLayout,   // the file is not exactly in the layout: use AppendTokenToXml
    Refused,       // the file's encoding cannot hold the token; `reason` says why
    SourceFailed,  // a read failed; the source knows why
    SinkFailed,    // a write failed; the sink knows why
  } status = Status::Written;
  MessageText reason;
};

// Reads `in` in blocks, checks each line against the layout and copies the
// checked bytes to `out`, the new token before the closing `tokens` tag. On
// any status but Written part of the output may have reached `out`.
XmlStreamOutcome StreamTokenIntoXml(ByteSource& in, bool totp, const XmlSeedToken& token, ByteSink& out);

// The bytes of the `token` element as pugixml writes it inside the file.
std::string XmlTokenElementBytes(const XmlSeedToken& token);
