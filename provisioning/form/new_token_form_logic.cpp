#include "provisioning/form/new_token_form_logic.h"

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "provisioning/form/token_record_mapping.h"
#include "provisioning/form/unused_serial.h"
#include "provisioning/seed_files/save_settling.h"
#include "provisioning/seed_files/seed_export_messages.h"
#include "provisioning/seed_files/seed_file_coverage.h"
#include "random/random_generation.h"
#include "text/code_page.h"
#include "text/format_text.h"
#include "text/hex_text.h"
#include "text/line_breaks.h"
#include "vendor/bounded_text.h"
#include "vendor/key_queries.h"

namespace {

constexpr std::uint32_t kPersonalizeOption = 1;

// One code page for every 8-bit text of the form, the one the key and the
// seed files get: the key's serial shown with another would be sent back as
// other bytes, or refused, when a user's locale is not the system's.
constexpr CodePage kKeyCodePage = kThreadAnsiCodePage;

const char16_t kSaveFailedFormat[] = u"Failed to save the new token (error = 0x%08X)\r\n";
const char16_t kSaveSucceeded[] = u"Save new token succeeded!\r\n";
const char16_t kSavedTokenFormat[] = u"SN=%s, SEED=%s\r\n";
// A key can store a token and still answer with an error (its answer lost
// on the way, a timeout after the write).
const char16_t kStoredDespiteFailureFormat[] =
    u"The key answered with an error but lists the token %s: it was added to the seed files.\r\n";
const char16_t kFailureUnconfirmedFormat[] =
    u"The key could not be asked whether it stored the token %s anyway: its record was kept, and the token is "
    u"added to the seed files or dropped when the key lists its tokens again.\r\n";
// A full key refuses every new token, however often the operator tries.
const char16_t kKeyFull[] =
    u"The key lists 20 tokens, the most it holds: it takes a new token only after \"Reset\", which deletes them "
    u"all.\r\n";
const char16_t kNoSeedFolder[] = u"Seed files not written: the program's folder is unknown.\r\n";

}  // namespace

NewTokenFormServices NewTokenFormServices::Standard() {
  NewTokenFormServices services;
  services.generateSerialNumber = [](char* buffer) { return GenerateSerialNumber(buffer); };
  services.generateSeedBytes = [](std::uint8_t* buffer, std::int32_t count) {
    return GenerateSeedBytes(buffer, count);
  };
  return services;
}

NewTokenFormLogic::NewTokenFormLogic(INewTokenFormControls& controls, ITokenLibrary& library, SeedFolder& seeds,
                                     NewTokenFormServices services)
    : controls_(controls), library_(library), seeds_(seeds), services_(std::move(services)) {}

// A failed transfer is only signalled: the handler carries on with whatever
// the state holds.
void NewTokenFormLogic::ReadFields() {
  FormField failed = FormField::SerialNumber;
  if (!controls_.ReadFields(state_, failed)) {
    controls_.Beep();
    controls_.Focus(failed);
  }
}

void NewTokenFormLogic::WriteFields() {
  FormField failed = FormField::SerialNumber;
  if (!controls_.WriteFields(state_, failed)) {
    controls_.Beep();
    controls_.Focus(failed);
  }
}

// Nothing is written; the operator hears why and reads why on the field.
void NewTokenFormLogic::Refuse(const SaveRefusal& refusal) {
  controls_.Beep();
  controls_.Focus(refusal.focus);
  controls_.ShowTip(refusal.tipField, refusal.title, refusal.text);
}

void NewTokenFormLogic::StartUp() {
  state_.resultStatus = kNothingSaved;
  state_.hashChoice = 0;       // SHA-1
  state_.digitsChoice = 0;     // 6
  state_.algorithmChoice = 1;  // TOTP
  state_.intervalChoice = 1;   // 60 seconds
  state_.appendEnter = true;
  WriteFields();

  // The key's own serial number is the default; without it the field stays
  // empty and nothing is reported.
  const std::string keySerial = KeySerial();
  if (!keySerial.empty()) {
    static_assert(sizeof DeviceInfo{}.sn < sizeof state_.serialAnsi);
    std::memset(state_.serialAnsi, 0, sizeof state_.serialAnsi);
    std::memcpy(state_.serialAnsi, keySerial.data(), keySerial.size());
    if (std::optional<MessageText> text = WidenText(state_.serialAnsi, kKeyCodePage)) {
      state_.serialText = std::move(*text);
    } else {
      std::memset(state_.serialAnsi, 0, sizeof state_.serialAnsi);
    }
  }
  WriteFields();
  TellWhenKeySerialIsTaken();
}

