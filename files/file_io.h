// The file operations of the tool and of the virtual key, one Windows and one
// POSIX source: reading a whole file, publishing a new version of a file in
// one step, appending a piece that lands whole or not at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "files/byte_sink.h"
#include "files/byte_source.h"
#include "files/system_error.h"

// How long an open for writing, or a swap, refused because someone has the
// file open is tried again: as long as a save waits for a seed file's lock,
// so that a reader (the tool's own read ahead, a virus scanner, the indexer)
// holding a file for a moment never makes a save fail.
constexpr std::chrono::milliseconds kBusyFilePatience{5000};

struct ReadOutcome {
  enum class State { Missing, Read, Failed } state = State::Missing;
  std::string bytes;  // the whole file when Read
  FileError error;    // when Failed
};

// Missing when the file (or its folder) does not exist. Other programs may
// read the file meanwhile but not write it.
ReadOutcome ReadWholeFile(const std::filesystem::path& path);

// Writes a file's next contents; false gives up (the writer knows why).
using FileWriter = std::function<bool(ByteSink& out)>;

struct PublishOutcome {
  enum class Step {
    Published,        // `target` now holds exactly what the writer wrote
    CreateTemporary,  // no temporary file could be made beside the target
    Write,            // writing, flushing or closing the temporary file failed
    Cancelled,        // the writer gave up
    ReadOnly,         // the target is marked read-only, so it stays as it is
    Security,         // the rules the new file must have could not be given to it; nothing was written
    Replace,          // the temporary file could not take the target's place
  } step = Step::Published;
  FileError error;  // for CreateTemporary, Write, Security and Replace
  // Replace only: the target's name was free after the swap failed (another
  // program moved or removed the old file) and could not be taken either, so
  // the temporary file, which holds everything the writer wrote, is kept
  // under this name instead of being removed.
  std::filesystem::path keptTemporary;
  // Published only: the file took the target's name as a second name and
  // the temporary's own could not then be removed (`error` says why), so
  // this name leads to the published file too, until a later save removes
  // it as a leftover that the file holds entirely.
  std::filesystem::path strayTemporary;

  PublishOutcome() = default;
  PublishOutcome(Step failedStep, FileError why = {}) : step(failedStep), error(why) {}
  bool Published() const { return step == Step::Published; }
};

// Puts the finished temporary file in the target's place; `targetExists`
// says whether there is a file to replace. The standard swap is one rename,
// so that the target's name leads to the old or the new file at every
// instant. True when the target's name leads to the new file, with `error`
// set if the temporary's name could not be removed after that (see
// RestoreTemporary). Tests give their own to have the system's documented
// failures happen.
using SwapStep = std::function<bool(const std::filesystem::path& temporary, const std::filesystem::path& target,
                                    bool targetExists, FileError& error)>;

// The standard swap: renames the temporary file over the target.
bool SwapByRename(const std::filesystem::path& temporary, const std::filesystem::path& target, bool targetExists,
                  FileError& error);

struct PublishOptions {
  SwapStep swap;  // empty: SwapByRename
  // A swap refused because someone has a file open (a virus scanner or the
  // search indexer reading the new file) is tried again for this long.
  std::chrono::milliseconds retryFor = kBusyFilePatience;
  // For a target that does not exist yet: existing files whose access rules
  // (owner where allowed; on POSIX mode and owner) the new file gets instead
  // of the folder's, the strictest of those there are (strictest_rules_*.h).
  // Ignored when none of them is there.
  std::vector<std::filesystem::path> securityFrom;
};

// Has `write` fill a new temporary file in the target's folder, makes it
// durable and puts it in the target's place in one step: readers see the old
// or the new file, never a part, and never no file. On failure the target is
// left as it was and the temporary file is removed, unless the target was
// gone from its name meanwhile (see `keptTemporary`). An existing
// target keeps what it was: its security, attributes or mode and owner as
// far as the system allows, given to the temporary before its first byte (a
// new target inherits from the folder, see `securityFrom`); a link stays a
// link and the file it leads to
// gets the new contents; one marked read-only is not replaced. Temporaries
// of earlier publishes are left alone: whether one is the only copy of
// something is for the caller to judge (FindTemporaries).
PublishOutcome PublishFile(const std::filesystem::path& target, const FileWriter& write,
                           const PublishOptions& options = {});

// A temporary file of an earlier publish of a target, lying beside it.
struct TemporaryFile {
  std::filesystem::path path;
  bool inUse = false;        // a running publish holds it: it is not a leftover
  bool link = false;         // a link (see IsLink): what it leads to is not ours to read or remove
  long long ageSeconds = 0;  // since it was last written
};

// The temporary files beside `target` whose names publishing `target` gives
// (see temporary_name.h), in no particular order.
std::vector<TemporaryFile> FindTemporaries(const std::filesystem::path& target);

