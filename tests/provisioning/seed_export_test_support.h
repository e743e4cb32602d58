// Shared helpers of the seed export tests: tokens, the CSV encoding, and a file
// layer whose steps can be made to fail.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "provisioning/seed_files/seed_export.h"
#include "files/byte_sink.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/settle_report.h"
#include "tests/support/string_bytes.h"
#include "tests/support/temp_folder.h"
#include "text/code_page.h"
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

// "error N: <the system's own words>", as the failure lines give an error.
inline MessageText Said(std::uint32_t code) { return Widen(FileErrorText(FileError{code}), kProcessAnsiCodePage); }

inline std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// The RFC 4226 secret (20 bytes) and the RFC 6238 SHA-256 secret (32 bytes).
inline std::vector<std::uint8_t> Rfc4226Secret() { return Bytes("12345678901234567890"); }
inline std::vector<std::uint8_t> Rfc6238Sha256Secret() { return Bytes("12345678901234567890123456789012"); }

// Tokens as the form hands them over; the seed's length tells the hash.
inline ExportedToken HotpToken(std::string serial, std::vector<std::uint8_t> seed) {
  const bool sha256 = seed.size() == 32;
  return {false, sha256, 6, 30, std::move(serial), std::move(seed), {}};
}

inline ExportedToken TotpToken(std::string serial, std::vector<std::uint8_t> seed, MessageText userName,
                               std::uint32_t interval) {
  const bool sha256 = seed.size() == 32;
  return {true, sha256, 8, interval, std::move(serial), std::move(seed), std::move(userName)};
}

// Appends `token` to the seed files of `which` (both unless said) as a save
// does; the lines it gave.
inline std::vector<MessageText> AppendSeedFiles(const fs::path& folder, const ExportedToken& token,
                                                SeedFileAccess& files, SeedFileSet which = {true, true}) {
  return ExportToSeedFiles(folder, token, files, which).lines;
}

inline std::vector<MessageText> AppendSeedFiles(const fs::path& folder, const ExportedToken& token) {
  SeedFileAccess files;
  return AppendSeedFiles(folder, token, files);
}

// Every line settling gave, the leftovers' first.
inline std::vector<MessageText> AllLines(const SettleReport& report) {
  std::vector<MessageText> all = report.lines;
  for (const SettledRecord& record : report.records) all.insert(all.end(), record.lines.begin(), record.lines.end());
  return all;
}

// Passes the first `budget` bytes on, then fails as a full disk would. When
// it fails it notes what the target's folder holds at that moment.
class FailingSink final : public ByteSink {
 public:
  FailingSink(ByteSink& inner, std::size_t budget, fs::path folder)
      : inner_(inner), budget_(budget), folder_(std::move(folder)) {}
  bool Write(const void* data, std::size_t size) override {
    if (failed_) return false;
    if (size <= budget_) {
      budget_ -= size;
      return inner_.Write(data, size);
    }
    inner_.Write(data, budget_);
    budget_ = 0;
    failed_ = true;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      entriesWhenFailing.push_back(entry.path().filename().u8string());
    }
    if (throws) throw std::bad_alloc();
    return false;
  }
  bool throws = false;  // fail with an exception instead
  bool Failed() const { return failed_; }
  Names entriesWhenFailing;

 private:
  ByteSink& inner_;
  std::size_t budget_;
  fs::path folder_;
  bool failed_ = false;
};

// The file layer, with a read, a publish or an append made to fail on request.
class FaultySeedFiles final : public SeedFileAccess {
 public:
  std::optional<FileError> readFailure;
  std::optional<FileError> createTemporaryFailure;
  std::optional<std::size_t> temporaryWriteFailsAfter;  // bytes that still reach the file
  std::optional<FileError> replaceFailure;
  std::optional<FileError> openForAppendFailure;
  std::optional<std::size_t> appendWriteFailsAfter;
  FileError writeFailure{112};  // as a full disk would report it

  bool writeFailureThrows = false;  // the injected write failures throw std::bad_alloc
  // Run before each step; a test checks the folder there or throws.
  std::function<void(const fs::path&)> beforeRead, beforePublish, beforeAppend;

  Names entriesWhenWriteFailed;  // the folder's entries when an injected write failed

  // Whole reads (the rewrite) and block reads (the streaming append).
  int wholeReads = 0;

