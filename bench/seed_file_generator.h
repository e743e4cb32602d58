// Writes hseeds.xml in the tool's own layout with `tokens` HOTP tokens, built
// directly and written in pieces, so that even a file of several GB is quick
// to prepare. Both benchmarks start from the same file.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

// `totp` writes tseeds.xml's header instead; serials count up from
// "0000" followed by `firstSerial`.
inline bool WriteSeedFile(const std::filesystem::path& file, long tokens, bool totp = false,
                          long firstSerial = 100000000) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << "<?xml version=\"1.0\"?>\n<data>\n\t<header>\n\t\t<manufacturerCode>VT</manufacturerCode>\n"
      << (totp ? "\t\t<productCode>CT</productCode>\n\t\t<encode>HEX</encode>\n\t\t<timeWindow>30</timeWindow>\n"
               : "\t\t<productCode>CE</productCode>\n\t\t<encode>HEX</encode>\n")
      << "\t\t<encrypt>NONE</encrypt>\n\t</header>\n\t<tokens>\n";
  std::string piece;
  char serial[32];
  for (long i = 0; i < tokens; ++i) {
    std::snprintf(serial, sizeof serial, "0000%09ld", firstSerial + i);
    piece += "\t\t<token>\n\t\t\t<crypto>HmacSHA1</crypto>\n\t\t\t<digits>6</digits>\n\t\t\t<serial>";
    piece += serial;
    piece += "</serial>\n\t\t\t<seed>3132333435363738393031323334353637383930</seed>\n\t\t</token>\n";
    if (piece.size() > (1 << 20)) {
      out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
      piece.clear();
    }
  }
  piece += "\t</tokens>\n</data>\n";
  out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  return static_cast<bool>(out);
}
