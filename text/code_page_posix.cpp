// Code-page conversions where there are no Windows code pages: the ANSI code
// pages stand for the locale's character set, numbered pages go through iconv.
#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "text/code_page.h"

namespace {

constexpr CodePage kUtf8CodePage = 65001;

// Windows code pages whose iconv name is not simply "CP<number>".
struct NamedCodePage {
  CodePage codePage;
  const char* iconvName;
};
constexpr NamedCodePage kNamedCodePages[] = {
    {kUtf8CodePage, "UTF-8"}, {65000, "UTF-7"},       {20127, "ASCII"},      {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},    {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},    {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"},   {28605, "ISO-8859-15"}, {20866, "KOI8-R"},     {21866, "KOI8-U"},
    {10000, "MACINTOSH"},     {54936, "GB18030"},     {51932, "EUC-JP"},     {51949, "EUC-KR"},
    {50220, "ISO-2022-JP"},
};

std::string IconvName(CodePage codePage) {
  if (codePage == kProcessAnsiCodePage || codePage == kThreadAnsiCodePage) {
    return nl_langinfo(CODESET);
  }
  for (const NamedCodePage& named : kNamedCodePages) {
    if (named.codePage == codePage) return named.iconvName;
  }
  return "CP" + std::to_string(codePage);
}

class IconvHandle {
 public:
  IconvHandle(const std::string& to, const std::string& from) : handle_(iconv_open(to.c_str(), from.c_str())) {}
  ~IconvHandle() {
    if (valid()) iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

// Converts all of `input` and then returns the converter to its initial shift
// state (needed by stateful encodings such as ISO-2022-JP). The output buffer
// grows as needed, so nothing is ever cut off.
std::optional<std::vector<char>> Convert(const std::string& to, const std::string& from, const char* input,
                                         std::size_t inputSize) {
  IconvHandle converter(to, from);
  if (!converter.valid()) return std::nullopt;

  std::vector<char> output(inputSize * 2 + 16);
  std::size_t produced = 0;
  char* in = const_cast<char*>(input);  // iconv's signature; it does not write the input
  std::size_t inLeft = inputSize;
  bool flushed = false;
  while (!flushed) {
    char* out = output.data() + produced;
    std::size_t outLeft = output.size() - produced;
    const bool flushing = inLeft == 0;
    const std::size_t result = flushing ? iconv(converter.get(), nullptr, nullptr, &out, &outLeft)
                                        : iconv(converter.get(), &in, &inLeft, &out, &outLeft);
    produced = output.size() - outLeft;
    if (result != static_cast<std::size_t>(-1)) {
      flushed = flushing;
      continue;
    }
    if (errno != E2BIG) return std::nullopt;  // invalid or incomplete input
    output.resize(output.size() * 2);
  }
  output.resize(produced);
  return output;
}

}  // namespace

CodePage FixedCodePage(CodePage codePage) { return codePage; }

std::optional<MessageText> WidenText(const char* text, CodePage codePage) {
  if (text == nullptr) return std::nullopt;
  try {
    const auto bytes = Convert("UTF-16LE", IconvName(codePage), text, std::strlen(text));
    if (!bytes) return std::nullopt;
    MessageText wide;
    wide.reserve(bytes->size() / 2);
    for (std::size_t i = 0; i + 1 < bytes->size(); i += 2) {
      const auto low = static_cast<unsigned char>((*bytes)[i]);
      const auto high = static_cast<unsigned char>((*bytes)[i + 1]);
      wide.push_back(static_cast<char16_t>(low | (high << 8)));
    }
    return wide;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<std::string> NarrowText(const char16_t* text, CodePage codePage) {
  if (text == nullptr) return std::nullopt;
  try {
    std::string utf16;
    for (const char16_t* unit = text; *unit != 0; ++unit) {
      utf16.push_back(static_cast<char>(*unit & 0xFF));
      utf16.push_back(static_cast<char>(*unit >> 8));
    }
    const auto bytes = Convert(IconvName(codePage), "UTF-16LE", utf16.data(), utf16.size());
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}
