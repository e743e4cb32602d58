#include "provisioning/seed_files/seed_export_messages.h"

#include <algorithm>
#include <cstdint>

#include "text/code_page.h"
#include "text/format_text.h"
#include "text/hex_text.h"

namespace {

MessageText NameOf(const std::filesystem::path& path) { return path.filename().u16string(); }

// As FileErrorReason; a file too large for memory is said so only where it
// was being read, the one step where that is the cause.
MessageText Because(std::u16string_view what, const FileError& error, bool reading) {
  // "error N: <the system's own words>": a bare number says little.
  const MessageText said = Widen(FileErrorText(error), kProcessAnsiCodePage);
  if (error.InUse()) return Format(u"the file is open in another program (%s)", said);
  if (reading && error.kind == FileErrorKind::TooLarge) return Format(u"the file is too large to be read (%s)", said);
  return Format(u"%s (%s)", what, said);
}

MessageText Waited(std::chrono::milliseconds waited) {
  const auto milliseconds = static_cast<std::int64_t>(waited.count());
  return milliseconds % 1000 == 0 ? Format(u"%d seconds", milliseconds / 1000)
                                  : Format(u"%d milliseconds", milliseconds);
}

// A serial as it stands when it is plain ASCII, else its bytes in hexadecimal.
MessageText ShownSerial(const std::string& serial) {
  if (std::all_of(serial.begin(), serial.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
    return MessageText(serial.begin(), serial.end());
  }
  const std::string hex = HexText(reinterpret_cast<const std::uint8_t*>(serial.data()), serial.size(), true);
  return MessageText(hex.begin(), hex.end());
}

MessageText EncodingReason(const SeedFileFailure& failure) {
  using Problem = SeedFileFailure::EncodingProblem;
  switch (failure.encoding) {
    case Problem::OddUtf16Length:
      return u"the file is in UTF-16 but holds an odd number of bytes (a cut row or a stray byte), so a row "
             u"added to it could not be read";
    case Problem::Utf16BigEndian: return u"the file is in UTF-16 big-endian, in which no row is added";
    case Problem::Utf16: return u"the file is in UTF-16, and saving it would turn it into UTF-8";
    case Problem::Declared:
      if (failure.declaredEncoding.empty()) return u"the file is in an encoding that the tool does not write";
      return Format(u"the file is in the encoding %s, which the tool does not write",
                    ShownSerial(failure.declaredEncoding));
    case Problem::NotInCodePage:
      return u"the file holds its texts in this computer's code page, which has no form for the token's texts";
  }
  return u"the file is in an encoding that the tool does not write";
}

MessageText StepReason(const SeedFileFailure& failure) {
  using Step = SeedFileFailure::Step;
  const FileError& error = failure.error;
  switch (failure.step) {
    case Step::LockHeld:
      return Format(u"another save kept %s locked for more than %s", NameOf(failure.lockFile), Waited(failure.waited));
    case Step::LockFile:
      return Because(Format(u"its lock file %s could not be created", NameOf(failure.lockFile)), error, false);
    case Step::Restore:
      return Because(Format(u"the file is missing and %s, which a save finished writing, could not be put back in "
                            u"its place",
                            NameOf(failure.other)),
                     error, false);
    case Step::Read: return Because(u"the file could not be read", error, true);
    case Step::Open: return Because(u"the file could not be opened", error, false);
    case Step::CreateTemporary: return Because(u"a temporary file could not be created beside it", error, false);
    case Step::Write: {
      MessageText reason = Because(u"the file could not be written", error, false);
      if (!failure.cutBack) return reason;
      return reason + u", and " + Because(u"cutting it back to its old length failed", *failure.cutBack, false) +
             u": its last row is incomplete";
    }
    case Step::NotWritten: break;
    case Step::ReadOnly: return u"the file is read-only";
    case Step::Security: return Because(u"its security could not be given to the new version", error, false);
    case Step::Replace: {
      MessageText reason = Because(u"the file could not be replaced", error, false);
      // Not "left unchanged": the old file left its name meanwhile.
      if (!failure.other.empty()) {
        reason += Format(u"; everything it held and the new token are kept in %s", NameOf(failure.other));
      }
      return reason;
    }
    case Step::Refused: return failure.detail.value_or(MessageText());
    case Step::Memory:
      return error.kind == FileErrorKind::TooLarge ? u"the file is too large to be held in memory"
                                                   : u"there was not enough memory";
    case Step::Unexpected:
      return failure.detail ? Format(u"an unexpected error occurred (%s)", *failure.detail)
                            : MessageText(u"an unexpected error occurred");
    case Step::SerialText: return u"the serial number is not valid text in the system code page";
    case Step::Encoding: return EncodingReason(failure);
  }
  return u"the file could not be written";
}

}  // namespace

MessageText CouldNotAddToken(std::u16string_view fileName, std::u16string_view reason) {
  return Format(u"Could not add the token to %s: %s.\r\n", fileName, reason);
}

MessageText FileErrorReason(std::u16string_view what, const FileError& error) { return Because(what, error, true); }

MessageText NameList(const std::vector<MessageText>& names) {
  MessageText list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? u" and " : u", ";
    list += names[i];
  }
  return list;
}

MessageText LeftUnchanged(MessageText reason) { return reason + u"; it was left unchanged"; }

MessageText FailureReason(const SeedFileFailure& failure) {
  MessageText reason = StepReason(failure);
  return failure.leftUnchanged ? LeftUnchanged(std::move(reason)) : reason;
}

MessageText FailureLine(const SeedFileFailure& failure) {
  return CouldNotAddToken(NameOf(failure.file), FailureReason(failure));
}

MessageText NoteLine(const SeedFileNote& note) {
  using What = SeedFileNote::What;
  const MessageText file = NameOf(note.file);
  const MessageText leftover = NameOf(note.leftover);
  switch (note.what) {
    case What::LinkLeftAlone: return Format(u"%s, beside %s, is a link; it was left alone.\r\n", leftover, file);
    case What::Restored:
      return Format(u"%s was missing; it was restored from %s, which an interrupted save had finished writing.\r\n",
                    file, leftover);
    case What::RestoredNameKept:
      return Format(u"%s leads to the restored %s too: %s.\r\n", leftover, file,
                    FileErrorReason(u"its name could not be removed", note.error));
    case What::Conflict:
      return Format(
          u"%s and %s, which interrupted saves finished writing, give the serial "
          u"number %s different seeds; %s was restored from %s.\r\n",
          leftover, NameOf(note.other), ShownSerial(note.serial), file, leftover);
    case What::NotRemoved:
      return Format(u"%s, left by an interrupted save, holds nothing that %s lacks but %s.\r\n", leftover, file,
                    FileErrorReason(u"could not be removed", note.error));
    case What::Kept:
      return Format(u"%s, left by an interrupted save, may hold tokens that %s lacks; it was kept.\r\n", leftover,
                    file);
    case What::StrayTemporary:
      return Format(
          u"%s was saved, but its temporary name %s could not be removed; a later save "
          u"removes it.\r\n",
          file, leftover);
  }
  return {};
}

MessageText TokenNotInFilesWarning(std::u16string_view fileNames) {
  return Format(u"The token is not in %s: see the messages.", fileNames);
}
