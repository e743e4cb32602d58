// "Generate" for the serial number: a serial that no token has yet, neither
// in the seed files nor on the key, so that a server never sees one twice.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "vendor/token_library.h"

// For each candidate, whether it is taken.
using SerialsTakenCheck = std::function<std::vector<bool>(const std::vector<std::string>& candidates)>;

// Draws a batch of serials with `draw` (which writes 13 characters, no
// terminator, or fails), asks `taken` once per batch and keeps the first free
// one. After a few batches of taken serials, keeps the last one drawn, as
// before. Writes the serial and a terminator into buffer[0..13]; false when
// `draw` failed.
bool DrawUnusedSerial(const std::function<bool(char*)>& draw, const SerialsTakenCheck& taken,
                      char* buffer);

// Taken: in hseeds.xml or tseeds.xml in `seedFolder`, or on the key's token
// list. What cannot be read (a file, the key) takes nothing away.
std::vector<bool> SerialsInUse(const std::filesystem::path& seedFolder, ITokenLibrary& library,
                               const std::vector<std::string>& candidates);

// Where a serial that "Save" is about to use is taken already: the key lists
// a token with it (saving would replace that token), or the XML seed file of
// its algorithm holds it (the server would get two seeds for one serial).
enum class SerialUse { Free, OnKey, InSeedFile };
SerialUse FindSerialUse(const std::filesystem::path& seedFolder, const char* xmlFileName, ITokenLibrary& library,
                        const std::string& serial);
