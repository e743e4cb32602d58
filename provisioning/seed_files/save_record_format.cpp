#include "provisioning/seed_files/save_record_format.h"

#include <algorithm>
#include <sstream>
#include <system_error>

#include <pugixml.hpp>

#include "provisioning/seed_files/seed_file_names.h"
#include "text/hex_text.h"
#include "text/unicode_text.h"

namespace {

// A record holds one token in a few hundred bytes; anything much larger is
// not one and is never read whole.
constexpr std::uint64_t kLargestRecord = 64 * 1024;

std::string HexOf(const std::string& bytes) {
  return HexText(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), true);
}

// The bytes that HexOf wrote.
std::optional<std::string> BytesOfHex(const std::string& hex) {
  const std::optional<std::vector<std::uint8_t>> bytes = BytesFromHex(hex);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

}  // namespace

std::string PendingSaveXml(const PendingSave& save) {
  const ExportedToken& token = save.token;
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("pendingSave");
  const auto add = [&](const char* name, const std::string& text) {
    root.append_child(name).append_child(pugi::node_pcdata).set_value(text.c_str());
  };
  add("key", HexOf(save.keySerial));
  add("algorithm", token.totp ? "TOTP" : "HOTP");
  add("hash", token.sha256 ? "SHA-256" : "SHA-1");
  add("digits", std::to_string(token.digits));
  add("interval", std::to_string(token.interval));
  add("serial", HexOf(token.serial));
  add("seed", HexText(token.seed.data(), token.seed.size(), true));
  add("userName", HexOf(Utf16LittleEndianBytes(token.userName)));
  std::ostringstream text;
  document.save(text, "\t", pugi::format_indent);
  return text.str();
}

std::optional<PendingSave> PendingSaveFromXml(const std::string& bytes) {
  pugi::xml_document document;
  if (!document.load_buffer(bytes.data(), bytes.size())) return std::nullopt;
  const pugi::xml_node root = document.child("pendingSave");
  const auto text = [&](const char* name) { return std::string(root.child(name).child_value()); };
  PendingSave save;
  ExportedToken& token = save.token;
  const std::optional<std::string> key = BytesOfHex(text("key"));
  const std::optional<std::string> serial = BytesOfHex(text("serial"));
  const std::optional<std::string> seed = BytesOfHex(text("seed"));
  const std::optional<std::string> userName = BytesOfHex(text("userName"));
  const std::string algorithm = text("algorithm"), hash = text("hash"), digits = text("digits"),
                    interval = text("interval");
  if (!root || !key || !serial || serial->empty() || !seed || !userName || userName->size() % 2 != 0 ||
      (algorithm != "HOTP" && algorithm != "TOTP") || (hash != "SHA-1" && hash != "SHA-256") ||
      (digits != "6" && digits != "8") || (interval != "30" && interval != "60")) {
    return std::nullopt;
  }
  token.totp = algorithm == "TOTP";
  token.sha256 = hash == "SHA-256";
  if (seed->size() != (token.sha256 ? 32u : 20u)) return std::nullopt;
  token.digits = digits == "6" ? 6 : 8;
  token.interval = interval == "30" ? 30 : 60;
  token.serial = *serial;
  token.seed.assign(seed->begin(), seed->end());
  token.userName = Utf16FromLittleEndianBytes(*userName);
  save.keySerial = *key;
  return save;
}

RecordRead ReadRecord(SeedFileAccess& files, const std::filesystem::path& path) {
  RecordRead record;
  OpenForReadingOutcome opened = files.OpenForReadingPatiently(path);
  record.error = opened.error;
  if (!opened.source) {
    record.state = opened.state == OpenForReadingOutcome::State::Missing ? ReadOutcome::State::Missing
                                                                         : ReadOutcome::State::Failed;
    return record;
  }
  char block[4096];
  for (;;) {
    const std::optional<std::size_t> got = opened.source->Read(block, sizeof block);
    if (!got) {
      record.state = ReadOutcome::State::Failed;
      record.error = opened.source->error;
      return record;
    }
    if (*got == 0) break;
    if (record.bytes.size() + *got > kLargestRecord) {
      record.tooLarge = true;
      record.bytes.clear();
      break;
    }
    record.bytes.append(block, *got);
  }
  record.state = ReadOutcome::State::Read;
  return record;
}

std::vector<std::filesystem::path> RecordsIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> records;
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
    if (IsRecordName(entry->path().filename().u8string())) records.push_back(entry->path());
  }
  std::sort(records.begin(), records.end());
  return records;
}

std::vector<NamedPendingSave> ReadablePendingSaves(const std::filesystem::path& folder, SeedFileAccess& files) {
  std::vector<NamedPendingSave> saves;
  for (const std::filesystem::path& path : RecordsIn(folder)) {
    if (IsLink(path)) continue;  // settling leaves it alone: so does this
    const RecordRead read = ReadRecord(files, path);
    if (read.state != ReadOutcome::State::Read || read.tooLarge) continue;
    if (std::optional<PendingSave> save = PendingSaveFromXml(read.bytes)) {
      saves.push_back({path.filename().u8string(), std::move(*save)});
    }
  }
  return saves;
}

std::vector<PendingSerial> PendingSaveSerials(const std::filesystem::path& folder, SeedFileAccess& files) {
  std::vector<PendingSerial> serials;
  for (NamedPendingSave& named : ReadablePendingSaves(folder, files)) {
    serials.push_back({std::move(named.save.token.serial), std::move(named.record)});
  }
  return serials;
}
