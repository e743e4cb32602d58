#include "provisioning/seed_files/xml_seed_stream.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "provisioning/seed_files/xml_seed_layout.h"
#include "provisioning/seed_files/xml_seed_layout_scanner.h"

namespace {

class StringWriter final : public pugi::xml_writer {
 public:
  void write(const void* data, size_t size) override { bytes.append(static_cast<const char*>(data), size); }
  std::string bytes;
};

// Blocks small enough that a block read, checked and written stays in the
// processor's cache (a block of several MiB is read back from memory for
// each step, which made the whole append twice as slow), and large enough
// that each read and write moves a good amount. The buffer only grows for a
// line longer than it; a line longer than the largest is not the layout.
constexpr std::size_t kBlockSize = 256 * 1024;
constexpr std::size_t kLargestBlock = 4 * 1024 * 1024;

}  // namespace

std::string XmlTokenElementBytes(const XmlSeedToken& token) {
  // pugixml itself writes the token, so its escaping cannot differ from the
  // rewrite's: two levels deep, as inside data/tokens.
  pugi::xml_document document;
  if (!AppendTokenElement(document, token)) throw std::bad_alloc();
  StringWriter writer;
  document.first_child().print(writer, "\t", pugi::format_indent, pugi::encoding_utf8, 2);
  return writer.bytes;
}

XmlStreamOutcome StreamTokenIntoXml(ByteSource& in, bool totp, const XmlSeedToken& token, ByteSink& out) {
  using Status = XmlStreamOutcome::Status;
  XmlStreamOutcome outcome;
  const auto stop = [&](Status status) {
    outcome.status = status;
    return outcome;
  };
  // The token's bytes are made where they go in, once the bytes before them
  // tell the file's encoding (after the tokens only the root's end follows).
  Utf8Check fileBytes;
  std::string tokenBytes;
  const auto encodeToken = [&] {
    XmlTokenInFileEncoding encoded = InFileEncoding(token, fileBytes);
    if (!encoded.token) {
      outcome.reason = std::move(encoded.refusal);
      return false;
    }
    tokenBytes = XmlTokenElementBytes(*encoded.token);
    return true;
  };

  XmlLayoutScanner scanner(totp);
  std::vector<char> bytes(kBlockSize);
  char* buffer = bytes.data();
  std::size_t filled = 0;  // bytes in the buffer
  for (;;) {
    const std::optional<std::size_t> got = in.Read(buffer + filled, bytes.size() - filled);
    if (!got) return stop(Status::SourceFailed);
    if (*got == 0) break;
    fileBytes.Feed(std::string_view(buffer + filled, *got));
    filled += *got;

    // Every whole line in the buffer is checked; the checked bytes not yet
    // written run from `copied` to `next`.
    std::size_t copied = 0;
    std::size_t next = 0;
    for (;;) {
      next += scanner.PlainTokens(std::string_view(buffer + next, filled - next));
      const void* end = std::memchr(buffer + next, '\n', filled - next);
      if (!end) break;
      const std::size_t lineEnd = static_cast<const char*>(end) - buffer;
      const std::string_view line(buffer + next, lineEnd - next);
      switch (scanner.Next(line)) {
        case XmlLayoutLine::Invalid: return stop(Status::NotInLayout);
        case XmlLayoutLine::Plain: break;
        case XmlLayoutLine::EmptyTokens:
          if (!encodeToken()) return stop(Status::Refused);
          if (!out.Write(buffer + copied, next - copied) || !out.Write("\t<tokens>\n", 10) ||
              !out.Write(tokenBytes.data(), tokenBytes.size()) || !out.Write("\t</tokens>\n", 11)) {
            return stop(Status::SinkFailed);
          }
          copied = lineEnd + 1;
          break;
        case XmlLayoutLine::TokensEnd:
          if (!encodeToken()) return stop(Status::Refused);
          if (!out.Write(buffer + copied, next - copied) || !out.Write(tokenBytes.data(), tokenBytes.size())) {
            return stop(Status::SinkFailed);
          }
          copied = next;
          break;
      }
      if (scanner.EmptyPair()) {
        // "\t\t\t<name></name>" becomes "\t\t\t<name />", as the rewrite has it.
        const std::string_view start = line.substr(0, line.find('>'));
        if (!out.Write(buffer + copied, next - copied) || !out.Write(start.data(), start.size()) ||
            !out.Write(" />", 3)) {
          return stop(Status::SinkFailed);
        }
        copied = lineEnd;
      }
      next = lineEnd + 1;
    }
    if (next == 0 && filled == bytes.size()) {
      // A line longer than the buffer.
      if (bytes.size() == kLargestBlock) return stop(Status::NotInLayout);
      bytes.resize(bytes.size() * 2);
      buffer = bytes.data();
      continue;
    }
    if (!out.Write(buffer + copied, next - copied)) return stop(Status::SinkFailed);
    std::memmove(buffer, buffer + next, filled - next);
    filled -= next;
  }
  // The last line must end with LF, like every other.
  if (filled != 0 || !scanner.Complete()) return stop(Status::NotInLayout);
  return outcome;
}