// What tells one version of a file from another without reading it: another
// writer changes its size or time, a new file in its place its identity.
struct FileStamp {
  bool exists = false;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // in the system's own units
  std::uint64_t identity = 0;
  bool operator==(const FileStamp& other) const {
    return exists == other.exists && size == other.size && modified == other.modified && identity == other.identity;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};
FileStamp StampOf(const std::filesystem::path& path);

// The stamp with a digest of the file's first and last kFingerprintBlock
// bytes, taken through one open file: what tells a same-size edit whose
// write time was put back, for two small reads. A file that could not be
// read gives one that equals no other.
struct FileFingerprint {
  static constexpr std::uint64_t kFingerprintBlock = 64 * 1024;
  FileStamp stamp;
  std::uint64_t ends = 0;
  bool read = false;
  bool operator==(const FileFingerprint& other) const {
    return read && other.read && stamp == other.stamp && ends == other.ends;
  }
  bool operator!=(const FileFingerprint& other) const { return !(*this == other); }
};
FileFingerprint FingerprintOf(const std::filesystem::path& path);

// Whether `path` is a link to a file elsewhere: a symbolic link or reparse
// point, or under Wine a host's link, which its file API shows as a plain
// file. The check that publishing uses to write through links.
bool IsLink(const std::filesystem::path& path);

struct RemoveOutcome {
  enum class State {
    Removed,  // the name is gone; whatever else leads to its file does not
    Missing,  // there was no such name
    InUse,    // someone holds the file open (a running publish its temporary)
    Link,     // the name is a link, left alone: removing it could remove what it leads to
    Differs,  // its bytes are not the ones it was to hold (RemoveIfHolds): left alone
    Failed,   // see `error`
  } state = State::Removed;
  FileError error;  // for Failed
  bool Removed() const { return state == State::Removed; }
  // The name is gone, whoever removed it.
  bool Gone() const { return state == State::Removed || state == State::Missing; }
};

// Removes a temporary file, or a save record, that name only, unless
// someone holds it. A link is never removed, and nothing it leads to.
RemoveOutcome RemoveTemporary(const std::filesystem::path& temporary);

// Judges what a file holds, read from its start: true lets it go. A read
// that fails is no approval.
using ContentCheck = std::function<bool(ByteSource& content)>;

// Removes a leftover or a save record, that name only, when `check` approves
// the bytes it holds at this very moment: whatever was decided on it earlier
// only says what to compare. The file is opened so that nobody can write it
// meanwhile, read through that open file, and that open file is deleted,
// never a name looked up again (on POSIX, see the source). As
// RemoveTemporary: a link is never removed, a file someone holds is InUse.
RemoveOutcome RemoveIfHolds(const std::filesystem::path& path, const ContentCheck& check);

// Renames a temporary file to `target` when no file has that name; never
// replaces one. False with `error` when the file did not take the name. True
// when it did; where that was by a second name, the temporary's own is then
// removed, and if that fails `error` says why (its code is 0 otherwise).
bool RestoreTemporary(const std::filesystem::path& temporary, const std::filesystem::path& target, FileError& error);

// Appends to a file; `created` tells whether this call made the file.
using AppendWriter = std::function<bool(ByteSink& out, bool created)>;

struct AppendOutcome {
  enum class Step {
    Appended,   // everything the writer wrote is at the end of the file
    Open,       // the file could not be opened (or created) for appending
    Write,      // a write failed
    Cancelled,  // the writer gave up
    Security,   // the file was missing and could not be made under the rules asked for; none was made
  } step = Step::Appended;
  FileError error;       // for Open, Write and Security
  bool created = false;  // the file did not exist before this call
  // When not Appended: a file that existed is cut back to its old length and
  // one this call created is removed. Only when that fails too does part of
  // the write stay, and `restoreError` says why.
  bool restored = true;
  FileError restoreError;
  bool Appended() const { return step == Step::Appended; }
};

// Opens (or creates) `path` with readers but no other writer admitted and has
// `write` add to its end: everything it wrote lands, or nothing does. An open
// refused because another program holds the file is tried again for
// `patience`. A file it creates takes the rules of `securityFrom` as
// PublishOptions says.
AppendOutcome AppendToFile(const std::filesystem::path& path, const AppendWriter& write,
                           const std::vector<std::filesystem::path>& securityFrom = {},
                           std::chrono::milliseconds patience = kBusyFilePatience);

// "<file>.lock" beside `file`: the lock file of whoever takes turns at it.
inline std::filesystem::path LockFileFor(std::filesystem::path file) { return file += ".lock"; }

// One attempt at opening a lock file, created when missing: the open file (a
// descriptor or a handle), or -1 with `error`. `deleteOnClose` asks for the
// file to go when its last holder closes it, where the system does that.
// Tests give their own to have the system's documented answers happen.
using OpenLockStep =
    std::function<std::intptr_t(const std::filesystem::path& lockFile, bool deleteOnClose, FileError& error)>;

// The standard attempt.
std::intptr_t OpenLockFile(const std::filesystem::path& lockFile, bool deleteOnClose, FileError& error);

// An exclusive lock held through a lock file, across processes and, on a
// network share, across machines. The lock is the open file, not its
// existence: a lock file left behind by a crash blocks nobody.
class FileLock {
 public:
  enum class Outcome {
    Held,    // this object holds the lock until it is destroyed
    Busy,    // someone else held it for the whole time allowed; `error` is the last refusal
    Failed,  // the lock file could not be opened or created; see `error`
  };

  FileLock() = default;
  explicit FileLock(OpenLockStep open) : open_(std::move(open)) {}
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Polls for `lockFile` (created when missing) until `patience` has passed.
  Outcome Acquire(const std::filesystem::path& lockFile, std::chrono::milliseconds patience, FileError& error);
  // Gives the lock up and removes the lock file.
  void Release();

 private:
  OpenLockStep open_;  // empty: OpenLockFile
  std::filesystem::path path_;
  std::intptr_t native_ = -1;  // the open lock file: a descriptor or a handle
};
