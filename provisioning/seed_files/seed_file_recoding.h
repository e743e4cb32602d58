// A seed file's bytes in the one encoding each reader scans: UTF-8 for the
// XML reader, UTF-16LE for the CSV reader. Files in those encodings are read
// as they are; only files in another one come through here.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "files/byte_source.h"
#include "provisioning/seed_files/seed_file_encoding.h"
#include "text/code_page.h"

class RecodingSource final : public ByteSource {
 public:
  // `in` holds text in `from` (its byte-order mark, if any, already passed);
  // `toUtf8`: UTF-8 out, else UTF-16LE. `codePage` is the ANSI code page for
  // SeedTextEncoding::CodePage. A line that is not valid text in `from`
  // comes out empty, its line end kept.
  RecodingSource(ByteSource& in, SeedTextEncoding from, bool toUtf8, CodePage codePage);
  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override;

 private:
  // Converts what `pending_` holds into `out_`, all of it at the end.
  void Convert(bool end);

  ByteSource& in_;
  SeedTextEncoding from_;
  bool toUtf8_;
  CodePage codePage_;
  std::string pending_;  // read, not converted yet
  std::string out_;      // converted, not handed out yet
  std::size_t outAt_ = 0;
  bool end_ = false;
  bool skippingLine_ = false;  // inside a line too long to be a row
};