// Said once, as the form opens, rather than at every "Save": after a "Reset"
// the default is refused for good. What the run read of the files tells it;
// the key's "Save" decides, under the folder's lock.
void NewTokenFormLogic::TellWhenKeySerialIsTaken() {
  const std::string keySerial = state_.serialAnsi;
  if (keySerial.empty()) return;
  if (const std::optional<SaveRefusal> notice = KeySerialInUseNotice(seeds_.WhereInUse(library_, keySerial))) {
    controls_.ShowTip(notice->tipField, notice->title, notice->text);
  }
}

void NewTokenFormLogic::Close(FormEnd how) { controls_.EndForm(how); }

void NewTokenFormLogic::GenerateSerial() {
  // Read first so that what the operator typed or chose elsewhere survives.
  ReadFields();

  char fresh[kSerialCapacity] = {};
  const auto taken = [this](const std::vector<std::string>& candidates) {
    return seeds_.SerialsInUse(library_, candidates);
  };
  if (!DrawUnusedSerial(services_.generateSerialNumber, taken, fresh)) {
    controls_.Beep();  // the shown serial stays as it was
    return;
  }
  std::memcpy(state_.serialAnsi, fresh, sizeof fresh);
  state_.serialText = WidenText(state_.serialAnsi, kKeyCodePage).value_or(MessageText());
  WriteFields();
}

void NewTokenFormLogic::GenerateSeed() {
  ReadFields();

  // The same rule as the record's hash, so the shown seed is the one sent.
  const std::size_t count = SeedLengthFor(HashAlgorithmFor(state_.hashChoice));
  std::uint8_t fresh[kMaxSeedLength] = {};
  if (!services_.generateSeedBytes(fresh, static_cast<std::int32_t>(count))) {
    // No usable seed: keep the previous one (if any) and leave Save as it is.
    controls_.Beep();
    return;
  }

  const std::string hex = HexText(fresh, count, /*upperCase=*/true);

  // No tail of an earlier, longer seed is kept around.
  std::memset(state_.seedBytes, 0, sizeof state_.seedBytes);
  std::memcpy(state_.seedBytes, fresh, count);
  std::memset(state_.seedHex, 0, sizeof state_.seedHex);
  hex.copy(state_.seedHex, sizeof state_.seedHex - 1);
  std::memset(fresh, 0, sizeof fresh);
  state_.seedText = WidenText(state_.seedHex, kKeyCodePage).value_or(MessageText());
  state_.seedHashChoice = state_.hashChoice;
  state_.seedLength = count;

  WriteFields();
  controls_.EnableSave(true);
}

