#include "provisioning/form/save_refusal.h"

#include "provisioning/form/token_record_mapping.h"
#include "provisioning/seed_files/save_journal.h"
#include "provisioning/seed_files/seed_export_messages.h"
#include "text/format_text.h"
#include "text/unicode_text.h"

namespace {

const char16_t kSerialTitle[] = u"Serial number not accepted";
const char16_t kUserNameTitle[] = u"User name not accepted";
const char16_t kCannotCarryFormat[] = u"It holds %s (U+%04X), which the seed files cannot store. Remove it.";
const char16_t kWhiteSpaceAtEndFormat[] =
    u"It %s with %s (U+%04X), which a server may take off, so that it would match another serial number. "
    u"Remove it, or click \"Generate\" for a fresh serial number.";
const char16_t kNoFormInCodePageFormat[] =
    u"The key cannot store \u201C%s\u201D in this computer's code page. Use other characters.";
const char16_t kNotInCodePage[] = u"The key cannot store this serial number in this computer's code page as typed.";
const char16_t kTooLongFormat[] = u"The key holds at most 63 bytes of serial number; this one needs %d. Shorten it.";
const char16_t kNoSeedTitle[] = u"No seed yet";
const char16_t kNoSeed[] = u"Click \"Generate\" beside Seed/Secret to make the seed first.";
const char16_t kNewSeedTitle[] = u"New seed needed";
const char16_t kSerialInUseTitle[] = u"Serial number in use";
const char16_t kSerialOnKey[] =
    u"The key already holds a token with this serial number, which saving would replace. "
    u"Click \"Generate\" for a fresh serial number.";
const char16_t kSerialInFileFormat[] =
    u"%s already holds a token with this serial number: the server would get two seeds for it. "
    u"Click \"Generate\" for a fresh serial number.";
// After a "Reset" the key's own serial is still in the files: the way on is a
// fresh serial; retiring the old token is the operator's, by hand.
const char16_t kSerialInFileNotOnKeyFormat[] =
    u"%s already holds a token with this serial number, which this key does not list (a token of another key, "
    u"or of this one before a \"Reset\"): the server would get two seeds for it. Click \"Generate\" for a fresh "
    u"serial number; the guide's \"Re-issuing a key after Reset\" tells how to retire the old token.";
const char16_t kKeySerialInUseTitle[] = u"The key's own serial number is in use";
const char16_t kSerialInRecordFormat[] =
    u"A save of a token with this serial number was interrupted and is not settled yet (its record %s): "
    u"the server could get two seeds for it. Click \"Generate\" for a fresh serial number.";
const char16_t kNoSerialTitle[] = u"No serial number";
const char16_t kNoSerial[] =
    u"A token without a serial number would hide the key's later tokens and cannot be imported. "
    u"Click \"Generate\" for a fresh serial number.";
const char16_t kUnwritableTitle[] = u"Seed files cannot be written";
const char16_t kUnwritableFormat[] =
    u"The key was not changed: the seed could not be recorded beside the seed files (%s). "
    u"Make the program's folder writable, then click \"Save\" again.";
const char16_t kSerialUnknownTitle[] = u"Serial number not checked";
const char16_t kSerialUnknownFormat[] =
    u"The key was not changed: it is not known whether %s holds this serial number, as %s. "
    u"Close the program that holds it, or correct the file, then click \"Save\" again.";
const char16_t kUnreadable[] = u"it could not be read";
const char16_t kNotARecord[] = u"it is not a record this tool can read";
const char16_t kFolderBusyTitle[] = u"Another save is running";
const char16_t kFolderBusyFormat[] =
    u"The key was not changed: another instance of the tool held the seed files (%s) all the time allowed. "
    u"Click \"Save\" again in a moment.";
const char16_t kSeedForOtherHashFormat[] = u"The seed was made for %s. Click \"Generate\" for a %s seed.";

constexpr std::size_t kMaxSerialBytes = kSerialCapacity - 1;

// Length in units of the character at `at`: 2 for a surrogate pair, else 1.
std::size_t CharacterLength(const MessageText& text, std::size_t at) {
  return IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1]) ? 2 : 1;
}

