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

// The CSV file of the same tokens (UTF-16LE, CRLF): hseeds.csv rows
// "serial,seed" in lower-case hexadecimal, or tseeds.csv rows with an empty
// user name, the seed in Base32 and a 30-second interval.
inline bool WriteCsvSeedFile(const std::filesystem::path& file, long tokens, bool totp = false,
                             long firstSerial = 100000000) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  std::string text =
      totp ? "UPN, Serial Number, Secret Key, Time Interval, Manufacturer, Model\r\n" : "Serial Number, Secret Key\r\n";
  std::string piece;
  char row[160];
  const auto flush = [&](bool last) {
    if (!last && text.size() < (1 << 19)) return;
    piece.clear();
    for (const char c : text) piece += {c, '\0'};
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    text.clear();
  };
  for (long i = 0; i < tokens; ++i) {
    if (totp) {
      std::snprintf(row, sizeof row, ",0000%09ld,GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ,30,Velthor Security,Corvane\r\n",
                    firstSerial + i);
    } else {
      std::snprintf(row, sizeof row, "0000%09ld,3132333435363738393031323334353637383930\r\n", firstSerial + i);
    }
    text += row;
    flush(false);
  }
  flush(true);
  return static_cast<bool>(out);
}
