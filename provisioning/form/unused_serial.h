// "Generate" for the serial number: a serial that no token has yet, neither
// in the seed files nor on the key, so that a server never sees one twice.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "files/file_io.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/seed_file_cache.h"
#include "provisioning/seed_files/seed_file_names.h"
#include "provisioning/seed_files/seed_file_serials.h"
#include "text/message_text.h"
#include "vendor/token_library.h"

// For each candidate, whether it is taken.
using SerialsTakenCheck = std::function<std::vector<bool>(const std::vector<std::string>& candidates)>;

// Draws a batch of serials with `draw` (which writes 13 characters, no
// terminator, or fails), asks `taken` once per batch and keeps the first free
// one. After a few batches of taken serials, keeps the last one drawn, as
// before. Writes the serial and a terminator into buffer[0..13]; false when
// `draw` failed.
bool DrawUnusedSerial(const std::function<bool(char*)>& draw, const SerialsTakenCheck& taken, char* buffer);

// The serials of the four seed files in one folder, as the process's cache
// keeps them: read again only when a file changed, whoever changed it.
class SeedFileSerialCache {
 public:
  // `shared`: the process's cache; none: one of its own, for this object's life.
  explicit SeedFileSerialCache(std::filesystem::path seedFolder, SeedFileCache* shared = nullptr)
      : folder_(std::move(seedFolder)), cache_(shared ? *shared : own_) {}

  const std::filesystem::path& Folder() const { return folder_; }
  // The serials the file (one of kSeedFileNames) holds; none when it cannot
  // be read. Valid until the next call for the same file.
  const SerialSet& Serials(const SeedFileName& file) { return cache_.Serials(folder_, file, files_); }
  // How many times a file was read, for tests.
  int Reads() const { return cache_.Reads(); }

 private:
  std::filesystem::path folder_;
  SeedFileCache own_;
  SeedFileCache& cache_;
  SeedFileAccess files_;
};

// Taken: in any of the four seed files in the cache's folder, in a save's
// record not settled yet, or on the key's token list. What cannot be read
// (a file, the key) takes nothing away.
std::vector<bool> SerialsInUse(SeedFileSerialCache& files, ITokenLibrary& library,
                               const std::vector<std::string>& candidates);
std::vector<bool> SerialsInUse(const std::filesystem::path& seedFolder, ITokenLibrary& library,
                               const std::vector<std::string>& candidates);

// Where a serial that "Save" is about to use is taken already, as a server
// that imports all four seed files would see it: the key lists a token with
// it (saving would replace that token), a seed file holds it (the server
// would get two seeds for one serial), or a save's record that is not
// settled yet will put it into the seed files.
struct SerialUse {
  enum class Place { Free, OnKey, InSeedFile, InRecord } place = Place::Free;
  std::string where;  // the seed file's or the record's name
};
// `bytes` is the serial in the key's code page, `text` as typed: an XML file
// may hold it in UTF-8 or in that code page, a CSV file in UTF-16.
SerialUse FindSerialUse(SeedFileSerialCache& files, bool totp, ITokenLibrary& library, const std::string& bytes,
                        const MessageText& text);
