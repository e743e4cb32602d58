// The XML seed file as the tool writes it, built line by line, and a sink
// that fails on request.
#pragma once

#include <cstddef>
#include <string>

#include "files/byte_sink.h"
#include "files/byte_source.h"
#include "provisioning/seed_files/seed_file_serials.h"
#include "provisioning/seed_files/xml_seed_append.h"
#include "tests/support/string_bytes.h"

namespace xml_seed_test {

// Texts exactly as they appear in the file (already escaped).
struct TokenLines {
  std::string crypto = "HmacSHA1";
  std::string name;  // no `name` line when empty
  std::string digits = "6";
  std::string serial = "0000123456789";
  std::string seed = "3132333435363738393031323334353637383930";
};

inline std::string TokenXml(const TokenLines& t) {
  std::string xml = "\t\t<token>\n\t\t\t<crypto>" + t.crypto + "</crypto>\n";
  if (!t.name.empty()) xml += "\t\t\t<name>" + t.name + "</name>\n";
  return xml + "\t\t\t<digits>" + t.digits + "</digits>\n\t\t\t<serial>" + t.serial + "</serial>\n\t\t\t<seed>" +
         t.seed + "</seed>\n\t\t</token>\n";
}

inline std::string HeaderXml(bool totp) {
  return std::string("<?xml version=\"1.0\"?>\n<data>\n\t<header>\n\t\t<manufacturerCode>VT</manufacturerCode>\n") +
         (totp ? "\t\t<productCode>CT</productCode>\n" : "\t\t<productCode>CE</productCode>\n") +
         "\t\t<encode>HEX</encode>\n" + (totp ? "\t\t<timeWindow>30</timeWindow>\n" : "") +
         "\t\t<encrypt>NONE</encrypt>\n\t</header>\n";
}

// `tokens` is the concatenation of TokenXml lines; none gives `<tokens />`.
inline std::string SeedFileXml(bool totp, const std::string& tokens) {
  if (tokens.empty()) return HeaderXml(totp) + "\t<tokens />\n</data>\n";
  return HeaderXml(totp) + "\t<tokens>\n" + tokens + "\t</tokens>\n</data>\n";
}

inline XmlSeedToken NewToken(std::string serial, std::string name = "", bool sha256 = false) {
  XmlSeedToken token;
  token.sha256 = sha256;
  token.name = std::move(name);
  token.digits = sha256 ? "8" : "6";
  token.serial = std::move(serial);
  token.seedHex = sha256 ? "3132333435363738393031323334353637383930313233343536373839303132"
                         : "3132333435363738393031323334353637383930";
  return token;
}

// Whether the serial lookup that guards a save (the form's serial cache reads
// files so) finds `serial` in the bytes of a file.
inline bool SerialLookupFinds(const std::string& file, const std::string& serial) {
  StringSource source(file);
  SerialSet serials;
  return CollectSerials(source, serials) && serials.Contains(serial);
}

// Takes `budget` bytes, then fails for good, as a full disk would.
class FailingSink final : public ByteSink {
 public:
  explicit FailingSink(std::size_t budget) : budget_(budget) {}
  bool Write(const void* data, std::size_t size) override {
    if (failed_ || size > budget_) {
      failed_ = true;
      return false;
    }
    budget_ -= size;
    bytes.append(static_cast<const char*>(data), size);
    return true;
  }
  std::string bytes;

 private:
  std::size_t budget_;
  bool failed_ = false;
};

}  // namespace xml_seed_test
