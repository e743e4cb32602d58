// The names of the seed export files beside the program, in one place.
#pragma once

inline constexpr char kHotpXmlFile[] = "hseeds.xml";
inline constexpr char kHotpCsvFile[] = "hseeds.csv";
inline constexpr char kTotpXmlFile[] = "tseeds.xml";
inline constexpr char kTotpCsvFile[] = "tseeds.csv";

struct SeedFileName {
  const char* name;
  bool totp;
  bool csv;
};

// All four: a server that imports them all sees every serial in any of them.
inline constexpr SeedFileName kSeedFileNames[] = {
    {kHotpXmlFile, false, false},
    {kHotpCsvFile, false, true},
    {kTotpXmlFile, true, false},
    {kTotpCsvFile, true, true},
};
