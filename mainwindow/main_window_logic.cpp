#include "mainwindow/main_window_logic.h"

#include <array>
#include <limits>
#include <string>

#include "mainwindow/device_broadcast.h"
#include "mainwindow/token_cells.h"
#include "mainwindow/utc_time.h"
#include "text/code_page.h"
#include "text/format_text.h"
#include "text/line_breaks.h"
#include "vendor/bounded_text.h"

namespace {

using TokenListing = std::array<TokenRecord, kMaxTokens>;

// Stored as 8-bit text and widened with the process code page when logged.
constexpr char kTouchPromptLine[] = "Please touch the key!...\r\n";
constexpr char kSetEnterSucceeded[] = "Set C/R succeeded!\r\n";

constexpr char16_t kTouchPromptStatus[] = u"Please touch the key...";
constexpr char16_t kRunAsAdministrator[] = u"You must run this tool as administrator!";

// The key's time-based tokens count from UTC+8.
constexpr std::int64_t kChallengeClockOffset = 28800;

// What the two statuses the library names mean, after the fixed lines that
// only ask for an administrator; nothing for any other status.
const char16_t* ListingFailureMeaning(CvStatus status) {
  switch (status) {
    case CV_ERR_NO_DEVICE: return u"The key library finds no key: plug the key in.\r\n";
    case CV_ERR_MULTIPLE_DEVICES:
      return u"The key library finds more than one key: unplug all but the one to program.\r\n";
    default: return nullptr;
  }
}

std::string TotpChallenge(std::int64_t now) {
  const std::int64_t shifted = now > std::numeric_limits<std::int64_t>::max() - kChallengeClockOffset
                                   ? std::numeric_limits<std::int64_t>::max()
                                   : now + kChallengeClockOffset;
  return FormatUtcTimestamp(shifted);
}

}  // namespace

MainWindowLogic::MainWindowLogic(MainWindowModel& model, ITokenLibrary& library, IMainWindowHost& host)
    : model_(model), library_(library), host_(host) {}

void MainWindowLogic::AppendLog(const MessageText& message) { model_.logText += message; }

void MainWindowLogic::ClearLog() {
  model_.logText.clear();
  ++model_.logClears;
}

void MainWindowLogic::SetStatus(const MessageText& text) {
  model_.statusText = text.empty() ? model_.seedWarning : text;
}

void MainWindowLogic::SetSeedWarning(const MessageText& warning) {
  // A prompt or a listing's warning showing now stays; this one shows after it.
  if (model_.statusText.empty() || model_.statusText == model_.seedWarning) model_.statusText = warning;
  model_.seedWarning = warning;
}

void MainWindowLogic::Initialise(const MessageText& loadProblem) {
  // Our own lines name full paths: broken to fit the box, unlike the fixed texts.
  if (!loadProblem.empty()) AppendLog(BreakLongLines(loadProblem, kMessageBoxLineChars));
  model_.activeIndex = -1;
  FindDevice();
  SettleInterruptedSaves();
  // Also clears the warning of a listing that failed during the search.
  SetStatus(u"");
}

void MainWindowLogic::FindDevice() {
  std::uint32_t output = 0;
  const CvStatus status = library_.ListDevice(&output);
  switch (status) {
    case CV_OK:
      SetStatus(u"");  // the key answers again: an old warning no longer holds
      AppendLog(u"Found a Corvane/Meridia device.\r\n");
      model_.deviceFound = true;
      model_.getOtpAllowed = true;
      break;
    case CV_ERR_NO_DEVICE:
      AppendLog(
          Format(u"Corvane/Meridia device not found.\r\n"
                 u"You may need to run this tool as administrator (error= 0x%08X)\r\n",
                 status));
      break;
    case CV_ERR_MULTIPLE_DEVICES:
      AppendLog(Format(u"Multiple Corvane/Meridia devices found (Error= 0x%08X)\r\n", status));
      break;
    default:
      // No definite outcome: nothing is logged, listed or enabled.
      return;
  }
  ListTokens();
}

void MainWindowLogic::ListTokens() {
  model_.rows.clear();
  TokenListing listing{};
  const CvStatus status = library_.OtpList(0, listing.data());
  if (status != CV_OK) {
    SetStatus(kRunAsAdministrator);
    AppendLog(
        Format(u"Failed to list tokens (error = 0x%08X)\r\n"
               u"You must run this tool as administrator!\r\n",
               status));
    if (const char16_t* meaning = ListingFailureMeaning(status)) {
      AppendLog(BreakLongLines(meaning, kMessageBoxLineChars));
    }
    return;
  }
  SetStatus(u"");  // the key answers again: an old warning no longer holds
  if (!HasSerial(listing[0])) {
    AppendLog(u"List tokens succeeded!\r\n");
    AppendLog(u"But there is no OTP token in the device!\r\n");
    return;
  }
  for (std::size_t i = 0; i < listing.size() && HasSerial(listing[i]); ++i) {
    const bool active = i == 0;
    model_.rows.push_back(MakeTokenRow(listing[i], active));
    if (active) model_.activeIndex = 0;
  }
  AppendLog(u"List tokens succeeded!\r\n");
}

