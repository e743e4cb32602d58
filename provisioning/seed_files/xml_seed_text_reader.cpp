#include "provisioning/seed_files/xml_seed_text_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "provisioning/seed_files/byte_scan.h"
#include "provisioning/seed_files/seed_file_encoding.h"
#include "provisioning/seed_files/seed_file_recoding.h"
#include "provisioning/seed_files/seed_text.h"
#include "provisioning/seed_files/xml_references.h"
#include "provisioning/seed_files/xml_seed_layout.h"

namespace {

// A serial the key can hold has at most 63 bytes, a seed 64 digits; written
// with references a serial is at most six times longer. A longer text is none.
constexpr std::size_t kMaxText = 63 * 6;
// The tool writes "<serial>"; a start tag longer than this (attributes
// without end, a "<serial " and no '>') is passed over rather than held
// whole, so that memory stays bounded whatever the file holds.
constexpr std::size_t kMaxTag = 1024;

// '<' and the letters all the names begin with.
std::string SharedOpening(const std::vector<std::string_view>& names) {
  std::string_view shared = names.empty() ? std::string_view() : names.front();
  for (const std::string_view name : names) {
    std::size_t same = 0;
    while (same < shared.size() && same < name.size() && shared[same] == name[same]) ++same;
    shared = shared.substr(0, same);
  }
  return "<" + std::string(shared);
}

struct NamedTag {
  std::size_t name;   // its index in the names
  std::size_t after;  // where the byte after the name is
};

// The name of the tag at `tag`, when it is one of `names` followed by '>',
// '/' or white space.
std::optional<NamedTag> NameAt(std::string_view view, std::size_t tag, const std::vector<std::string_view>& names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::size_t after = tag + 1 + names[i].size();
    if (after < view.size() && view.compare(tag + 1, names[i].size(), names[i]) == 0 &&
        (view[after] == '>' || view[after] == '/' || IsXmlSpace(view[after]))) {
      return NamedTag{i, after};
    }
  }
  return std::nullopt;
}

// Whether the last bytes, but for white space, are the root's closing tag.
bool EndsWithRootClose(std::string_view tail) {
  while (!tail.empty() && IsXmlSpace(tail.back())) tail.remove_suffix(1);
  const std::string_view close = kXmlRootClose;
  return tail.size() >= close.size() && tail.substr(tail.size() - close.size()) == close;
}

constexpr std::string_view kCdataOpen = "<![CDATA[";
constexpr std::string_view kCdataClose = "]]>";

// An element's text from `text` on, as a parser gives it: its character
// data with references decoded and its CDATA sections, up to other markup.
struct ElementText {
  std::string_view text;                      // in `view`, or in the buffers
  std::size_t stop = std::string_view::npos;  // the markup after it; npos: the bytes end first
  // Where the scan goes on: at `stop`, or at the first CDATA section, whose
  // bytes are scanned too, so that a "<![CDATA[" inside a comment or an
  // instruction cannot hide the serials after it.
  std::size_t resume = std::string_view::npos;
};
inline ElementText ReadElementText(std::string_view view, std::size_t text, bool end, std::string& decoded,
                                   std::string& joined) {
  ElementText read;
  const char* const viewEnd = view.data() + view.size();
  std::size_t at = text;
  std::size_t stop = static_cast<std::size_t>(FindAnyOf(view.data() + at, viewEnd, "<") - view.data());
  // Nearly every text: plain, whole, ended by its closing tag.
  if (stop + 1 < view.size() && view[stop + 1] == '/') {
    read.text = DecodeXmlText(view.substr(at, stop - at), decoded);
    read.stop = read.resume = stop;
    return read;
  }
  const bool cdata = stop < view.size() && view.compare(stop, kCdataOpen.size(), kCdataOpen) == 0;
  const bool maybeCdata = !end && stop < view.size() && view.size() - stop < kCdataOpen.size() &&
                          kCdataOpen.substr(0, view.size() - stop) == view.substr(stop);
  if (!cdata && !maybeCdata) {
    read.text = DecodeXmlText(view.substr(at, stop - at), decoded);
    read.stop = read.resume = stop == view.size() ? std::string_view::npos : stop;
    return read;
  }
  read.resume = stop;
  joined.clear();
  for (;;) {
    joined.append(DecodeXmlText(view.substr(at, stop - at), decoded));
    read.text = joined;
    if (stop == view.size()) return read;
    if (view.compare(stop, kCdataOpen.size(), kCdataOpen) != 0) {
      if (!end && view.size() - stop < kCdataOpen.size()) return read;  // perhaps a section cut off
      read.stop = stop;
      return read;  // resumes at the first section
    }
    // A section that does not close within a serial's length is none: the
    // text ends before it and the scan goes on inside it, so that it cannot
    // hide the serials after it.
    const std::size_t close = view.find(kCdataClose, stop + kCdataOpen.size());
    if (close == std::string_view::npos || close - text > kMaxText) {
      if (close == std::string_view::npos && !end && view.size() - text <= kMaxText) return read;
      read.stop = stop;
      if (read.resume > stop) read.resume = stop;
      return read;
    }
    joined.append(view.substr(stop + kCdataOpen.size(), close - stop - kCdataOpen.size()));
    at = close + kCdataClose.size();
    stop = static_cast<std::size_t>(FindAnyOf(view.data() + at, viewEnd, "<") - view.data());
  }
}

