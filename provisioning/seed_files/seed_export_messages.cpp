#include "provisioning/seed_files/seed_export_messages.h"

#include "text/code_page.h"
#include "text/format_text.h"

MessageText CouldNotAddToken(std::u16string_view fileName, std::u16string_view reason) {
  return Format(u"Could not add the token to %s: %s.\r\n", fileName, reason);
}

MessageText FileErrorReason(std::u16string_view what, const FileError& error) {
  // "error N: <the system's own words>": a bare number says little.
  const MessageText said = Widen(FileErrorText(error), kProcessAnsiCodePage);
  if (error.InUse()) return Format(u"the file is open in another program (%s)", said);
  if (error.kind == FileErrorKind::TooLarge) return Format(u"the file is too large to be read (%s)", said);
  return Format(u"%s (%s)", what, said);
}

MessageText LeftUnchanged(MessageText reason) { return reason + u"; it was left unchanged"; }

MessageText TokenNotInFilesWarning(std::u16string_view fileNames) {
  return Format(u"The token is not in %s: see the messages.", fileNames);
}
