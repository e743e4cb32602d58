#include "virtualkey/control_commands.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "text/hex_text.h"
#include "virtualkey/number_text.h"

namespace {

// The RFC 4226 test secret "12345678901234567890", the default seed of
// add-token so that its OTPs can be checked against the published values.
constexpr char kDefaultSeedHex[] = "3132333435363738393031323334353637383930";

ParsedControlCommand Usage(std::string error) { return {std::nullopt, std::move(error)}; }

ParsedControlCommand Parsed(ControlCommand command) { return {std::move(command), {}}; }

std::optional<std::uint32_t> ParseNamedNumber(const std::string& text,
                                              const std::vector<std::pair<const char*, std::uint32_t>>& names) {
  for (const auto& [name, value] : names) {
    if (text == name) return value;
  }
  const auto number = ParseUnsigned(text, 0xFFFFFFFFu);
  if (!number) return std::nullopt;
  return static_cast<std::uint32_t>(*number);
}

ParsedControlCommand ParseAddToken(const std::vector<std::string>& arguments) {
  ControlCommand command;
  command.action = ControlAction::AddToken;
  TokenRecord& r = command.token.record;
  r.type = HOTP;
  r.hashAlgorithm = HASH_SHA1;
  r.digits = 6;
  r.timeStep = 30;
  std::string serial;
  std::string seedHex = kDefaultSeedHex;

  for (std::size_t i = 1; i < arguments.size(); i += 2) {
    const std::string& option = arguments[i];
    if (i + 1 >= arguments.size()) return Usage("add-token: " + option + " needs a value");
    const std::string& value = arguments[i + 1];
    std::optional<std::uint32_t> number;
    if (option == "--serial") {
      serial = value;
      continue;
    }
    if (option == "--seed") {
      seedHex = value;
      continue;
    }
    if (option == "--counter") {
      const auto counter = ParseUnsigned(value, UINT64_MAX);
      if (!counter) return Usage("add-token: --counter takes a number, not \"" + value + "\"");
      command.token.counter = *counter;
      continue;
    }
    std::uint32_t* field = nullptr;
    if (option == "--type") {
      field = &r.type;
      number = ParseNamedNumber(
          value, {{"hotp", HOTP}, {"totp", TOTP}, {"static", STATIC_PASSWORD}, {"cr", CHALLENGE_RESPONSE}});
    } else if (option == "--hash") {
      field = &r.hashAlgorithm;
      number = ParseNamedNumber(value, {{"sha1", HASH_SHA1}, {"sha256", HASH_SHA256}});
    } else if (option == "--digits") {
      field = &r.digits;
      number = ParseNamedNumber(value, {});
    } else if (option == "--step") {
      field = &r.timeStep;
      number = ParseNamedNumber(value, {});
    } else if (option == "--reserved") {
      field = &r.reserved;
      number = ParseNamedNumber(value, {});
    } else {
      return Usage("add-token: unknown option \"" + option + "\"");
    }
    if (!number) return Usage("add-token: " + option + " cannot take \"" + value + "\"");
    *field = *number;
  }

  if (serial.empty()) return Usage("add-token: --serial is required");
  if (serial.size() >= sizeof r.serial) {
    return Usage("add-token: the serial has " + std::to_string(serial.size()) + " bytes; at most " +
                 std::to_string(sizeof r.serial - 1) + " fit");
  }
  std::memcpy(r.serial, serial.data(), serial.size());
  const auto seed = BytesFromHex(seedHex);
  if (!seed || seed->size() > sizeof r.seed) {
    return Usage("add-token: --seed takes up to 64 bytes in hexadecimal, not \"" + seedHex + "\"");
  }
  std::copy(seed->begin(), seed->end(), r.seed);
  return Parsed(command);
}

ParsedControlCommand ParseTouch(const std::vector<std::string>& arguments) {
  ControlCommand command;
  command.action = ControlAction::Touch;
  const std::string mode = arguments.size() > 1 ? arguments[1] : "";
  if (mode == "ok" && arguments.size() == 2) {
    command.touchMode = TouchMode::Ok;
  } else if (mode == "timeout" && arguments.size() == 2) {
    command.touchMode = TouchMode::Timeout;
  } else if (mode == "delay" && arguments.size() == 3) {
    const auto ms = ParseUnsigned(arguments[2], kMaxTouchDelayMs);
    if (!ms) {
      return Usage("touch delay takes 0 to " + std::to_string(kMaxTouchDelayMs) + " milliseconds, not \"" +
                   arguments[2] + "\"");
    }
    command.touchMode = TouchMode::Delay;
    command.touchDelayMs = static_cast<std::uint32_t>(*ms);
  } else {
    return Usage("touch takes ok, timeout or delay MS");
  }
  return Parsed(command);
}

ParsedControlCommand ParseFail(const std::vector<std::string>& arguments, ControlAction action) {
  const std::string& name = arguments[0];
  if (arguments.size() != 3) return Usage(name + " takes FUNCTION STATUS");
  ControlCommand command;
  command.action = action;
  if (!IsLibraryFunctionName(arguments[1])) {
    return Usage(name + ": \"" + arguments[1] + "\" is not one of the library's functions");
  }
  const auto status = ParseFailureStatus(arguments[2]);
  if (!status) {
    return Usage(name + ": the status is up to 8 hexadecimal digits, not 0, like 0x80435699; not \"" + arguments[2] +
                 "\"");
  }
  command.functionName = arguments[1];
  command.status = *status;
  return Parsed(command);
}

const char* TypeName(std::uint32_t type) {
  switch (type) {
    case HOTP: return "HOTP";
    case TOTP: return "TOTP";
    case STATIC_PASSWORD: return "STATIC_PASSWORD";
    case CHALLENGE_RESPONSE: return "CHALLENGE_RESPONSE";
    default: return "unknown";
  }
}

const char* HashName(std::uint32_t hash) {
  switch (hash) {
    case HASH_SHA1: return "SHA-1";
    case HASH_SHA256: return "SHA-256";
    default: return "unknown";
  }
}

std::string SeedText(const TokenRecord& r) {
  std::size_t length = sizeof r.seed;
  while (length > 0 && r.seed[length - 1] == 0) --length;
  const std::size_t usual = r.hashAlgorithm == HASH_SHA256 ? 32 : 20;
  return HexText(r.seed, std::max(length, std::min(usual, sizeof r.seed)), true);
}

}  // namespace

