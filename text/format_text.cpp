#include "text/format_text.h"

#include <climits>
#include <new>
#include <optional>
#include <stdexcept>

namespace {

// printf refuses field widths and precisions that do not fit an int; so do we,
// rather than trying to allocate gigabytes of padding.
constexpr std::size_t kMaxFieldSize = INT_MAX;

// One %-directive of a format: its flags, width, precision and conversion.
struct Directive {
  bool leftAlign = false;
  bool forceSign = false;
  bool spaceSign = false;
  bool zeroPad = false;
  bool alternate = false;
  std::size_t width = 0;
  std::optional<std::size_t> precision;
  char16_t conversion = 0;
};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool StartsWith(std::u16string_view text, std::size_t pos, std::u16string_view prefix) {
  return text.substr(pos, prefix.size()) == prefix;
}

// Reads a run of decimal digits (possibly empty, giving 0).
bool ParseNumber(std::u16string_view format, std::size_t& pos, std::size_t& value) {
  value = 0;
  while (pos < format.size() && IsDigit(format[pos])) {
    value = value * 10 + static_cast<std::size_t>(format[pos] - u'0');
    if (value > kMaxFieldSize) return false;
    ++pos;
  }
  return true;
}

// Arguments carry their own type, so length modifiers only need to be skipped.
void SkipLengthModifier(std::u16string_view format, std::size_t& pos) {
  for (std::u16string_view modifier : {u"I64", u"I32", u"hh", u"ll", u"I", u"h", u"l", u"j", u"z", u"t"}) {
    if (StartsWith(format, pos, modifier)) {
      pos += modifier.size();
      return;
    }
  }
}

// Parses what follows a '%' up to and including the conversion character.
bool ParseConversion(std::u16string_view format, std::size_t& pos, Directive& directive) {
  for (; pos < format.size(); ++pos) {
    const char16_t c = format[pos];
    if (c == u'-')
      directive.leftAlign = true;
    else if (c == u'+')
      directive.forceSign = true;
    else if (c == u' ')
      directive.spaceSign = true;
    else if (c == u'0')
      directive.zeroPad = true;
    else if (c == u'#')
      directive.alternate = true;
    else
      break;
  }
  if (!ParseNumber(format, pos, directive.width)) return false;
  if (pos < format.size() && format[pos] == u'.') {
    ++pos;
    std::size_t precision = 0;
    if (!ParseNumber(format, pos, precision)) return false;
    directive.precision = precision;
  }
  SkipLengthModifier(format, pos);
  if (pos >= format.size()) return false;
  directive.conversion = format[pos++];
  return true;
}

// The argument's bits at the width printf would see: ints and smaller are
// promoted to 32 bits, 64-bit types keep 64.
std::uint64_t PromotedBits(const FormatArgument& argument) {
  const std::uint64_t bits = argument.kind == FormatArgument::Kind::Signed
                                 ? static_cast<std::uint64_t>(argument.signedValue)
                                 : argument.unsignedValue;
  return argument.integerSize <= 4 ? (bits & 0xFFFFFFFFu) : bits;
}

bool IsNegativeWhenSigned(const FormatArgument& argument, std::uint64_t bits) {
  const std::uint64_t signBit = argument.integerSize <= 4 ? (std::uint64_t{1} << 31) : (std::uint64_t{1} << 63);
  return (bits & signBit) != 0;
}

std::uint64_t MagnitudeOfNegative(const FormatArgument& argument, std::uint64_t bits) {
  return argument.integerSize <= 4 ? (std::uint64_t{1} << 32) - bits : std::uint64_t{0} - bits;
}

void AppendPadded(MessageText& out, const Directive& directive, std::u16string_view prefix, std::u16string_view body) {
  const std::size_t length = prefix.size() + body.size();
  const std::size_t padding = directive.width > length ? directive.width - length : 0;
  if (directive.leftAlign) {
    out.append(prefix).append(body).append(padding, u' ');
  } else if (directive.zeroPad) {
    out.append(prefix).append(padding, u'0').append(body);
  } else {
    out.append(padding, u' ').append(prefix).append(body);
  }
}

bool AppendInteger(MessageText& out, Directive directive, const FormatArgument& argument) {
  if (argument.kind == FormatArgument::Kind::Text) return false;

  unsigned base = 10;
  bool isSigned = false;
  bool upperCase = false;
  switch (directive.conversion) {
    case u'd':
    case u'i': isSigned = true; break;
    case u'u': break;
    case u'o': base = 8; break;
    case u'x': base = 16; break;
    case u'X':
      base = 16;
      upperCase = true;
      break;
    default: return false;
  }

  const std::uint64_t bits = PromotedBits(argument);
  std::uint64_t magnitude = bits;
  char16_t sign = 0;
  if (isSigned) {
    if (IsNegativeWhenSigned(argument, bits)) {
      sign = u'-';
      magnitude = MagnitudeOfNegative(argument, bits);
    } else if (directive.forceSign) {
      sign = u'+';
    } else if (directive.spaceSign) {
      sign = u' ';
    }
  }

  const char* digitSet = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
  MessageText digits;
  for (std::uint64_t rest = magnitude; rest != 0; rest /= base) {
    digits.insert(digits.begin(), static_cast<char16_t>(digitSet[rest % base]));
  }
  // "%.0d" of zero prints no digits at all; otherwise at least one.
  const std::size_t minimumDigits = directive.precision ? *directive.precision : 1;
  if (digits.size() < minimumDigits) digits.insert(0, minimumDigits - digits.size(), u'0');
  if (directive.alternate && base == 8 && (digits.empty() || digits[0] != u'0')) digits.insert(0, 1, u'0');

  MessageText prefix;
  if (sign) prefix.push_back(sign);
  if (directive.alternate && base == 16 && magnitude != 0) prefix.append(upperCase ? u"0X" : u"0x");

  // As in printf, a precision or left alignment overrides the zero flag.
  directive.zeroPad = directive.zeroPad && !directive.leftAlign && !directive.precision;
  AppendPadded(out, directive, prefix, digits);
  return true;
}

bool AppendCharacter(MessageText& out, Directive directive, const FormatArgument& argument) {
  if (argument.kind == FormatArgument::Kind::Text) return false;
  const char16_t unit = static_cast<char16_t>(PromotedBits(argument) & 0xFFFFu);
  directive.zeroPad = false;
  AppendPadded(out, directive, {}, std::u16string_view(&unit, 1));
  return true;
}

bool AppendText(MessageText& out, Directive directive, const FormatArgument& argument) {
  if (argument.kind != FormatArgument::Kind::Text) return false;
  std::u16string_view text = argument.text;
  if (directive.precision) text = text.substr(0, *directive.precision);
  directive.zeroPad = false;
  AppendPadded(out, directive, {}, text);
  return true;
}

bool Format(MessageText& out, std::u16string_view format, const FormatArgument* arguments, std::size_t count) {
  std::size_t nextArgument = 0;
  std::size_t pos = 0;
  while (pos < format.size()) {
    const std::size_t percent = format.find(u'%', pos);
    if (percent == std::u16string_view::npos) {
      out.append(format.substr(pos));
      break;
    }
    out.append(format.substr(pos, percent - pos));
    pos = percent + 1;

    Directive directive;
    if (!ParseConversion(format, pos, directive)) return false;
    if (directive.conversion == u'%') {
      out.push_back(u'%');
      continue;
    }
    if (nextArgument >= count || arguments == nullptr) return false;
    const FormatArgument& argument = arguments[nextArgument++];

    bool appended = false;
    switch (directive.conversion) {
      case u's': appended = AppendText(out, directive, argument); break;
      case u'c': appended = AppendCharacter(out, directive, argument); break;
      case u'd':
      case u'i':
      case u'u':
      case u'o':
      case u'x':
      case u'X': appended = AppendInteger(out, directive, argument); break;
      default: appended = false;  // floating point, %n, %p and anything unknown
    }
    if (!appended) return false;
  }
  return true;
}

}  // namespace

bool FormatTextV(MessageText& out, std::u16string_view format, const FormatArgument* arguments, std::size_t count) {
  try {
    // Built aside so that a failure leaves the caller's text as it was.
    MessageText result;
    if (!Format(result, format, arguments, count)) return false;
    out.swap(result);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}
