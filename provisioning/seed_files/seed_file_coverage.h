// Which seed file describes a token fully. The XML files carry each token's
// hash and digits but one interval for the whole file (tseeds.xml: 30
// seconds); the CSV files carry the interval but neither hash nor digits,
// which a server takes as SHA-1 and 6. The layouts stay: servers rely on them.
#pragma once

#include <optional>

#include "provisioning/seed_files/seed_export.h"
#include "text/message_text.h"

// Nothing for a token that its XML file describes fully (HOTP tokens and
// 30-second TOTP tokens); otherwise the line ("...\r\n") that tells the
// operator which file carries the token fully, or which settings the server
// must be given by hand.
std::optional<MessageText> IncompleteDescriptionLine(const ExportedToken& token);
