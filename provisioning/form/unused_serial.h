// "Generate" for the serial number: a serial that no token has yet, neither
// in the seed files nor on the key, so that a server never sees one twice.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "provisioning/seed_files/files/file_io.h"
#include "provisioning/seed_files/seed_file_serials.h"
#include "vendor/token_library.h"

// For each candidate, whether it is taken.
using SerialsTakenCheck = std::function<std::vector<bool>(const std::vector<std::string>& candidates)>;

// Draws a batch of serials with `draw` (which writes 13 characters, no
// terminator, or fails), asks `taken` once per batch and keeps the first free
// one. After a few batches of taken serials, keeps the last one drawn, as
// before. Writes the serial and a terminator into buffer[0..13]; false when
// `draw` failed.
bool DrawUnusedSerial(const std::function<bool(char*)>& draw, const SerialsTakenCheck& taken, char* buffer);

// The serials of hseeds.xml and tseeds.xml in one folder, kept between the
// clicks of a form and read again only when a file changed: another writer
// shows in its size, time or identity.
class SeedFileSerialCache {
 public:
  explicit SeedFileSerialCache(std::filesystem::path seedFolder) : folder_(std::move(seedFolder)) {}

  // The serials the file holds, read again if it changed since; none when
  // it cannot be read. Valid until the next call for the same file.
  const SerialSet& Serials(const char* fileName);
  // Whether the file holds `serial`; false also when it cannot be read.
  bool Holds(const char* fileName, const std::string& serial) { return Serials(fileName).Contains(serial); }
  // How many times a file was read, for tests.
  int Reads() const { return reads_; }

 private:
  struct File {
    FileStamp stamp;
    bool read = false;
    SerialSet serials;
  };

  std::filesystem::path folder_;
  std::map<std::string, File> files_;
  int reads_ = 0;
};

// Taken: in hseeds.xml or tseeds.xml in `seedFolder`, or on the key's token
// list. What cannot be read (a file, the key) takes nothing away.
std::vector<bool> SerialsInUse(const std::filesystem::path& seedFolder, ITokenLibrary& library,
                               const std::vector<std::string>& candidates);
std::vector<bool> SerialsInUse(SeedFileSerialCache& files, ITokenLibrary& library,
                               const std::vector<std::string>& candidates);

// Where a serial that "Save" is about to use is taken already: the key lists
// a token with it (saving would replace that token), or the XML seed file of
// its algorithm holds it (the server would get two seeds for one serial).
enum class SerialUse { Free, OnKey, InSeedFile };
SerialUse FindSerialUse(SeedFileSerialCache& files, const char* xmlFileName, ITokenLibrary& library,
                        const std::string& serial);