void NewTokenFormLogic::SaveToken() {
  ReadFields();

  // Text that the key or the seed files cannot hold exactly as typed is
  // refused, never changed.
  SerialCheck serial = CheckSerial(state_.serialText, kKeyCodePage);
  std::optional<SaveRefusal> refusal = serial.refusal;
  if (!refusal) refusal = CheckUserName(state_.userName);
  if (!refusal) refusal = CheckSeed(state_);
  if (!refusal) refusal = CheckSerialFree(serial.bytes, SerialUse{});
  if (refusal) {
    Refuse(*refusal);
    return;
  }
  // The form shows the serial as it is until the save goes ahead.
  NewTokenFormState saving = state_;
  std::memset(saving.serialAnsi, 0, sizeof saving.serialAnsi);
  std::memcpy(saving.serialAnsi, serial.bytes.data(), serial.bytes.size());

  const TokenRecord record = BuildTokenRecord(saving);
  // A serial the key or the server knows already would replace a token on
  // the key, or give the server two seeds for one serial. The check and the
  // record that reserves the serial are one step for every instance; the
  // record also lets a save cut short between the key and the seed files be
  // completed later, never lost.
  Reservation reserved = seeds_.Reserve(PendingSave{BuildExportedToken(record, state_.userName), KeySerial()},
                                        state_.serialText, library_);
  if (const std::optional<SaveRefusal> notReserved = RefuseReservation(reserved)) {
    Refuse(*notReserved);
    return;
  }
  journal_ = std::move(reserved.journal);
  std::memcpy(state_.serialAnsi, saving.serialAnsi, sizeof state_.serialAnsi);
  controls_.EnableSave(false);
  const CvStatus status = library_.OtpPersonalize(record, kPersonalizeOption);

  if (status != CV_OK) {
    state_.resultStatus = kWriteToKeyFailed;
    FormatText(state_.resultMessage, kSaveFailedFormat, status);
    SettleFailedWrite(record);
  } else {
    state_.resultStatus = kTokenSaved;
    state_.keyHoldsToken = true;
    state_.resultMessage = kSaveSucceeded;
    state_.resultMessage += Format(kSavedTokenFormat, state_.serialText, state_.seedText);
    ExportSeed(record);
    if (auto line = IncompleteDescriptionLine(BuildExportedToken(record, state_.userName))) {
      state_.resultMessage += BreakLongLines(*line, kMessageBoxLineChars);
    }
  }
  controls_.EndForm(FormEnd::Saved);
}

// The record of a write the key refused goes only when the key's list shows
// that the token is not there; when it is, the seed files get it now; when
// the key cannot say, the record stays for the next settling.
void NewTokenFormLogic::SettleFailedWrite(const TokenRecord& record) {
  const KeyTokens listed = ListKeyTokens(library_);
  const ExportedToken token = BuildExportedToken(record, state_.userName);
  if (listed.status == CV_OK && !KeyListsToken(listed, token)) {
    if (journal_) journal_->Abandon();
    // Told by the listing, not by the status: the maker's codes for it are not ours to know.
    if (listed.tokens.size() >= kMaxTokens) state_.resultMessage += BreakLongLines(kKeyFull, kMessageBoxLineChars);
    return;
  }
  if (listed.status != CV_OK) {
    if (journal_) {
      state_.resultMessage +=
          BreakLongLines(Format(kFailureUnconfirmedFormat, state_.serialText), kMessageBoxLineChars);
    }
    return;
  }
  state_.resultMessage += BreakLongLines(Format(kStoredDespiteFailureFormat, state_.serialText), kMessageBoxLineChars);
  state_.keyHoldsToken = true;
  ExportSeed(record);
}

// The key's own serial number (the form's default, and the key a save's
// record names); empty when the key does not say. The key need not end it
// within its 32 bytes.
std::string NewTokenFormLogic::KeySerial() { return KeySerialNumber(library_).value_or(std::string()); }

// Export failures are added to the message; the token is on the key either way.
void NewTokenFormLogic::ExportSeed(const TokenRecord& record) {
  if (seeds_.Path().empty()) {
    state_.resultMessage += kNoSeedFolder;
    state_.seedFileWarning = TokenNotInFilesWarning(u"the seed files");
    return;
  }
  const ExportedToken token = BuildExportedToken(record, state_.userName);
  SeedExportReport report = seeds_.Export(token);
  if (journal_) {
    if (const std::optional<JournalFailure> stayed = journal_->Complete(report.written)) {
      report.lines.push_back(JournalFailureText(*stayed));
    }
  }
  // Our own lines, unlike the fixed ones above them, are broken to fit the box.
  for (const MessageText& line : report.lines) {
    state_.resultMessage += BreakLongLines(line, kMessageBoxLineChars);
  }
  // Not one line among the success lines only: the status line says it too.
  const SeedFileSet unwritten{!report.written.csv, !report.written.xml};
  if (unwritten.csv || unwritten.xml) {
    state_.seedFileWarning = TokenNotInFilesWarning(SeedFileNames(seeds_.Path(), token, unwritten));
  }
}
