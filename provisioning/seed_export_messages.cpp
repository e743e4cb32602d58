#include "provisioning/seed_export_messages.h"

#include "text/format_text.h"

MessageText CouldNotAddToken(std::u16string_view fileName, std::u16string_view reason) {
  return Format(u"Could not add the token to %s: %s.\r\n", fileName, reason);
}

MessageText FileErrorReason(std::u16string_view what, const FileError& error) {
  if (error.inUse) return Format(u"the file is open in another program (error %u)", error.code);
  if (error.tooLarge) return Format(u"the file is too large to be read (error %u)", error.code);
  return Format(u"%s (error %u)", what, error.code);
}

MessageText LeftUnchanged(MessageText reason) { return reason + u"; it was left unchanged"; }

