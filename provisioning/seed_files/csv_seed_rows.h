// Reading the CSV seed files back: each row's serial number and seed text,
// for the checks that a serial is new and that a seed is not given twice.
// Streams in blocks, in constant memory whatever the file's size.
#pragma once

#include <functional>
#include <string_view>

#include "files/byte_source.h"
#include "text/code_page.h"

// `serial` and `seed` live during the call only. A serial field is read as
// RFC 4180 writes it; rows of older tools, whose fields were never quoted,
// are read from their fixed end (the seed, and in tseeds.csv the interval,
// manufacturer and model), so a comma in a user name or an old serial does
// not shift the serial. Rows with too few fields and the header are skipped.
using CsvSeedRowFound = std::function<void(std::u16string_view serial, std::u16string_view seed)>;

// The file is read in its own encoding (seed_file_encoding.h), `codePage`
// being the ANSI code page; the serial and seed come trimmed, as a server
// compares them. False when a read failed. `totp` tells tseeds.csv's columns
// from hseeds.csv's.
bool ReadCsvSeedRows(ByteSource& in, bool totp, CodePage codePage, const CsvSeedRowFound& found);
