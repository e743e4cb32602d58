// "Generate" for the serial number: a serial that no token has yet, neither
// in the seed files nor on the key, so that a server never sees one twice.
#pragma once

#include <functional>
#include <string>
#include <vector>

// For each candidate, whether it is taken.
using SerialsTakenCheck = std::function<std::vector<bool>(const std::vector<std::string>& candidates)>;

// Draws a batch of serials with `draw` (which writes 13 characters, no
// terminator, or fails), asks `taken` once per batch and keeps the first free
// one. After a few batches of taken serials, keeps the last one drawn, as
// before. Writes the serial and a terminator into buffer[0..13]; false when
// `draw` failed.
bool DrawUnusedSerial(const std::function<bool(char*)>& draw, const SerialsTakenCheck& taken, char* buffer);
