// The course of reading, publishing and appending, the same on every
// platform. Each platform source supplies only the system calls, through an
// open file type that has:
//   BufferedSink& Sink();           the sink over the open file
//   FileError SinkError() const;    why the sink failed
//   bool Sync(FileError&);          makes the written bytes durable
//   bool Close(FileError&);         closes (once; later calls do nothing)
//   publishing:
//   const path& Temporary(), Target();
//   bool ReplacesTarget();          whether it was made (with the rules) to replace a file
//   bool TargetExists();            whether a file has the target's name now
//   static bool Transient(const FileError&)      a refusal that passes: try again
//   void RemoveTemporary();         deletes the temporary file
//   bool TakeBack(FileError&);      appending: cuts the file back to its old length
//   bool HoldsOldLength();          appending: the file is as long as before, as the system says now
//   void RemoveCreated();           appending: closes and deletes the file this call made
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <string>
#include <thread>

#include "files/buffered_sink.h"
#include "files/busy_retry.h"
#include "files/content_digest.h"
#include "files/file_io.h"

namespace file_steps {

// What a read reports when the file could not be opened: nothing is wrong
// with a file (or folder) that is not there; anything else failed.
template <typename Outcome>
Outcome NotOpened(const FileError& error) {
  Outcome outcome;
  if (error.kind != FileErrorKind::Missing) {
    outcome.state = Outcome::State::Failed;
    outcome.error = error;
  }
  return outcome;
}

// Reads a file of `size` bytes (as the system says now) into `outcome`.
// `readSome(at, room)` reads up to `room` bytes and returns how many, 0 at
// the end, or -1 with `error` set. One byte of room beyond the size seen
// notices a file that grows meanwhile.
template <typename ReadSome>
void ReadAll(ReadOutcome& outcome, unsigned long long size, FileError tooLarge, ReadSome readSome) {
  std::string& bytes = outcome.bytes;
  if (size >= bytes.max_size()) {
    outcome.state = ReadOutcome::State::Failed;
    outcome.error = tooLarge;
    return;
  }
  bytes.resize(size + 1 > 4096 ? static_cast<std::size_t>(size) + 1 : 4096);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    FileError error;
    const long long count = readSome(&bytes[used], bytes.size() - used, error);
    if (count < 0) {
      outcome.state = ReadOutcome::State::Failed;
      outcome.error = error;
      bytes.clear();
      return;
    }
    if (count == 0) break;
    used += static_cast<std::size_t>(count);
  }
  bytes.resize(used);
  outcome.state = ReadOutcome::State::Read;
}

// Puts the written, closed temporary file in the target's place. A swap that
// fails leaves the target as it was, so the temporary goes; only when the
// target's name is free now although it was there before (another program
// moved or removed it meanwhile) is the temporary the one complete copy: it
// then takes the free name, or stays where it is.
template <typename File>
PublishOutcome PutInPlace(File& file, const PublishOptions& options) {
  using Step = PublishOutcome::Step;
  // A file that took the name after the temporary was made is not replaced
  // unseen: the temporary does not carry its rules.
  const bool existed = file.ReplacesTarget();
  const SwapStep& swap = options.swap ? options.swap : SwapStep(SwapByRename);
  const auto deadline = std::chrono::steady_clock::now() + options.retryFor;
  const auto published = [&](const FileError& stray) {
    PublishOutcome outcome;
    if (stray.code != 0) {
      outcome.error = stray;
      outcome.strayTemporary = file.Temporary();
    }
    return outcome;
  };
  std::chrono::milliseconds pause{5};
  for (;;) {
    FileError error;
    if (swap(file.Temporary(), file.Target(), existed, error)) return published(error);
    if (!File::Transient(error) || std::chrono::steady_clock::now() >= deadline) {
      PublishOutcome outcome{Step::Replace, error};
      if (existed && !file.TargetExists()) {
        FileError stray;
        if (RestoreTemporary(file.Temporary(), file.Target(), stray)) return published(stray);
        outcome.keptTemporary = file.Temporary();
        return outcome;
      }
      file.RemoveTemporary();
      return outcome;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds{200});
  }
}

// Has `write` fill the open temporary file, makes it durable and puts it in
// place; on any failure before the swap removes it again.
template <typename File>
PublishOutcome WriteAndPublish(File& file, const FileWriter& write, const PublishOptions& options) {
  using Step = PublishOutcome::Step;
  PublishOutcome outcome;
  bool complete = false;
  try {
    complete = write(file.Sink());
  } catch (...) {
    FileError ignored;
    file.Close(ignored);
    file.RemoveTemporary();
    throw;
  }
  FileError error;
  if (!file.Sink().Flush()) {
    outcome = {Step::Write, file.SinkError()};
  } else if (!complete) {
    outcome.step = Step::Cancelled;
  } else if (!file.Sync(error)) {
    outcome = {Step::Write, error};
  }
  // Closed before the swap, which needs the file to itself on Windows.
  if (!file.Close(error) && outcome.Published()) outcome = {Step::Write, error};
  if (!outcome.Published()) {
    file.RemoveTemporary();
    return outcome;
  }
  return PutInPlace(file, options);
}

// Has `write` add to the open file; keeps all of it or takes all of it back.
template <typename File>
AppendOutcome WriteAndKeepOrTakeBack(File& file, const AppendWriter& write, AppendOutcome outcome) {
  using Step = AppendOutcome::Step;
  bool complete = false;
  FileError error;
  try {
    complete = write(file.Sink(), outcome.created);
  } catch (...) {
    // Nothing of a writer that failed this way stays either.
    if (outcome.created) {
      file.RemoveCreated();
    } else {
      file.TakeBack(error);
    }
    throw;
  }
  if (!file.Sink().Flush()) {
    outcome.step = Step::Write;
    outcome.error = file.SinkError();
  } else if (!complete) {
    outcome.step = Step::Cancelled;
  }
  if (!outcome.Appended()) {
    // A file this call created would otherwise start without its header next time.
    if (outcome.created) {
      file.RemoveCreated();
      return outcome;
    }
    // A cut that fails where nothing reached the file (a full disk refuses
    // even that on some systems) leaves the file as it was all the same.
    if (!file.TakeBack(error) && !file.HoldsOldLength()) {
      outcome.restored = false;
      outcome.restoreError = error;
    }
  }
  if (!file.Close(error) && outcome.Appended()) {
    outcome.step = Step::Write;
    outcome.error = error;
  }
  return outcome;
}

// The digest of a file's first and last FileFingerprint::kFingerprintBlock
// bytes (the whole of a smaller file) as `size` says it is.
// `readAt(offset, at, count)` fills exactly `count` bytes or fails.
template <typename ReadAt>
bool DigestEnds(std::uint64_t size, ReadAt readAt, std::uint64_t& ends) {
  constexpr std::uint64_t kBlock = FileFingerprint::kFingerprintBlock;
  std::string block(static_cast<std::size_t>(std::min(size, kBlock)), '\0');
  ContentDigest digest;
  const std::uint64_t lastStart = size > kBlock ? std::max(kBlock, size - kBlock) : size;
  for (const std::uint64_t start : {std::uint64_t{0}, lastStart}) {
    const std::size_t count = static_cast<std::size_t>(std::min(size - start, kBlock));
    if (count == 0) continue;
    if (!readAt(start, &block[0], count)) return false;
    digest.Add(block.data(), count);
  }
  ends = digest.Value();
  return true;
}

inline AppendOutcome OpenFailed(FileError error) {
  AppendOutcome outcome;
  outcome.step = AppendOutcome::Step::Open;
  outcome.error = error;
  return outcome;
}

}  // namespace file_steps
