// Shared helpers of the seed export tests: a scratch folder, whole-file reads
// and writes, and a file system whose steps can be made to fail.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "provisioning/seed_export.h"
#include "provisioning/seed_file_system.h"
#include "text/message_text.h"

namespace seed_export_test {

namespace fs = std::filesystem;

// A fresh empty folder, removed with everything in it afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    static unsigned counter = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
      path_ = fs::temp_directory_path() /
              ("seed-export-test-" + std::to_string(stamp) + "-" + std::to_string(++counter));
      if (fs::create_directory(path_)) break;
    }
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const fs::path& path() const { return path_; }
  fs::path operator/(const char* name) const { return path_ / name; }

 private:
  fs::path path_;
};

inline std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// What a CSV file holds for `text`: UTF-16LE code units, no byte-order mark.
inline std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

inline std::set<std::string> FileNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// Lines as the XML writer ends them: a single LF each, the last one too.
inline std::string XmlLines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text.append(line).push_back('\n');
  return text;
}

// The RFC 4226 test secret: 20 bytes "12345678901234567890".
inline std::vector<std::uint8_t> Rfc4226Secret() {
  const std::string ascii = "12345678901234567890";
  return std::vector<std::uint8_t>(ascii.begin(), ascii.end());
}

// The RFC 6238 SHA-256 test secret: 32 bytes "1234567890" repeated.
inline std::vector<std::uint8_t> Rfc6238Sha256Secret() {
  const std::string ascii = "12345678901234567890123456789012";
  return std::vector<std::uint8_t>(ascii.begin(), ascii.end());
}

inline ExportedToken HotpToken(std::string serial, std::vector<std::uint8_t> seed) {
  ExportedToken token;
  token.totp = false;
  token.sha256 = false;
  token.digits = 6;
  token.interval = 30;
  token.serial = std::move(serial);
  token.seed = std::move(seed);
  return token;
}

inline ExportedToken TotpToken(std::string serial, std::vector<std::uint8_t> seed,
                               MessageText userName, std::uint32_t interval) {
  ExportedToken token;
  token.totp = true;
  token.sha256 = seed.size() == 32;
  token.digits = 8;
  token.interval = interval;
  token.serial = std::move(serial);
  token.seed = std::move(seed);
  token.userName = std::move(userName);
  return token;
}

// The system's file system, with any step made to fail on request.
class FaultyFileSystem final : public SeedFileSystem {
 public:
  std::optional<FileError> readFailure;
  std::optional<FileError> createTemporaryFailure;
  std::optional<std::size_t> temporaryWriteFailsAfter;  // bytes that still reach the file
  std::optional<FileError> replaceFailure;
  std::optional<FileError> openForAppendFailure;
  std::optional<std::size_t> appendWriteFailsAfter;
  FileError writeFailure{112, false};  // as a full disk would report it

  std::vector<fs::path> temporaryFiles;  // every temporary file handed out

  ReadOutcome ReadWholeFile(const fs::path& path) override {
    if (readFailure) {
      ReadOutcome outcome;
      outcome.state = ReadOutcome::State::Failed;
      outcome.error = *readFailure;
      return outcome;
    }
    return system_.ReadWholeFile(path);
  }

  std::unique_ptr<OutputFile> CreateTemporaryBeside(const fs::path& target, fs::path& temporaryPath,
                                                    FileError& error) override {
    if (createTemporaryFailure) {
      error = *createTemporaryFailure;
      return nullptr;
    }
    auto file = system_.CreateTemporaryBeside(target, temporaryPath, error);
    if (file) temporaryFiles.push_back(temporaryPath);
    return Wrap(std::move(file), temporaryWriteFailsAfter);
  }

  bool Replace(const fs::path& from, const fs::path& to, FileError& error) override {
    if (replaceFailure) {
      error = *replaceFailure;
      return false;
    }
    return system_.Replace(from, to, error);
  }

  void Remove(const fs::path& path) override { system_.Remove(path); }

  std::unique_ptr<OutputFile> OpenForAppend(const fs::path& path, bool& created,
                                            FileError& error) override {
    if (openForAppendFailure) {
      error = *openForAppendFailure;
      return nullptr;
    }
    return Wrap(system_.OpenForAppend(path, created, error), appendWriteFailsAfter);
  }

 private:
  // Passes the first `budget` bytes on, then fails as a full disk would.
  class FailingOutputFile final : public OutputFile {
   public:
    FailingOutputFile(std::unique_ptr<OutputFile> inner, std::size_t budget, FileError failure)
        : inner_(std::move(inner)), budget_(budget), failure_(failure) {}
    bool Write(const void* data, std::size_t size) override {
      if (size <= budget_) {
        budget_ -= size;
        return inner_->Write(data, size);
      }
      inner_->Write(data, budget_);
      budget_ = 0;
      error = failure_;
      return false;
    }
    bool Finish() override {
      const bool ok = inner_->Finish();
      error = inner_->error;
      return ok;
    }

   private:
    std::unique_ptr<OutputFile> inner_;
    std::size_t budget_;
    FileError failure_;
  };

  std::unique_ptr<OutputFile> Wrap(std::unique_ptr<OutputFile> file,
                                   const std::optional<std::size_t>& budget) {
    if (!file || !budget) return file;
    return std::make_unique<FailingOutputFile>(std::move(file), *budget, writeFailure);
  }

  SeedFileSystem& system_ = SystemSeedFileSystem();
};

}  // namespace seed_export_test
