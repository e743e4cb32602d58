// Shared helpers of the seed export tests: tokens, the CSV encoding, and a file
// system whose steps can be made to fail.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "provisioning/seed_export.h"
#include "provisioning/seed_file_system.h"
#include "tests/support/temp_folder.h"
#include "text/message_text.h"

namespace seed_export_test {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// What a CSV file holds for `text`: UTF-16LE code units, no byte-order mark.
inline std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// Lines as the XML writer ends them: a single LF each, the last one too.
inline std::string XmlLines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text.append(line).push_back('\n');
  return text;
}

inline std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// The RFC 4226 secret (20 bytes) and the RFC 6238 SHA-256 secret (32 bytes).
inline std::vector<std::uint8_t> Rfc4226Secret() { return Bytes("12345678901234567890"); }
inline std::vector<std::uint8_t> Rfc6238Sha256Secret() {
  return Bytes("12345678901234567890123456789012");
}

// Tokens as the form hands them over; the seed's length tells the hash.
inline ExportedToken HotpToken(std::string serial, std::vector<std::uint8_t> seed) {
  const bool sha256 = seed.size() == 32;
  return {false, sha256, 6, 30, std::move(serial), std::move(seed), {}};
}

inline ExportedToken TotpToken(std::string serial, std::vector<std::uint8_t> seed,
                               MessageText userName, std::uint32_t interval) {
  const bool sha256 = seed.size() == 32;
  return {true, sha256, 8, interval, std::move(serial), std::move(seed), std::move(userName)};
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
    if (!readFailure) return system_.ReadWholeFile(path);
    ReadOutcome outcome;
    outcome.state = ReadOutcome::State::Failed;
    outcome.error = *readFailure;
    return outcome;
  }

  std::unique_ptr<OutputFile> CreateTemporaryBeside(const fs::path& target, fs::path& temporaryPath,
                                                    FileError& error) override {
    if (createTemporaryFailure) return Fail(*createTemporaryFailure, error);
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
    if (openForAppendFailure) return Fail(*openForAppendFailure, error);
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

  static std::unique_ptr<OutputFile> Fail(FileError failure, FileError& error) {
    error = failure;
    return nullptr;
  }
  std::unique_ptr<OutputFile> Wrap(std::unique_ptr<OutputFile> file,
                                   const std::optional<std::size_t>& budget) {
    if (!file || !budget) return file;
    return std::make_unique<FailingOutputFile>(std::move(file), *budget, writeFailure);
  }

  SeedFileSystem& system_ = SystemSeedFileSystem();
};

}  // namespace seed_export_test
