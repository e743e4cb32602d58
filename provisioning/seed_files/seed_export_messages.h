// The lines that tell the operator which seed export file did not get the
// token, and why, made from the steps' values where they are shown.
#pragma once

#include <string_view>
#include <vector>

#include "files/file_io.h"
#include "provisioning/seed_files/seed_file_failure.h"
#include "text/message_text.h"

// "Could not add the token to <file>: <reason>.\r\n"
MessageText CouldNotAddToken(std::u16string_view fileName, std::u16string_view reason);

// "<what> (error N: <the system's words>)", or "the file is open in another
// program (...)" or "the file is too large to be read (...)" when that is the cause.
MessageText FileErrorReason(std::u16string_view what, const FileError& error);

// Names in a line: "a", "a and b", "a, b and c".
MessageText NameList(const std::vector<MessageText>& names);

// Appends "; it was left unchanged".
MessageText LeftUnchanged(MessageText reason);

// Why the step failed, as its line says it after the file's name.
MessageText FailureReason(const SeedFileFailure& failure);

// The failure's line: "Could not add the token to <file>: <reason>.\r\n".
MessageText FailureLine(const SeedFileFailure& failure);

// The line of something a save noticed beside the file.
MessageText NoteLine(const SeedFileNote& note);

// The status line's warnings while a token is not in every seed file:
// "The token is not in <files>: see the messages.", and for a save whose
// record waits for its key or the operator.
MessageText TokenNotInFilesWarning(std::u16string_view fileNames);
inline constexpr char16_t kSaveUnfinishedWarning[] = u"A save is not finished: see the messages.";
