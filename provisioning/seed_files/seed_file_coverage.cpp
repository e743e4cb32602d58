#include "provisioning/seed_files/seed_file_coverage.h"

#include "text/format_text.h"

namespace {

constexpr std::uint32_t kXmlInterval = 30;

const char16_t kOnlyInCsv[] =
    u"tseeds.xml declares 30-second tokens: this token's 60-second interval is only in tseeds.csv, "
    u"so import tseeds.csv for it.\r\n";
const char16_t kInNoFileFormat[] =
    u"No seed file describes this token fully: tseeds.xml declares 30-second tokens and tseeds.csv has no hash "
    u"or digits. Set by hand on the server either its %d-second interval when importing tseeds.xml, or %s when "
    u"importing tseeds.csv.\r\n";

}  // namespace

std::optional<MessageText> IncompleteDescriptionLine(const ExportedToken& token) {
  if (!token.totp || token.interval == kXmlInterval) return std::nullopt;
  const bool csvDefaults = !token.sha256 && token.digits == 6;
  if (csvDefaults) return MessageText(kOnlyInCsv);
  const MessageText hash = token.sha256 ? u"the hash SHA-256" : u"";
  const MessageText digits = token.digits != 6 ? Format(u"%d digits", static_cast<int>(token.digits)) : u"";
  const MessageText settings = !hash.empty() && !digits.empty() ? hash + u" and " + digits : hash + digits;
  return Format(kInNoFileFormat, static_cast<int>(token.interval), settings);
}