// The first unit that XML 1.0 cannot carry as a character: a control
// character other than tab (line breaks too: readers turn CR into LF), U+FFFE,
// U+FFFF or half of a surrogate pair. The text's NUL terminator is not in it.
std::optional<std::size_t> FirstUnitXmlCannotCarry(const MessageText& text) {
  for (std::size_t at = 0; at < text.size(); at += CharacterLength(text, at)) {
    const char16_t unit = text[at];
    const bool control = unit < 0x20 && unit != u'\t';
    const bool nonCharacter = unit == 0xFFFE || unit == 0xFFFF;
    const bool loneSurrogate = (IsHighSurrogate(unit) || IsLowSurrogate(unit)) && CharacterLength(text, at) == 1;
    if (control || nonCharacter || loneSurrogate) return at;
  }
  return std::nullopt;
}

const char16_t* Describe(char16_t unit) {
  if (unit == u'\r' || unit == u'\n') return u"a line break";
  if (unit < 0x20) return u"a control character";
  if (unit == 0xFFFE || unit == 0xFFFF) return u"a code that is no character";
  return u"half of a character pair";
}

std::optional<SaveRefusal> RefuseWhatXmlCannotCarry(const MessageText& text, FormField field, const char16_t* title) {
  const std::optional<std::size_t> at = FirstUnitXmlCannotCarry(text);
  if (!at) return std::nullopt;
  const char16_t unit = text[*at];
  return SaveRefusal{field, field, title, Format(kCannotCarryFormat, Describe(unit), static_cast<unsigned>(unit))};
}

// Names the first character that has no form of its own in `codePage`.
MessageText NoFormInCodePage(const MessageText& text, CodePage codePage) {
  for (std::size_t at = 0; at < text.size(); at += CharacterLength(text, at)) {
    const MessageText character = text.substr(at, CharacterLength(text, at));
    if (!NarrowText(character.c_str(), codePage)) return Format(kNoFormInCodePageFormat, character);
  }
  return kNotInCodePage;
}

// Servers trim serial numbers: "0000426125681 " would be a second seed
// for "0000426125681". Nothing is trimmed here, the operator decides.
std::optional<SaveRefusal> RefuseWhiteSpaceAtEnds(const MessageText& serial) {
  if (serial.empty()) return std::nullopt;
  const bool atStart = IsWhiteSpace(serial.front());
  if (!atStart && !IsWhiteSpace(serial.back())) return std::nullopt;
  const char16_t unit = atStart ? serial.front() : serial.back();
  const char16_t* what = unit == u' ' ? u"a space" : unit == u'\t' ? u"a tab" : u"white space";
  return SaveRefusal{FormField::SerialNumber, FormField::SerialNumber, kSerialTitle,
                     Format(kWhiteSpaceAtEndFormat, atStart ? u"begins" : u"ends", what, static_cast<unsigned>(unit))};
}

const char16_t* HashName(std::int32_t hashChoice) {
  return HashAlgorithmFor(hashChoice) == HASH_SHA256 ? u"SHA-256" : u"SHA-1";
}

}  // namespace

SerialCheck CheckSerial(const MessageText& serialText, CodePage codePage) {
  SerialCheck check;
  check.refusal = RefuseWhatXmlCannotCarry(serialText, FormField::SerialNumber, kSerialTitle);
  if (!check.refusal) check.refusal = RefuseWhiteSpaceAtEnds(serialText);
  if (check.refusal) return check;

  std::optional<std::string> bytes = NarrowText(serialText.c_str(), codePage);
  if (!bytes) {
    check.refusal = SaveRefusal{FormField::SerialNumber, FormField::SerialNumber, kSerialTitle,
                                NoFormInCodePage(serialText, codePage)};
    return check;
  }
  // The key's record holds 63 bytes of serial: a longer one is refused rather than cut.
  if (bytes->size() > kMaxSerialBytes) {
    check.refusal = SaveRefusal{FormField::SerialNumber, FormField::SerialNumber, kSerialTitle,
                                Format(kTooLongFormat, static_cast<int>(bytes->size()))};
    return check;
  }
  check.bytes = std::move(*bytes);
  return check;
}