void MainWindowLogic::OnDeviceChange(std::uint32_t eventKind, const std::uint8_t* header, std::size_t size) {
  if (eventKind != kDeviceArrival && eventKind != kDeviceRemoveComplete) return;
  if (!IsKeyInterfaceBroadcast(header, size)) return;
  if (eventKind == kDeviceArrival) {
    // Give the key time to settle before the library looks for it.
    host_.Pause(2000);
    FindDevice();
    SettleInterruptedSaves();
  } else {
    // Removal empties the list only; buttons, status and activeIndex stay.
    model_.rows.clear();
  }
}

void MainWindowLogic::GetOtp() {
  if (model_.activeIndex < 0) return;

  TokenListing listing{};
  if (library_.OtpList(0, listing.data()) != CV_OK) return;  // deliberately silent
  if (static_cast<std::size_t>(model_.activeIndex) >= listing.size()) return;
  const TokenRecord token = listing[static_cast<std::size_t>(model_.activeIndex)];

  std::array<char, kChallengeBufferSize> challenge{};
  std::uint32_t challengeLength = 0;
  if (token.type == TOTP) {
    const std::string text = TotpChallenge(host_.CurrentUnixTime());
    challengeLength = static_cast<std::uint32_t>(text.copy(challenge.data(), challenge.size() - 1));
  }

  SetStatus(kTouchPromptStatus);
  AppendLog(Widen(kTouchPromptLine, kProcessAnsiCodePage));
  host_.ShowModelNow();  // the call below may wait for a touch

  std::array<char, kOtpBufferSize> otp{};
  std::uint32_t otpLength = 0;
  const CvStatus status = library_.OtpCalculate(token, challenge.data(), challengeLength, otp.data(), &otpLength);
  if (status == CV_OK) {
    AppendLog(u"Get OTP succeeded!\r\n");
    const MessageText otpText = Widen(TextWithin(otp.data(), otp.size()), kThreadAnsiCodePage);
    AppendLog(Format(token.type == TOTP ? u"TOTP = %s\r\n" : u"HOTP = %s\r\n", otpText));
  } else {
    AppendLog(Format(u"Failed to get OTP (error code = 0x%08X)\r\n", status));
  }
  SetStatus(u"");
}

void MainWindowLogic::ResetDevice() {
  model_.resetRunning = true;
  SetStatus(kTouchPromptStatus);
  AppendLog(Widen(kTouchPromptLine, kProcessAnsiCodePage));
  host_.ShowModelNow();  // the call below may wait for a touch

  const CvStatus status = library_.OtpReset();
  MessageText message;
  if (status == CV_OK) {
    model_.rows.clear();
    model_.getOtpAllowed = false;
    message = u"Reset Succeeded!\r\n";
  } else {
    message = Format(u"Failed to reset the device (error code = 0x%08X)\r\n", status);
  }
  AppendLog(message);
  SetStatus(u"");
  model_.resetRunning = false;
}

void MainWindowLogic::SettleInterruptedSaves() {
  const SettleReport report = host_.SettleInterruptedSaves();
  for (const MessageText& line : settleLog_.LinesToLog(report)) AppendLog(BreakLongLines(line, kMessageBoxLineChars));
  if (!report.settled) return;  // nothing was looked at: a warning still holds
  const SettledRecord* stillKept = report.FirstKept();
  SetSeedWarning(stillKept ? stillKept->warning : MessageText());
}

void MainWindowLogic::NewToken() {
  SettleInterruptedSaves();
  host_.ShowModelNow();  // what settling said is read before the form covers the window
  const NewTokenResult result = host_.RunNewTokenForm();
  if (result.resultStatus != kNothingSaved) AppendLog(result.resultMessage);
  // A key that answered with an error but lists the token holds it as after
  // a save: the window follows up the same way.
  if (result.resultStatus == kTokenSaved || result.keyHoldsToken) {
    SetAppendEnter(result.appendEnter);
    ListTokens();
    model_.getOtpAllowed = true;
    if (!result.seedFileWarning.empty()) SetSeedWarning(result.seedFileWarning);
  }
}

void MainWindowLogic::SetEnter() {
  bool appendEnter = true;  // the dialog always starts checked
  if (host_.RunSetEnterDialog(appendEnter) == 1) SetAppendEnter(appendEnter);
}

void MainWindowLogic::SetAppendEnter(bool append) {
  const CvStatus status = library_.OtpSetValueWithEnter(append ? 1u : 0u);
  if (status == CV_OK) {
    AppendLog(Widen(kSetEnterSucceeded, kProcessAnsiCodePage));
  } else {
    AppendLog(Format(u"Failed to set C/R (error = 0x%08X)\r\n", status));
  }
}
