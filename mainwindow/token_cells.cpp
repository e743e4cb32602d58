#include "mainwindow/token_cells.h"

#include "text/code_page.h"
#include "vendor/bounded_text.h"

bool HasSerial(const TokenRecord& record) { return record.serial[0] != '\0'; }

TokenRow MakeTokenRow(const TokenRecord& record, bool active) {
  TokenRow row;
  // The serial comes from the key: a serial filling all 64 bytes without a
  // terminator is shown as those 64 bytes.
  row[kSerialColumn] = Widen(TextWithin(record.serial), kThreadAnsiCodePage);
  row[kActiveColumn] = active ? MessageText(u"X") : MessageText();
  row[kTypeColumn] = TokenTypeText(record.type);
  row[kHashColumn] = HashAlgorithmText(record.hashAlgorithm);
  row[kDigitsColumn] = DigitsText(record.digits);
  row[kIntervalColumn] = TimeStepText(record.timeStep);
  return row;
}

MessageText TokenTypeText(std::uint32_t type) {
  switch (type) {
    case HOTP: return u"HOTP";
    case TOTP: return u"TOTP";
    case STATIC_PASSWORD: return u"STATIC_PASSWORD";
    case CHALLENGE_RESPONSE: return u"CHALLENGE_RESPONSE";
    default: return u"Error";
  }
}

MessageText HashAlgorithmText(std::uint32_t hashAlgorithm) {
  switch (hashAlgorithm) {
    case HASH_SHA1: return u"SHA-1";
    case HASH_SHA256: return u"SHA-256";
    default: return u"";
  }
}

MessageText DigitsText(std::uint32_t digits) {
  switch (digits) {
    case 6: return u"6";
    case 8: return u"8";
    default: return u"";
  }
}

MessageText TimeStepText(std::uint32_t timeStep) {
  switch (timeStep) {
    case 30: return u"30";
    case 60: return u"60";
    default: return u"";
  }
}