std::optional<SaveRefusal> CheckUserName(const MessageText& userName) {
  return RefuseWhatXmlCannotCarry(userName, FormField::UserName, kUserNameTitle);
}

// A hash changed after generating the seed would send a seed of another
// length than the one shown and exported: a new seed is needed first.
std::optional<SaveRefusal> CheckSeed(const NewTokenFormState& state) {
  if (state.seedLength == 0) {
    return SaveRefusal{FormField::Seed, FormField::GenerateSeed, kNoSeedTitle, kNoSeed};
  }
  const bool matches =
      state.seedHashChoice == state.hashChoice && state.seedLength == SeedLengthFor(HashAlgorithmFor(state.hashChoice));
  if (matches) return std::nullopt;
  return SaveRefusal{FormField::Seed, FormField::GenerateSeed, kNewSeedTitle,
                     Format(kSeedForOtherHashFormat, HashName(state.seedHashChoice), HashName(state.hashChoice))};
}

namespace {

std::optional<SaveRefusal> RefuseSerialInUse(const SerialUse& use) {
  const FormField field = FormField::SerialNumber;
  switch (use.place) {
    case SerialUse::Place::Free: return std::nullopt;
    case SerialUse::Place::OnKey: return SaveRefusal{field, field, kSerialInUseTitle, kSerialOnKey};
    case SerialUse::Place::InSeedFile: {
      const char16_t* format = use.keyListsNot ? kSerialInFileNotOnKeyFormat : kSerialInFileFormat;
      return SaveRefusal{field, field, kSerialInUseTitle, Format(format, Widen(use.where))};
    }
    case SerialUse::Place::InRecord:
      return SaveRefusal{field, field, kSerialInUseTitle, Format(kSerialInRecordFormat, Widen(use.where))};
  }
  return std::nullopt;
}

}  // namespace

std::optional<SaveRefusal> CheckSerialFree(const std::string& serialBytes, const SerialUse& use) {
  const FormField field = FormField::SerialNumber;
  if (serialBytes.empty()) return SaveRefusal{field, field, kNoSerialTitle, kNoSerial};
  return RefuseSerialInUse(use);
}

std::optional<SaveRefusal> KeySerialInUseNotice(const SerialUse& use) {
  std::optional<SaveRefusal> notice = RefuseSerialInUse(use);
  if (notice) notice->title = kKeySerialInUseTitle;
  return notice;
}

// Without its record the seed could end up on the key and in no file.
SaveRefusal SeedFilesUnwritable(const MessageText& reason) {
  return SaveRefusal{FormField::Seed, FormField::Seed, kUnwritableTitle, Format(kUnwritableFormat, reason)};
}

std::optional<SaveRefusal> RefuseReservation(const Reservation& reservation) {
  const FormField field = FormField::SerialNumber;
  const MessageText name = Widen(reservation.file.filename().u8string());
  switch (reservation.outcome) {
    case Reservation::Outcome::Reserved: return std::nullopt;
    case Reservation::Outcome::InUse: return RefuseSerialInUse(reservation.use);
    case Reservation::Outcome::Unreadable: {
      const bool damaged = reservation.error.code == 0 && reservation.error.kind == FileErrorKind::Damaged;
      const MessageText why = damaged ? MessageText(kNotARecord) : FileErrorReason(kUnreadable, reservation.error);
      return SaveRefusal{field, field, kSerialUnknownTitle, Format(kSerialUnknownFormat, name, why)};
    }
    case Reservation::Outcome::FolderBusy:
      return SaveRefusal{FormField::Seed, FormField::Seed, kFolderBusyTitle, Format(kFolderBusyFormat, name)};
    case Reservation::Outcome::NotRecorded: return SeedFilesUnwritable(JournalFailureText(reservation.failure));
  }
  return std::nullopt;
}
