// The file operations on Windows. Only the kernel's file API: no window-system
// headers here.
#include <windef.h>
#include <winbase.h>
#include <winnls.h>

#include <atomic>
#include <memory>
#include <vector>

#include "files/buffered_sink.h"
#include "files/file_io.h"
#include "files/file_steps.h"
#include "files/read_sharing_win.h"
#include "files/scoped_handle_win.h"
#include "files/strictest_rules_win.h"
#include "files/temporary_name.h"

namespace {

class HandleSink final : public BufferedSink {
 public:
  explicit HandleSink(HANDLE handle) : handle_(handle) {}
  FileError error;

 protected:
  bool WriteOut(const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(handle_, bytes, chunk, &written, nullptr)) {
        error = LastSystemError();
        return false;
      }
      if (written == 0) {
        error = SystemError(ERROR_WRITE_FAULT);
        return false;
      }
      bytes += written;
      size -= written;
    }
    return true;
  }

 private:
  HANDLE handle_;
};

// A file being published or appended to, for the steps in file_steps.h.
class WritingFile {
 public:
  WritingFile(HANDLE handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)), sink_(handle) {}
  WritingFile(const WritingFile&) = delete;
  WritingFile& operator=(const WritingFile&) = delete;

  BufferedSink& Sink() { return sink_; }
  FileError SinkError() const { return sink_.error; }
  bool Sync(FileError& error) { return Check(FlushFileBuffers(handle_.Get()), error); }
  bool Close(FileError& error) { return Check(handle_.Close(), error); }

  // Publishing: this is the temporary file for `target`, made with its rules
  // when `replaces`.
  void PublishAs(std::filesystem::path target, bool replaces) {
    target_ = std::move(target);
    replaces_ = replaces;
  }
  const std::filesystem::path& Temporary() const { return path_; }
  const std::filesystem::path& Target() const { return target_; }
  bool ReplacesTarget() const { return replaces_; }
  bool TargetExists() const { return GetFileAttributesW(target_.c_str()) != INVALID_FILE_ATTRIBUTES; }
  // A virus scanner or the indexer has one of the files open for a moment.
  static bool Transient(const FileError& error) {
    return KindOfSystemError(error.code) == FileErrorKind::Busy || error.code == ERROR_ACCESS_DENIED;
  }
  void RemoveTemporary() { DeleteFileW(path_.c_str()); }

  // Appending: the file was `length` bytes long before.
  void AppendAfter(LARGE_INTEGER length) { before_ = length; }
  bool TakeBack(FileError& error) {
    return Check(SetFilePointerEx(handle_.Get(), before_, nullptr, FILE_BEGIN) && SetEndOfFile(handle_.Get()), error);
  }
  bool HoldsOldLength() const {
    LARGE_INTEGER size{};
    return GetFileSizeEx(handle_.Get(), &size) && size.QuadPart == before_.QuadPart;
  }
  void RemoveCreated() {
    FileError ignored;
    Close(ignored);
    DeleteFileW(path_.c_str());
  }

 private:
  static bool Check(bool ok, FileError& error) {
    if (!ok) error = LastSystemError();
    return ok;
  }

  ScopedHandle handle_;
  std::filesystem::path path_;
  std::filesystem::path target_;
  bool replaces_ = false;
  LARGE_INTEGER before_{};
  HandleSink sink_;
};