ParsedControlCommand ParseControlCommand(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return Usage("a command is required (see --help)");
  const std::string& name = arguments[0];
  const auto simple = [&](ControlAction action) -> ParsedControlCommand {
    if (arguments.size() != 1) return Usage(name + " takes no arguments");
    ControlCommand command;
    command.action = action;
    return Parsed(command);
  };
  if (name == "--help" || name == "-h" || name == "help") return simple(ControlAction::Help);
  if (name == "show") return simple(ControlAction::Show);
  if (name == "reset") return simple(ControlAction::Reset);
  if (name == "plug") return simple(ControlAction::Plug);
  if (name == "unplug") return simple(ControlAction::Unplug);
  if (name == "clear-faults") return simple(ControlAction::ClearFaults);
  if (name == "touch") return ParseTouch(arguments);
  if (name == "fail") return ParseFail(arguments, ControlAction::Fail);
  if (name == "fail-after-write") return ParseFail(arguments, ControlAction::FailAfterWrite);
  if (name == "add-token") return ParseAddToken(arguments);
  if (name == "devices") {
    const auto count = arguments.size() == 2 ? ParseUnsigned(arguments[1], kMaxDeviceCount) : std::nullopt;
    if (!count || *count == 0) {
      return Usage("devices takes a number from 1 to " + std::to_string(kMaxDeviceCount) + " (use unplug for none)");
    }
    ControlCommand command;
    command.action = ControlAction::Devices;
    command.number = static_cast<std::uint32_t>(*count);
    return Parsed(command);
  }
  return Usage("unknown command \"" + name + "\" (see --help)");
}

