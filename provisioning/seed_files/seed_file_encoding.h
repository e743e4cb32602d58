// The one place that tells which encoding a seed file is in, from its first
// bytes, as a server reading it would: the readers decode by it and the
// appends write in it, so that a file is read and extended alike and never
// turned into another encoding.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "files/byte_source.h"

enum class SeedTextEncoding {
  Utf8,     // also what the tool writes to XML (texts of older tools in the ANSI code page)
  Utf16Le,  // what the tool writes to CSV, without a byte-order mark
  Utf16Be,
  CodePage,  // CSV: the ANSI code page
  Latin1,    // XML: declared ISO-8859-1
  Other,     // XML: a declared encoding the tool neither converts nor writes, or UTF-32
};

struct SeedFileEncoding {
  SeedTextEncoding text = SeedTextEncoding::Utf8;
  std::size_t byteOrderMark = 0;  // its length in bytes, 0 for none
  std::string declared;           // XML: the encoding its declaration names, as written
};

// How many first bytes decide: enough for any declaration, and for a CSV
// file's first rows to tell UTF-8 from the code page.
inline constexpr std::size_t kEncodingHeadBytes = 64 * 1024;

// An XML seed file by its byte-order mark, else by how its first '<' is
// written (UTF-16 without a mark), else by its declaration; with neither,
// as the tool writes it. `head`: the first bytes, up to kEncodingHeadBytes.
SeedFileEncoding XmlSeedFileEncoding(std::string_view head);

// A CSV seed file by its byte-order mark; without one, UTF-16 when its first
// character has a zero byte (an empty file too: the tool's own files are
// UTF-16LE without a mark), else UTF-8 when the bytes are well-formed UTF-8,
// else the ANSI code page. `whole`: `head` is the whole file.
SeedFileEncoding CsvSeedFileEncoding(std::string_view head, bool whole);

// Whether an append writes the XML file byte for byte in its own encoding.
bool XmlEncodingWritable(const SeedFileEncoding& encoding);

// A source whose first bytes are read ahead, to be looked at before the
// whole is read from the start (or from past a byte-order mark).
class HeadSource final : public ByteSource {
 public:
  // Reads up to kEncodingHeadBytes; `Read()` then fails if that read did.
  explicit HeadSource(ByteSource& in);
  const std::string& Head() const { return head_; }
  // The head held the whole source.
  bool Whole() const { return whole_; }
  // Drops the first `count` bytes of the head (a byte-order mark).
  void Skip(std::size_t count) { offset_ = count; }
  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override;

 private:
  ByteSource& in_;
  std::string head_;
  std::size_t offset_ = 0;
  bool whole_ = false;
  bool failed_ = false;
};