  ReadOutcome Read(const fs::path& file) override {
    ++wholeReads;
    if (beforeRead) beforeRead(file);
    if (!readFailure) return ReadWholeFile(file);
    ReadOutcome outcome;
    outcome.state = ReadOutcome::State::Failed;
    outcome.error = *readFailure;
    return outcome;
  }

  std::optional<std::size_t> blockReadFailsAfter;  // bytes read before a block read fails

  OpenForReadingOutcome OpenForReading(const fs::path& file) override {
    // The CSV step reads only its file's first bytes, for the encoding: the
    // read faults are the XML step's.
    if (file.extension() == ".csv") return ::OpenForReading(file);
    if (beforeRead) beforeRead(file);
    if (readFailure) {
      OpenForReadingOutcome outcome;
      outcome.state = OpenForReadingOutcome::State::Failed;
      outcome.error = *readFailure;
      return outcome;
    }
    OpenForReadingOutcome outcome = ::OpenForReading(file);
    if (outcome.source && blockReadFailsAfter) {
      outcome.source = std::make_unique<FailingSource>(std::move(outcome.source), *blockReadFailsAfter);
    }
    return outcome;
  }

 private:
  // Passes `budget` bytes on, then fails as a disk error would.
  class FailingSource final : public FileSource {
   public:
    FailingSource(std::unique_ptr<FileSource> inner, std::size_t budget) : inner_(std::move(inner)), budget_(budget) {}
    std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
      if (budget_ == 0) {
        error = FileError{23};
        return std::nullopt;
      }
      const std::optional<std::size_t> got = inner_->Read(buffer, std::min(capacity, budget_));
      if (got) budget_ -= *got;
      return got;
    }

   private:
    std::unique_ptr<FileSource> inner_;
    std::size_t budget_;
  };

 public:
  PublishOutcome Publish(const fs::path& file, const FileWriter& write,
                         const std::vector<fs::path>& securityFrom = {}) override {
    if (beforePublish) beforePublish(file);
    if (createTemporaryFailure) return {PublishOutcome::Step::CreateTemporary, *createTemporaryFailure};
    if (replaceFailure) {
      // Everything is written; only the last step fails.
      StringSink discarded;
      write(discarded);
      return {PublishOutcome::Step::Replace, *replaceFailure};
    }
    PublishOptions options = publishOptions;
    options.securityFrom = securityFrom;
    if (!temporaryWriteFailsAfter) return PublishFile(file, write, options);
    bool sinkFailed = false;
    PublishOutcome outcome = PublishFile(
        file,
        [&](ByteSink& out) {
          FailingSink failing(out, *temporaryWriteFailsAfter, file.parent_path());
          failing.throws = writeFailureThrows;
          const bool complete = write(failing);
          sinkFailed = failing.Failed();
          entriesWhenWriteFailed = failing.entriesWhenFailing;
          return complete && !sinkFailed;
        },
        options);
    if (sinkFailed) outcome = {PublishOutcome::Step::Write, writeFailure};
    return outcome;
  }

  std::optional<FileError> restoreFailure;    // putting a leftover back under the file's name
  std::optional<FileError> restoreKeepsName;  // put back, but the leftover's own name stays

  bool Restore(const fs::path& temporary, const fs::path& file, FileError& error) override {
    if (restoreKeepsName) {
      fs::copy_file(temporary, file);
      error = *restoreKeepsName;
      return true;
    }
    if (!restoreFailure) return SeedFileAccess::Restore(temporary, file, error);
    error = *restoreFailure;
    return false;
  }

  AppendOutcome Append(const fs::path& file, const AppendWriter& write,
                       const std::vector<fs::path>& securityFrom = {}) override {
    if (beforeAppend) beforeAppend(file);
    if (openForAppendFailure) {
      AppendOutcome outcome;
      outcome.step = AppendOutcome::Step::Open;
      outcome.error = *openForAppendFailure;
      return outcome;
    }
    if (!appendWriteFailsAfter) return AppendToFile(file, write, securityFrom);
    bool sinkFailed = false;
    AppendOutcome outcome = AppendToFile(
        file,
        [&](ByteSink& out, bool created) {
          FailingSink failing(out, *appendWriteFailsAfter, file.parent_path());
          failing.throws = writeFailureThrows;
          const bool complete = write(failing, created);
          sinkFailed = failing.Failed();
          return complete && !sinkFailed;
        },
        securityFrom);
    if (sinkFailed) {
      outcome.step = AppendOutcome::Step::Write;
      outcome.error = writeFailure;
    }
    return outcome;
  }
};

}  // namespace seed_export_test