bool ApplyControlCommand(const ControlCommand& command, KeyState& state, std::string& problem) {
  switch (command.action) {
    case ControlAction::Reset: state = KeyState{}; return true;
    case ControlAction::Plug: state.plugged = true; return true;
    case ControlAction::Unplug: state.plugged = false; return true;
    case ControlAction::Devices: state.deviceCount = command.number; return true;
    case ControlAction::Touch:
      state.touchMode = command.touchMode;
      state.touchDelayMs = command.touchDelayMs;
      return true;
    case ControlAction::Fail: state.forcedStatuses[command.functionName] = command.status; return true;
    case ControlAction::FailAfterWrite: state.failuresAfterWrite[command.functionName] = command.status; return true;
    case ControlAction::ClearFaults:
      state.forcedStatuses.clear();
      state.failuresAfterWrite.clear();
      return true;
    case ControlAction::AddToken:
      if (!StoreAsActiveToken(state, command.token)) {
        problem = "the key already holds " + std::to_string(kMaxTokens) + " tokens";
        return false;
      }
      return true;
    case ControlAction::Help:
    case ControlAction::Show: break;
  }
  problem = "this command does not change the key";
  return false;
}

bool ApplyControlCommandToFile(const ControlCommand& command, const StateFile& file, KeyState& state,
                               std::string& problem) {
  FileLock lock;
  return file.Lock(lock, problem) && file.Load(state, problem) == StateLoadOutcome::Loaded &&
         ApplyControlCommand(command, state, problem) && file.Save(state, problem);
}

std::string AppliedCommandSummary(const ControlCommand& command) {
  switch (command.action) {
    case ControlAction::Reset: return "The key is new: no tokens, plugged in, one device, touch ok, no forced statuses";
    case ControlAction::Plug: return "The key is plugged in";
    case ControlAction::Unplug: return "The key is unplugged";
    case ControlAction::Devices: return std::to_string(command.number) + " device(s) are plugged in";
    case ControlAction::Touch:
      if (command.touchMode == TouchMode::Timeout) return "Touch: calls that need one time out";
      if (command.touchMode == TouchMode::Delay) {
        return "Touch: calls that need one wait " + std::to_string(command.touchDelayMs) + " ms";
      }
      return "Touch: answered at once";
    case ControlAction::Fail: return command.functionName + " now returns " + StatusText(command.status);
    case ControlAction::FailAfterWrite:
      return command.functionName + " now does its work, then returns " + StatusText(command.status);
    case ControlAction::ClearFaults: return "No forced statuses";
    case ControlAction::AddToken:
      return std::string("Token \"") + command.token.record.serial + "\" stored as the active token";
    case ControlAction::Help:
    case ControlAction::Show: break;
  }
  return {};
}

