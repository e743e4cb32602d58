// Which serial numbers an XML seed file already holds, for drawing a serial
// that is new. The scan is tolerant and streams in constant memory: any
// `<serial>` element's text counts, wherever it stands, so a foreign file
// can only make a serial look taken, never hide one the tool wrote.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "provisioning/files/byte_source.h"

// Sets found[i] for every candidates[i] that is the text of a `serial`
// element in the bytes (entities decoded). False when a read failed.
bool FindSerials(ByteSource& in, const std::vector<std::string>& candidates, std::vector<bool>& found);

// The same for a file; a missing file holds no serial. False when the file
// exists but cannot be read.
bool FindSerialsInFile(const std::filesystem::path& file, const std::vector<std::string>& candidates,
                       std::vector<bool>& found);