XmlSeedTextScan ReadUtf8Texts(ByteSource& in, const std::vector<std::string_view>& names,
                              const XmlSeedTextFound& found) {
  const std::string open = SharedOpening(names);
  std::size_t longest = 0;
  for (const std::string_view name : names) longest = std::max(longest, name.size());
  std::string decoded;
  std::string joined;
  // As a server compares it: trimmed.
  const auto report = [&](std::size_t name, std::string_view text, bool closed) {
    found(name, TrimWhiteSpaceUtf8(text), closed);
  };

  // Small enough that a block read is still in the processor's cache when
  // it is scanned.
  constexpr std::size_t kBlock = 256 << 10;
  constexpr std::size_t kTailBytes = 64;
  XmlSeedTextScan scan;
  std::string tail;  // the last bytes read, for the root's closing tag
  // What is left of the last block, then the new one, read in place; grown
  // only for a tag whose end is not in sight.
  std::size_t capacity = kBlock;
  std::unique_ptr<char[]> buffer(new char[capacity]);
  std::size_t kept = 0;
  for (;;) {
    if (capacity - kept < kBlock) {
      std::unique_ptr<char[]> larger(new char[kept + kBlock]);
      std::memcpy(larger.get(), buffer.get(), kept);
      buffer = std::move(larger);
      capacity = kept + kBlock;
    }
    const std::optional<std::size_t> got = in.Read(buffer.get() + kept, kBlock);
    if (!got) return scan;
    const bool end = *got == 0;
    const std::string_view view(buffer.get(), kept + *got);
    const std::size_t fresh = std::min<std::size_t>(*got, kTailBytes);
    tail.append(view.substr(view.size() - fresh));
    if (tail.size() > kTailBytes) tail.erase(0, tail.size() - kTailBytes);
    // A tag may begin in the last bytes; an element whose text does not end
    // here yet is read again with the next block.
    std::size_t keepFrom = view.size() > open.size() ? view.size() - open.size() : 0;
    std::size_t at = 0;
    while (at < view.size()) {
      const char* hit = FindText(view.data() + at, view.data() + view.size(), open);
      if (hit == view.data() + view.size()) break;
      const std::size_t tag = static_cast<std::size_t>(hit - view.data());
      if (!end && tag + longest + 2 > view.size()) {  // '<', the name and the byte after it
        keepFrom = std::min(keepFrom, tag);
        break;
      }
      const std::optional<NamedTag> name = NameAt(view, tag, names);
      if (!name) {
        at = tag + open.size();  // another name that begins so
        continue;
      }
      std::size_t text = name->after + 1;
      if (view[name->after] != '>') {
        const std::size_t close = view.find('>', name->after);
        if (close == std::string_view::npos || close - tag > kMaxTag) {
          if (close != std::string_view::npos || view.size() - tag > kMaxTag) {
            at = name->after;  // no tag the tool writes: passed over
            continue;
          }
          if (!end) keepFrom = std::min(keepFrom, tag);
          break;
        }
        if (view[close - 1] == '/') {  // "<serial/>": an empty text
          found(name->name, {}, true);
          at = close + 1;
          continue;
        }
        text = close + 1;
      }
      const ElementText read = ReadElementText(view, text, end, decoded, joined);
      const std::size_t stop = read.stop == std::string_view::npos ? view.size() : read.stop;
      if (read.stop == std::string_view::npos) {
        if (end) {
          if (stop - text <= kMaxText) report(name->name, read.text, false);
        } else if (view.size() - text <= kMaxText) {
          keepFrom = std::min(keepFrom, tag);
        }
        break;
      }
      if (stop - text <= kMaxText) report(name->name, read.text, true);
      at = read.resume;
    }
    if (end) {
      scan.read = true;
      scan.endsWithRootClose = EndsWithRootClose(tail);
      return scan;
    }
    kept = view.size() - keepFrom;
    std::memmove(buffer.get(), view.data() + keepFrom, kept);
  }
}

}  // namespace

XmlSeedTextScan ReadXmlSeedTexts(ByteSource& in, const std::vector<std::string_view>& names,
                                 const XmlSeedTextFound& found) {
  HeadSource head(in);
  const SeedFileEncoding encoding = XmlSeedFileEncoding(head.Head());
  switch (encoding.text) {
    case SeedTextEncoding::Utf16Le:
    case SeedTextEncoding::Utf16Be:
    case SeedTextEncoding::Latin1: {
      head.Skip(encoding.byteOrderMark);
      RecodingSource utf8(head, encoding.text, true, 0);
      return ReadUtf8Texts(utf8, names, found);
    }
    default:
      // UTF-8, or bytes as an older tool wrote them: read as they stand.
      return ReadUtf8Texts(head, names, found);
  }
}