// The attributes a replaced file keeps; read-only files are never replaced.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The full name the system gives the open `file`, links resolved; empty
// when it gives none.
std::wstring FinalPathOfHandle(HANDLE file) {
  std::wstring final(32768, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(file, final.data(), static_cast<DWORD>(final.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= final.size()) return {};
  final.resize(length);
  return final;
}

// The full name the system gives what `path` opens, links resolved.
std::wstring FinalPathOf(const std::filesystem::path& path) {
  ScopedHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return {};
  return FinalPathOfHandle(file.Get());
}

// Whether `final`, the full name of what `path` opens, is `path` itself
// rather than a file that a link leads to. Not only reparse points: under
// Wine a host's symbolic link shows as a plain file, and only its final name,
// which differs from its folder's followed by its own name, gives it away.
bool IsOwnName(const std::filesystem::path& path, const std::wstring& final) {
  const std::wstring folder =
      FinalPathOf(path.parent_path().empty() ? std::filesystem::path(L".") : path.parent_path());
  if (folder.empty()) return false;
  std::wstring expected = folder;
  if (expected.back() != L'\\') expected += L'\\';
  expected += path.filename().wstring();
  return CompareStringOrdinal(expected.c_str(), -1, final.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The file that `path` leads to when it is a link.
std::filesystem::path ThroughLinks(const std::filesystem::path& path) {
  const std::wstring final = FinalPathOf(path);
  if (final.empty() || IsOwnName(path, final)) return path;
  return final;
}

bool Missing(DWORD code) { return KindOfSystemError(code) == FileErrorKind::Missing; }

// What a new file takes from an existing one before its first byte is
// written: the access rules (its own entries, and whether it inherits from
// the folder), the owner where the system lets us, and for a replaced file
// what a rename would not carry over, its attributes and creation time.
struct TakenOver {
  std::vector<char> rules;  // a self-relative security descriptor: the DACL
  std::vector<char> owned;  // the DACL and the owner; empty when the owner is not readable
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  LARGE_INTEGER created{};  // zero: left as the system makes it
};

// Copied as they stand, inherited entries and the protection from the folder
// included, as replacing the file keeps them. The rules are not optional:
// seeds must never be readable by anyone the old file kept out.
bool TakeOverFrom(const std::filesystem::path& from, bool replaced, TakenOver& taken, FileError& error) {
  ScopedHandle source(CreateFileW(from.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const auto descriptorOf = [&](SECURITY_INFORMATION what, std::vector<char>& buffer) {
    DWORD needed = 0;
    GetKernelObjectSecurity(source.Get(), what, nullptr, 0, &needed);
    if (needed == 0) return false;
    buffer.resize(needed);
    return GetKernelObjectSecurity(source.Get(), what, buffer.data(), needed, &needed) != FALSE;
  };
  if (!source.Valid() || !descriptorOf(DACL_SECURITY_INFORMATION, taken.rules)) {
    error = LastSystemError();
    return false;
  }
  if (!descriptorOf(DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION, taken.owned)) taken.owned.clear();
  FILE_BASIC_INFO basic{};
  if (replaced && GetFileInformationByHandleEx(source.Get(), FileBasicInfo, &basic, sizeof basic)) {
    taken.attributes = basic.FileAttributes & kKeptAttributes;
    if (taken.attributes == 0) taken.attributes = FILE_ATTRIBUTE_NORMAL;
    taken.created = basic.CreationTime;
  }
  return true;
}

// CreateFileW's answers to a security descriptor it will not give a file.
bool RulesRefused(DWORD code) {
  return code == ERROR_INVALID_OWNER || code == ERROR_INVALID_SECURITY_DESCR || code == ERROR_INVALID_ACL ||
         code == ERROR_PRIVILEGE_NOT_HELD;
}

// Puts the read-only mark on `path` or takes it off; true when that changed
// it. Opened by name beside whatever handle holds the file: attributes alone
// do not conflict with the sharing a handle allows.
bool ChangeReadOnlyMark(const std::filesystem::path& path, bool readOnly) {
  ScopedHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  FILE_BASIC_INFO basic{};
  if (!file.Valid() || !GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic) ||
      ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) == readOnly) {
    return false;
  }
  FILE_BASIC_INFO marks{};  // zero times: left as they are
  marks.FileAttributes = readOnly ? basic.FileAttributes | FILE_ATTRIBUTE_READONLY
                                  : basic.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if (marks.FileAttributes == 0) marks.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(file.Get(), FileBasicInfo, &marks, sizeof marks) != FALSE;
}

// CreateFileW with `taken`'s rules for a file it creates, its owner where
// allowed, never marked read-only: the rules, not the marks, keep it safe.
HANDLE CreateUnderRules(const std::filesystem::path& path, DWORD access, DWORD disposition, const TakenOver& taken,
                        DWORD share = 0) {
  SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
  const auto create = [&](const std::vector<char>& descriptor) {
    security.lpSecurityDescriptor = const_cast<char*>(descriptor.data());
    return CreateFileW(path.c_str(), access, share, &security, disposition, taken.attributes, nullptr);
  };
  HANDLE handle = taken.owned.empty() ? INVALID_HANDLE_VALUE : create(taken.owned);
  // Only a privileged process may give a file away; otherwise it is ours, as
  // any new file would be.
  if (taken.owned.empty() || (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_OWNER)) {
    handle = create(taken.rules);
  }
  // Under Wine a file's rights are its host mode bits, so rules taken from a
  // read-only file make the new one read-only too, and then not even its
  // maker could remove it.
  const DWORD code = GetLastError();
  if (handle != INVALID_HANDLE_VALUE && code != ERROR_ALREADY_EXISTS) ChangeReadOnlyMark(path, false);
  SetLastError(code);  // OPEN_ALWAYS tells its caller through it whether the file was there
  return handle;
}

// Creates `temporary` for writing, with `taken`'s rules from the start when
// given; INVALID_HANDLE_VALUE with GetLastError() when it cannot.
HANDLE CreateTemporary(const std::filesystem::path& temporary, const TakenOver* taken) {
  if (!taken) {
    return CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  const HANDLE handle = CreateUnderRules(temporary, GENERIC_WRITE, CREATE_NEW, *taken);
  if (handle != INVALID_HANDLE_VALUE && taken->created.QuadPart != 0) {
    FILE_BASIC_INFO times{};
    times.CreationTime = taken->created;
    // Only the time: the rules and attributes are the file's already. Where
    // the file system keeps no creation time it is the new file's, harmless.
    SetFileInformationByHandle(handle, FileBasicInfo, &times, sizeof times);
  }
  return handle;
}

std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::uint64_t temporary_name::Entropy() {
  static std::atomic<std::uint64_t> counter{0};
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  FILETIME time{};
  GetSystemTimeAsFileTime(&time);
  const std::uint64_t local = 0;
  return (static_cast<std::uint64_t>(GetCurrentProcessId()) << 40) ^ static_cast<std::uint64_t>(now.QuadPart) ^
         (static_cast<std::uint64_t>(time.dwLowDateTime) << 20) ^ (counter++ << 52) ^
         reinterpret_cast<std::uintptr_t>(&local);
}

ReadOutcome ReadWholeFile(const std::filesystem::path& path) {
  ReadOutcome outcome;
  ScopedHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, kReadSharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return file_steps::NotOpened<ReadOutcome>(LastSystemError());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) size.QuadPart = 0;
  file_steps::ReadAll(
      outcome, static_cast<unsigned long long>(size.QuadPart), SystemError(ERROR_FILE_TOO_LARGE),
      [&](char* at, std::size_t room, FileError& error) -> long long {
        DWORD count = 0;
        if (ReadFile(file.Get(), at, room > 0x40000000u ? 0x40000000u : static_cast<DWORD>(room), &count, nullptr)) {
          return count;
        }
        error = LastSystemError();
        return -1;
      });
  return outcome;
}

PublishOutcome PublishFile(const std::filesystem::path& link, const FileWriter& write, const PublishOptions& options) {
  using Step = PublishOutcome::Step;
  const std::filesystem::path target = ThroughLinks(link);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  // Replacing would clear the mark; whoever set it decides.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    return {Step::ReadOnly, FileError{ERROR_ACCESS_DENIED, FileErrorKind::ReadOnly}};
  }
  const bool replaces = attributes != INVALID_FILE_ATTRIBUTES;
  std::filesystem::path rulesFrom = replaces ? target : std::filesystem::path();
  TakenOver taken;
  FileError error;
  if (!replaces && !StrictestRulesSource(options.securityFrom, rulesFrom, error)) return {Step::Security, error};
  const bool takes = !rulesFrom.empty();
  if (takes && !TakeOverFrom(rulesFrom, replaces, taken, error)) return {Step::Security, error};
  const std::filesystem::path folder = target.parent_path();
  const std::string targetName = target.filename().u8string();

  // Held open without sharing while it is written, so that nobody takes it
  // for a leftover.
  std::unique_ptr<WritingFile> file;
  DWORD code = ERROR_FILE_EXISTS;
  for (unsigned attempt = 0; attempt < 100 && code == ERROR_FILE_EXISTS; ++attempt) {
    const std::filesystem::path temporary =
        folder / std::filesystem::u8path(temporary_name::For(targetName, temporary_name::Entropy()));
    const HANDLE handle = CreateTemporary(temporary, takes ? &taken : nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file = std::make_unique<WritingFile>(handle, temporary);
      break;
    }
    code = GetLastError();
  }
  if (!file) return {takes && RulesRefused(code) ? Step::Security : Step::CreateTemporary, SystemError(code)};
  file->PublishAs(target, replaces);
  return file_steps::WriteAndPublish(*file, write, options);
}

bool SwapByRename(const std::filesystem::path& temporary, const std::filesystem::path& target, bool targetExists,
                  FileError& error) {
  if (!targetExists) return RestoreTemporary(temporary, target, error);
  if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  error = LastSystemError();
  return false;
}

std::vector<TemporaryFile> FindTemporaries(const std::filesystem::path& link) {
  const std::filesystem::path target = ThroughLinks(link);
  const std::filesystem::path folder = target.parent_path();
  const std::string targetName = target.filename().u8string();
  std::vector<TemporaryFile> found;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  WIN32_FIND_DATAW entry{};
  const HANDLE search = FindFirstFileW((folder / L"*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    const std::filesystem::path name(entry.cFileName);
    if (!temporary_name::IsOneOf(targetName, name.u8string())) continue;
    TemporaryFile temporary;
    temporary.path = folder / name;
    const std::uint64_t written = Ticks(entry.ftLastWriteTime);
    temporary.ageSeconds = Ticks(now) > written ? static_cast<long long>((Ticks(now) - written) / 10000000) : 0;
    // A publish writes it without sharing: if we may open it, nobody writes it.
    ScopedHandle probe(CreateFileW(temporary.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    temporary.inUse = !probe.Valid() && GetLastError() == ERROR_SHARING_VIOLATION;
    temporary.link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsLink(temporary.path);
    found.push_back(std::move(temporary));
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return found;
}

namespace {

// The stamp of an open file; none when the system gives no information.
FileStamp StampOfHandle(HANDLE file) {
  FileStamp stamp;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return stamp;
  stamp.exists = true;
  stamp.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp.modified = static_cast<std::int64_t>(Ticks(info.ftLastWriteTime));
  stamp.identity = ((static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow) ^
                   (static_cast<std::uint64_t>(info.dwVolumeSerialNumber) << 48);
  return stamp;
}

// Reads `count` bytes at `offset` of a file opened for reading.
bool ReadAt(HANDLE file, std::uint64_t offset, char* at, std::size_t count) {
  while (count > 0) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    if (!ReadFile(file, at, chunk, &got, &where) || got == 0) return false;
    offset += got;
    at += got;
    count -= got;
  }
  return true;
}

// An open file read from where it stands, for a ContentCheck.
class HandleReader final : public ByteSource {
 public:
  explicit HandleReader(HANDLE file) : file_(file) {}
  std::optional<std::size_t> Read(void* buffer, std::size_t capacity) override {
    return ReadFromHandle(file_, buffer, capacity);
  }

 private:
  HANDLE file_;
};

// Opens `path` to delete it with `access` besides and `sharing`, and checks
// that it is no link: false with `outcome` saying why not.
bool OpenToRemove(const std::filesystem::path& path, DWORD access, DWORD sharing, ScopedHandle& file,
                  RemoveOutcome& outcome) {
  using State = RemoveOutcome::State;
  file = ScopedHandle(CreateFileW(path.c_str(), DELETE | access, sharing, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) {
    const DWORD code = GetLastError();
    outcome.state = Missing(code) ? State::Missing : SystemError(code).InUse() ? State::InUse : State::Failed;
    outcome.error = SystemError(code);
    return false;
  }
  FILE_BASIC_INFO basic{};
  const std::wstring final = FinalPathOfHandle(file.Get());
  if (final.empty() || !GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic)) {
    outcome.state = State::Failed;
    outcome.error = LastSystemError();
    return false;
  }
  if ((basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsOwnName(path, final)) {
    outcome.state = State::Link;
    return false;
  }
  return true;
}

// Has the open file `path` go when its handle closes. The tool's own file
// goes though it is marked read-only (rules taken from a read-only seed file
// left the mark under Wine); one that cannot go keeps its mark.
void DeleteThroughHandle(HANDLE file, const std::filesystem::path& path, RemoveOutcome& outcome) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  const auto dispose = [&] {
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
  };
  if (dispose()) return;
  DWORD code = GetLastError();
  if (code == ERROR_ACCESS_DENIED && ChangeReadOnlyMark(path, false)) {
    if (dispose()) return;
    code = GetLastError();
    ChangeReadOnlyMark(path, true);
  }
  outcome.state = RemoveOutcome::State::Failed;
  outcome.error = SystemError(code);
}

}  // namespace

FileStamp StampOf(const std::filesystem::path& path) {
  ScopedHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr));
  return file.Valid() ? StampOfHandle(file.Get()) : FileStamp{};
}

FileFingerprint FingerprintOf(const std::filesystem::path& path) {
  FileFingerprint print;
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, kSharedReadSharing, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.Valid()) {
    print.read = Missing(GetLastError());
    return print;
  }
  print.stamp = StampOfHandle(file.Get());
  print.read = print.stamp.exists && file_steps::DigestEnds(
                                         print.stamp.size,
                                         [&](std::uint64_t offset, char* at, std::size_t count) {
                                           return ReadAt(file.Get(), offset, at, count);
                                         },
                                         print.ends);
  return print;
}

bool IsLink(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  const std::wstring final = FinalPathOf(path);
  return !final.empty() && !IsOwnName(path, final);
}

RemoveOutcome RemoveTemporary(const std::filesystem::path& temporary) {
  RemoveOutcome outcome;
  // Opened to delete without sharing, which succeeds only when nobody holds
  // it; the name then goes through this very handle, once it showed to be
  // no link, so that no link can take its place in between. Deleting a link
  // is left alone: under Wine it deletes the file the link leads to.
  ScopedHandle file;
  if (OpenToRemove(temporary, FILE_READ_ATTRIBUTES, 0, file, outcome))
    DeleteThroughHandle(file.Get(), temporary, outcome);
  return outcome;
}

RemoveOutcome RemoveIfHolds(const std::filesystem::path& path, const ContentCheck& check) {
  RemoveOutcome outcome;
  // Readers may stay, but nobody can write it while its bytes are judged,
  // and what goes is the very file judged, through the handle that read it.
  ScopedHandle file;
  if (!OpenToRemove(path, GENERIC_READ, FILE_SHARE_READ, file, outcome)) return outcome;
  HandleReader content(file.Get());
  if (!check(content)) {
    outcome.state = RemoveOutcome::State::Differs;
    return outcome;
  }
  DeleteThroughHandle(file.Get(), path, outcome);
  return outcome;
}

bool RestoreTemporary(const std::filesystem::path& temporary, const std::filesystem::path& target, FileError& error) {
  // A second name for the file fails on any name that is taken, also on one
  // the file API cannot see: under Wine a host's link whose file is missing,
  // which a move would silently turn into a plain file.
  if (CreateHardLinkW(target.c_str(), temporary.c_str(), nullptr)) {
    // The name is ours, so a read-only mark (Wine, see CreateUnderRules)
    // does not make it stay as a second name of the published file.
    bool removed = DeleteFileW(temporary.c_str()) != FALSE;
    if (!removed && GetLastError() == ERROR_ACCESS_DENIED && ChangeReadOnlyMark(temporary, false)) {
      removed = DeleteFileW(temporary.c_str()) != FALSE;
    }
    error = removed ? FileError{} : LastSystemError();
    return true;
  }
  const DWORD code = GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) {
    error = SystemError(code);
    return false;
  }
  // Where the file system has no second names (FAT, some shares).
  if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    error = {};
    return true;
  }
  error = LastSystemError();
  return false;
}

AppendOutcome AppendToFile(const std::filesystem::path& path, const AppendWriter& write,
                           const std::vector<std::filesystem::path>& securityFrom, std::chrono::milliseconds patience) {
  AppendOutcome outcome;
  // The rules a file made here takes; with none to be had, no file is made.
  std::filesystem::path rulesFrom;
  TakenOver taken;
  FileError rulesError;
  const bool rulesKnown = StrictestRulesSource(securityFrom, rulesFrom, rulesError) &&
                          (rulesFrom.empty() || TakeOverFrom(rulesFrom, false, taken, rulesError));
  // Readers only: while the row is written nobody else can write in between,
  // and a reader (the tool's own read ahead, a virus scanner) sees the old
  // end or the new. Write access beyond appending is what cutting back needs.
  const DWORD access = FILE_APPEND_DATA | FILE_WRITE_DATA;
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD code = 0;
  RetryWhileRefused(patience, [&] {
    handle =
        !rulesKnown
            ? CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
        : rulesFrom.empty()
            ? CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
            : CreateUnderRules(path, access, OPEN_ALWAYS, taken, FILE_SHARE_READ);
    code = GetLastError();
    return handle == INVALID_HANDLE_VALUE && SystemError(code).InUse();
  });
  if (handle == INVALID_HANDLE_VALUE && !rulesKnown && Missing(code)) {
    AppendOutcome failed;
    failed.step = AppendOutcome::Step::Security;
    failed.error = rulesError;
    return failed;
  }
  if (handle == INVALID_HANDLE_VALUE) return file_steps::OpenFailed(SystemError(code));
  // OPEN_ALWAYS says in the same call whether the file was already there.
  outcome.created = rulesKnown && code != ERROR_ALREADY_EXISTS;
  WritingFile file(handle, path);
  LARGE_INTEGER zero{};
  LARGE_INTEGER before{};
  if (!SetFilePointerEx(handle, zero, &before, FILE_END)) {
    AppendOutcome failed = file_steps::OpenFailed(LastSystemError());
    failed.created = outcome.created;
    if (outcome.created) file.RemoveCreated();
    return failed;
  }
  file.AppendAfter(before);
  return file_steps::WriteAndKeepOrTakeBack(file, write, outcome);
}

std::intptr_t OpenLockFile(const std::filesystem::path& lockFile, bool deleteOnClose, FileError& error) {
  // Opened without sharing, so nobody else, here or on another machine using
  // the same share, can open it meanwhile. With delete-on-close it goes when
  // the last handle closes, also when the process dies.
  const HANDLE handle = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | (deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0u), nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = LastSystemError();
    return -1;
  }
  return reinterpret_cast<std::intptr_t>(handle);
}

FileLock::Outcome FileLock::Acquire(const std::filesystem::path& lockFile, std::chrono::milliseconds patience,
                                    FileError& error) {
  Release();
  const OpenLockStep& openLock = open_ ? open_ : OpenLockStep(OpenLockFile);
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    FileError failed;
    std::intptr_t handle = openLock(lockFile, true, failed);
    // Where one may create files but not delete them (some shares allow only
    // that) the lock file stays, harmless: the lock is the open handle.
    if (handle == -1 && failed.code == ERROR_ACCESS_DENIED) handle = openLock(lockFile, false, failed);
    failed = SystemError(failed.code);  // the step may give the code alone
    if (handle != -1) {
      native_ = handle;
      path_ = lockFile;
      return Outcome::Held;
    }
    // Denied both ways is also what a lock file answers while its deletion
    // is pending, just after its holder let go: that passes too.
    const bool passes = failed.InUse() || failed.code == ERROR_ACCESS_DENIED;
    // Still denied when the time is up: no deletion stays pending that long.
    const bool late = std::chrono::steady_clock::now() >= deadline;
    if (!passes || (late && failed.code == ERROR_ACCESS_DENIED)) {
      error = failed;
      return Outcome::Failed;
    }
    if (late) {
      error = failed;
      return Outcome::Busy;
    }
    Sleep(10);
  }
}

void FileLock::Release() {
  if (native_ == -1) return;
  ScopedHandle(reinterpret_cast<HANDLE>(native_)).Close();
  native_ = -1;
}