std::string DescribeKeyState(const KeyState& state) {
  std::ostringstream out;
  out << "Key: " << (state.plugged ? "plugged in" : "unplugged") << ", " << state.deviceCount
      << (state.deviceCount == 1 ? " device" : " devices") << ", serial number " << state.serialNumber << "\n";
  out << "Touch: ";
  switch (state.touchMode) {
    case TouchMode::Ok: out << "ok"; break;
    case TouchMode::Delay: out << "delay " << state.touchDelayMs << " ms"; break;
    case TouchMode::Timeout: out << "timeout"; break;
  }
  out << "\nAppend ENTER: " << (state.appendEnter ? "yes" : "no") << "\n";
  out << "Forced statuses:";
  if (state.forcedStatuses.empty() && state.failuresAfterWrite.empty()) out << " none";
  for (const auto& [function, status] : state.forcedStatuses) {
    out << "\n  " << function << " -> " << StatusText(status);
  }
  for (const auto& [function, status] : state.failuresAfterWrite) {
    out << "\n  " << function << " -> " << StatusText(status) << " after its work";
  }
  out << "\nTokens: " << state.tokens.size() << "\n";
  for (std::size_t i = 0; i < state.tokens.size(); ++i) {
    const StoredToken& token = state.tokens[i];
    const TokenRecord& r = token.record;
    out << "  " << i << (i == 0 ? " (active)" : "") << " serial=\""
        << std::string(r.serial, strnlen(r.serial, sizeof r.serial)) << "\" type=" << TypeName(r.type) << " ("
        << StatusText(r.type) << ") hash=" << HashName(r.hashAlgorithm) << " (" << r.hashAlgorithm
        << ") digits=" << r.digits << " step=" << r.timeStep << " counter=" << token.counter
        << " reserved=" << r.reserved << " seed=" << SeedText(r) << "\n";
  }
  return out.str();
}

const char* ControlHelpText() {
  return R"(Usage: virtualkey COMMAND [ARGUMENTS]

Controls the virtual Corvane/Meridia key that our CV_Manager.dll emulates.
The key's state file is the one named by the environment variable
CV_VIRTUAL_KEY, else virtual-key.xml beside virtualkey.exe (and the DLL).

Commands:
  show                  Print the key's state and its tokens, active first.
  reset                 Make it a new key: no tokens, plugged in, one device,
                        touch ok, no forced statuses, ENTER off.
  plug                  Plug the key in, then tell the running tool
                        (WM_DEVICECHANGE, DBT_DEVICEARRIVAL).
  unplug                Unplug the key (every call then fails with 0x80435602),
                        then tell the running tool (DBT_DEVICEREMOVECOMPLETE).
  devices N             Pretend N keys (1 to 99) are plugged in; with 2 or more
                        every call fails with 0x80435603.
  touch ok              Calls that need a touch answer at once (the default).
  touch delay MS        They wait MS milliseconds (0 to 600000), then succeed.
  touch timeout         They fail with 0x80435610.
  fail FUNCTION STATUS  FUNCTION returns STATUS (hexadecimal, like 0x80435699)
                        and does nothing else, until clear-faults.
  fail-after-write FUNCTION STATUS
                        FUNCTION does its work (stores the token, say), then
                        returns STATUS, as when the key's answer is lost,
                        until clear-faults.
  clear-faults          Remove every forced status.
  add-token OPTIONS     Store a token as the active one; a token with the same
                        serial is replaced. Any field value is accepted, so
                        records the tool must show as odd can be made.
    --serial TEXT       its serial, 1 to 63 bytes (required)
    --type T            hotp, totp, static, cr or a number (default hotp)
    --hash H            sha1, sha256 or a number (default sha1)
    --digits N          number of digits (default 6)
    --step N            time step in seconds (default 30)
    --seed HEX          up to 64 bytes (default the RFC 4226 test secret
                        3132333435363738393031323334353637383930)
    --counter N         the next HOTP counter (default 0)
    --reserved N        the record's reserved field (default 0)
  --help                Print this text.

Numbers are decimal or hexadecimal with 0x. FUNCTION is one of CV_ListDevice,
CV_GetDeviceInfo, CV_OTP_List, CV_OTP_Calculate, CV_OTP_Personalize,
CV_OTP_Reset, CV_OTP_SetValueWithEnter.

Statuses of the virtual key: 0x80435602 no key, 0x80435603 several keys,
0x80435610 touch timeout, 0x80435620 corrupt state file (left untouched),
0x80435621 state file unreadable or unwritable, 0x80435630 invalid argument
or record, 0x80435631 token not on the key, 0x80435632 bad challenge,
0x80435633 key full (20 tokens), 0x804356FF internal failure.

Exit codes: 0 done, 1 failed (message on stderr), 2 usage error.
)";
}
