// The file layer itself, on the platform's real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windef.h>
#include <winbase.h>

#include "files/scoped_handle_win.h"
#include "tests/support/win/win_test_support.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "files/file_io.h"
#include "files/file_steps.h"
#include "tests/support/file_links.h"
#include "tests/support/file_rules.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// More than the layer gathers before writing, so the bytes reach the file.
const std::string kLargePiece(200000, 'x');

TEST(FileLayerAppend, WriteThatGivesUpPartWayLeavesNoTrace) {
  TempFolder folder;
  WriteBytes(folder / "existing.csv", "old row\r\n");
  const AppendOutcome existing = AppendToFile(folder / "existing.csv", [](ByteSink& out, bool created) {
    EXPECT_FALSE(created);
    EXPECT_TRUE(out.Write(kLargePiece.data(), kLargePiece.size()));
    return false;
  });
  EXPECT_EQ(existing.step, AppendOutcome::Step::Cancelled);
  EXPECT_TRUE(existing.restored);
  EXPECT_EQ(ReadBytes(folder / "existing.csv"), "old row\r\n");

  const AppendOutcome created = AppendToFile(folder / "new.csv", [](ByteSink& out, bool created) {
    EXPECT_TRUE(created);
    out.Write(kLargePiece.data(), kLargePiece.size());
    return false;
  });
  EXPECT_EQ(created.step, AppendOutcome::Step::Cancelled);
  EXPECT_TRUE(created.created);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"existing.csv"}));

  const AppendOutcome appended =
      AppendToFile(folder / "existing.csv", [](ByteSink& out, bool) { return out.Write("new row\r\n", 9); });
  EXPECT_TRUE(appended.Appended());
  EXPECT_EQ(ReadBytes(folder / "existing.csv"), "old row\r\nnew row\r\n");
}

// A file of 100 bytes on a disk with room for `room` more, whose cut back
// to its old length may fail too, for the append's own steps.
class FullDiskFile {
 public:
  FullDiskFile(std::size_t room, bool cutFails) : sink_(length_, room), cutFails_(cutFails) {}
  BufferedSink& Sink() { return sink_; }
  FileError SinkError() const { return {112}; }
  bool TakeBack(FileError& error) {
    if (cutFails_) error.code = 112;
    if (!cutFails_) length_ = 100;
    return !cutFails_;
  }
  bool HoldsOldLength() const { return length_ == 100; }
  void RemoveCreated() {}
  bool Close(FileError&) { return true; }

 private:
  class RoomySink final : public BufferedSink {
   public:
    RoomySink(std::size_t& length, std::size_t room) : length_(length), room_(room) {}

   protected:
    bool WriteOut(const void*, std::size_t size) override {
      const std::size_t landed = std::min(size, room_);
      length_ += landed;
      room_ -= landed;
      return landed == size;
    }

   private:
    std::size_t& length_;
    std::size_t room_;
  };
  std::size_t length_ = 100;
  RoomySink sink_;
  bool cutFails_;
};

// A row that does not fit: what the outcome says of the file is what it
// holds, also when the cut back fails where nothing had landed.
TEST(FileLayerAppend, FullDiskSaysWhatTheFileHolds) {
  struct Case {
    const char* name;
    std::size_t room;
    bool cutFails;
    bool restored;
  };
  for (const Case& c :
       {Case{"nothing landed, cut refused", 0, true, true}, Case{"part landed, cut back", 5, false, true},
        Case{"part landed, cut refused", 5, true, false}}) {
    SCOPED_TRACE(c.name);
    FullDiskFile file(c.room, c.cutFails);
    const AppendOutcome outcome = file_steps::WriteAndKeepOrTakeBack(
        file, [](ByteSink& out, bool) { return out.Write("0000123456789,row\r\n", 19); }, AppendOutcome{});
    EXPECT_EQ(outcome.step, AppendOutcome::Step::Write);
    EXPECT_EQ(outcome.restored, c.restored);
    EXPECT_EQ(outcome.restoreError.code, c.restored ? 0u : 112u);
  }
}

// Holds a file open the way a save in another process holds its temporary.
class HeldFile {
 public:
  explicit HeldFile(const fs::path& path) {
#ifdef _WIN32
    handle_ = ScopedHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
#else
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd_ >= 0) flock(fd_, LOCK_EX);
#endif
  }
#ifndef _WIN32
  ~HeldFile() { close(fd_); }
#endif

 private:
#ifdef _WIN32
  ScopedHandle handle_;
#else
  int fd_;
#endif
};

bool Publish(const fs::path& target, const std::string& text) {
  return PublishFile(target, [&](ByteSink& out) { return out.Write(text.data(), text.size()); }).Published();
}

TEST(FileLayerPublish, LeftoversOfEarlierSavesNeverBlockASave) {
  TempFolder folder;
  // Names of this process's id and every small counter, as a run that died
  // with the same process id might have left them.
#ifdef _WIN32
  const std::string pid = std::to_string(GetCurrentProcessId());
#else
  const std::string pid = std::to_string(getpid());
#endif
  for (int counter = 0; counter < 1000; ++counter) {
    WriteBytes(folder.Path() / ("seeds.xml." + pid + "." + std::to_string(counter) + ".tmp"), "old");
  }
  EXPECT_TRUE(Publish(folder / "seeds.xml", "new"));
  EXPECT_EQ(ReadBytes(folder / "seeds.xml"), "new");
}

TEST(FileLayerPublish, LeftoversAreFoundAndLeftToTheCallerHeldOnesCannotBeRemoved) {
  TempFolder folder;
  const std::string leftover = "seeds.xml.otp-0123456789abcdef.tmp";
  const std::string held = "seeds.xml.otp-fedcba9876543210.tmp";
  const std::vector<std::string> foreign{"other.xml.otp-0123456789abcdef.tmp", "seeds.xml.backup.tmp",
                                         "seeds.xml.otp-0123.tmp"};
  WriteBytes(folder.Path() / leftover, "plaintext seeds of a save that was killed");
  for (const std::string& name : foreign) WriteBytes(folder.Path() / name, "not ours");
  WriteBytes(folder.Path() / held, "a save that is still running");
  fs::last_write_time(folder.Path() / leftover, fs::file_time_type::clock::now() - std::chrono::hours(1));
  HeldFile holding(folder.Path() / held);

  // Publishing never removes one: it may be the only copy of something.
  EXPECT_TRUE(Publish(folder / "seeds.xml", "new"));
  std::vector<TemporaryFile> found = FindTemporaries(folder / "seeds.xml");
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].path.filename().u8string(), leftover);
  EXPECT_FALSE(found[0].inUse);
  EXPECT_GE(found[0].ageSeconds, 3000);
  EXPECT_EQ(found[1].path.filename().u8string(), held);
  EXPECT_TRUE(found[1].inUse);

  EXPECT_EQ(RemoveTemporary(folder.Path() / held).state, RemoveOutcome::State::InUse);
  EXPECT_TRUE(RemoveTemporary(folder.Path() / leftover).Removed());
  std::vector<std::string> expected{held, "seeds.xml"};
  expected.insert(expected.end(), foreign.begin(), foreign.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folder.Entries(), expected);
}

TEST(FileLayerPublish, RestoringATemporaryNeverReplacesAFile) {
  TempFolder folder;
  const fs::path temporary = folder / "seeds.xml.otp-0123456789abcdef.tmp";
  WriteBytes(temporary, "complete");
  WriteBytes(folder / "seeds.xml", "someone else's");
  FileError error;
  EXPECT_FALSE(RestoreTemporary(temporary, folder / "seeds.xml", error));
  EXPECT_EQ(ReadBytes(folder / "seeds.xml"), "someone else's");
  fs::remove(folder / "seeds.xml");
  EXPECT_TRUE(RestoreTemporary(temporary, folder / "seeds.xml", error));
  EXPECT_EQ(error.code, 0u);
  EXPECT_EQ(ReadBytes(folder / "seeds.xml"), "complete");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"seeds.xml"}));
#ifdef _WIN32
  // Read by a program that does not share deletion: the file takes the name,
  // and that its temporary's name stays is said.
  fs::rename(folder / "seeds.xml", temporary);
  const ScopedHandle reader(CreateFileW(temporary.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_TRUE(RestoreTemporary(temporary, folder / "seeds.xml", error));
  EXPECT_EQ(error.code, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(ReadBytes(folder / "seeds.xml"), "complete");
  EXPECT_TRUE(fs::exists(temporary));
#endif
}

// A leftover or record goes only holding the bytes the caller approves, as
// read through the open file that then goes; a running save's is not read.
TEST(FileLayerPublish, ContentCheckedRemovalGoesOnlyWithTheApprovedBytes) {
  struct Case {
    const char* name;
    const char* holds;  // null: no such file
    bool heldBySave;
    RemoveOutcome::State state;
  };
  const Case cases[] = {
      {"unchanged", "judged bytes", false, RemoveOutcome::State::Removed},
      {"changed, same size", "judged bytez", false, RemoveOutcome::State::Differs},
      {"longer", "judged bytes!", false, RemoveOutcome::State::Differs},
      {"held by a running save", "judged bytes", true, RemoveOutcome::State::InUse},
      {"missing", nullptr, false, RemoveOutcome::State::Missing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const fs::path leftover = folder / "seeds.xml.otp-0123456789abcdef.tmp";
    if (c.holds) WriteBytes(leftover, c.holds);
    std::optional<HeldFile> holding;
    if (c.heldBySave) holding.emplace(leftover);
    bool read = false;
    const RemoveOutcome removed = RemoveIfHolds(leftover, [&](ByteSource& content) {
      read = true;
      std::string bytes(64, '\0');
      std::size_t used = 0;
      for (std::optional<std::size_t> got; (got = content.Read(&bytes[used], bytes.size() - used)) && *got > 0;) {
        used += *got;
      }
      return bytes.substr(0, used) == "judged bytes";
    });
    EXPECT_EQ(removed.state, c.state);
    EXPECT_EQ(read, c.state == RemoveOutcome::State::Removed || c.state == RemoveOutcome::State::Differs);
    EXPECT_EQ(fs::exists(leftover), c.holds && c.state != RemoveOutcome::State::Removed);
  }
}

// Removing a leftover removes that name only: one that is a link, to the
// seed file beside it or to a file elsewhere, is left alone, and its file too.
TEST(FileLayerPublish, RemovingALeftoverNeverRemovesWhatALinkLeadsTo) {
  struct Case {
    const char* name;
    const char* leadsTo;  // null: a plain file
  };
  for (const Case& c : {Case{"plain", nullptr}, Case{"link to the seed file", "seeds/seeds.xml"},
                        Case{"link out of the folder", "outside.xml"}}) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    fs::create_directory(folder / "seeds");
    const fs::path seeds = folder / "seeds" / "seeds.xml";
    const fs::path leftover = folder.Path() / "seeds" / "seeds.xml.otp-0123456789abcdef.tmp";
    WriteBytes(seeds, "tokens");
    WriteBytes(folder / "outside.xml", "other");
    std::optional<LinkRemover> removeLink;
    if (!c.leadsTo) {
      WriteBytes(leftover, "old");
    } else if (MakeLink(leftover, folder.Path() / c.leadsTo)) {
      removeLink.emplace(leftover, folder.Path() / c.leadsTo);
    } else {
      GTEST_SKIP() << "no symbolic links here";
    }
    const std::vector<TemporaryFile> found = FindTemporaries(seeds);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].link, c.leadsTo != nullptr);
    EXPECT_EQ(RemoveTemporary(leftover).state, c.leadsTo ? RemoveOutcome::State::Link : RemoveOutcome::State::Removed);
    EXPECT_EQ(ReadBytes(seeds), "tokens");
    EXPECT_EQ(ReadBytes(folder / "outside.xml"), "other");
    EXPECT_EQ(fs::exists(leftover), c.leadsTo != nullptr);
  }
}

// The swap's outcomes as the system documents them, made to happen by a
// swap of the test's own: what is left under which name, and what is said.
TEST(FileLayerPublish, EveryOutcomeOfTheSwapLeavesACompleteFileUnderTheNameOrKeepsTheTemporary) {
#ifdef _WIN32
  // MoveFileExW's: the target open without delete sharing, or denied.
  constexpr std::uint32_t kAccessDenied = ERROR_ACCESS_DENIED, kSharing = ERROR_SHARING_VIOLATION,
                          kOther = ERROR_DISK_FULL;
#else
  constexpr std::uint32_t kOther = ENOSPC;
#endif
  enum class Doing { Nothing, RemoveTarget, RemoveAndRecreateTarget };
  struct Case {
    const char* name;
    std::uint32_t code;
    Doing doing;
    int failures;  // how many tries fail before one succeeds; -1 every one
    PublishOutcome::Step step;
    const char* under;  // what the name holds afterwards
    bool kept;          // the temporary stays
  };
  const Case cases[] = {
      {"other failure", kOther, Doing::Nothing, -1, PublishOutcome::Step::Replace, "old", false},
      {"target gone meanwhile", kOther, Doing::RemoveTarget, -1, PublishOutcome::Step::Published, "new", false},
      {"replaced by another program meanwhile", kOther, Doing::RemoveAndRecreateTarget, -1,
       PublishOutcome::Step::Replace, "recreated", false},
#ifdef _WIN32
      {"scanner holds the file for a moment", kSharing, Doing::Nothing, 3, PublishOutcome::Step::Published, "new",
       false},
      {"access denied for a moment", kAccessDenied, Doing::Nothing, 2, PublishOutcome::Step::Published, "new", false},
      {"access denied for good", kAccessDenied, Doing::Nothing, -1, PublishOutcome::Step::Replace, "old", false},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const fs::path target = folder / "seeds.xml";
    WriteBytes(target, "old");
    int tries = 0;
    PublishOptions options;
    options.retryFor = std::chrono::milliseconds(300);
    options.swap = [&](const fs::path& temporary, const fs::path& to, bool exists, FileError& error) {
      EXPECT_TRUE(exists);
      EXPECT_EQ(ReadBytes(temporary), "new");
      if (c.failures >= 0 && tries++ >= c.failures) {
        fs::rename(temporary, to);
        return true;
      }
      if (c.doing != Doing::Nothing) fs::remove(to);
      if (c.doing == Doing::RemoveAndRecreateTarget) WriteBytes(to, "recreated");
      error.code = c.code;
      return false;
    };
    const PublishOutcome outcome = PublishFile(
        target, [](ByteSink& out) { return out.Write("new", 3); }, options);
    EXPECT_EQ(outcome.step, c.step);
    EXPECT_EQ(ReadBytes(target), c.under);
    const std::vector<TemporaryFile> left = FindTemporaries(target);
    EXPECT_EQ(left.size(), c.kept ? 1u : 0u);
    EXPECT_EQ(outcome.keptTemporary.empty(), !c.kept);
    if (c.kept && !left.empty()) {
      EXPECT_EQ(left[0].path, outcome.keptTemporary);
      EXPECT_EQ(ReadBytes(left[0].path), "new");
    }
  }
}

// Marks a file read-only the platform's way, or takes the mark off again.
void SetReadOnly(const fs::path& path, bool readOnly) {
#ifdef _WIN32
  SetFileAttributesW(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
  fs::permissions(path, readOnly ? fs::perms::owner_read | fs::perms::group_read : fs::perms::owner_all);
#endif
}

TEST(FileLayerPublish, ReplacedFileKeepsWhatItWas) {
  TempFolder folder;
  WriteBytes(folder / "seeds.xml", "old");
#ifdef _WIN32
  // Hidden and system as an administrator may mark a file.
  const DWORD marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  KeepOthersOut(folder / "seeds.xml");
  const std::string before = RulesOf(folder / "seeds.xml");
  ASSERT_TRUE(SetFileAttributesW((folder / "seeds.xml").c_str(), marks));
  ASSERT_TRUE(Publish(folder / "seeds.xml", "new"));
  EXPECT_EQ(GetFileAttributesW((folder / "seeds.xml").c_str()) & marks, marks);
  EXPECT_EQ(RulesOf(folder / "seeds.xml"), before);
  SetFileAttributesW((folder / "seeds.xml").c_str(), FILE_ATTRIBUTE_NORMAL);
#else
  const fs::perms restricted = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(folder / "seeds.xml", restricted);
  ASSERT_TRUE(Publish(folder / "seeds.xml", "new"));
  EXPECT_EQ(fs::status(folder / "seeds.xml").permissions(), restricted);
#endif
  EXPECT_EQ(ReadBytes(folder / "seeds.xml"), "new");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"seeds.xml"}));
}

// A seed is never on disk under rules weaker than its seed file's: the
// temporary has them before its first byte, read while the writer writes; a
// new file takes them from the file named for it, or inherits from the
// folder as any new file there does.
TEST(FileLayerPublish, TemporaryHasItsRulesBeforeItsFirstByte) {
  struct Case {
    const char* name;
    const char* target;
    std::string securityFrom;
    const char* rulesOf;  // the file whose rules the new one must have; null: nothing is written
  };
  const Case cases[] = {
      {"replacing the seed file", "seeds.xml", "", "seeds.xml"},
      {"new, taking the seed file's", "seeds.pending-0123456789abcdef.xml", "seeds.xml", "seeds.xml"},
      {"new, the file named for it missing", "other.xml", "missing.xml", "plain.xml"},
#ifdef _WIN32
      {"new, the file named for it unreadable", "other.xml", "bad|name.xml", nullptr},
#else
      {"new, the file named for it unreadable", "other.xml", std::string(300, 'x'), nullptr},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    WriteBytes(folder / "seeds.xml", "old");
    KeepOthersOut(folder / "seeds.xml");
    WriteBytes(folder / "plain.xml", "as the folder gives it");
    const fs::path target = folder / c.target;
    PublishOptions options;
    if (!c.securityFrom.empty()) options.securityFrom = {folder.Path() / c.securityFrom};
    std::string whileWriting = "never written";
    const PublishOutcome outcome = PublishFile(
        target,
        [&](ByteSink& out) {
          const std::vector<TemporaryFile> temporaries = FindTemporaries(target);
          if (temporaries.size() == 1) whileWriting = RulesOf(temporaries[0].path);
          return out.Write("new", 3);
        },
        options);
    if (!c.rulesOf) {
      EXPECT_EQ(outcome.step, PublishOutcome::Step::Security);
      EXPECT_EQ(whileWriting, "never written");
      EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"plain.xml", "seeds.xml"}));
      continue;
    }
    ASSERT_TRUE(outcome.Published());
    EXPECT_EQ(whileWriting, RulesOf(folder / c.rulesOf));
    EXPECT_EQ(RulesOf(target), RulesOf(folder / c.rulesOf));
  }
}

// A new file, published or appended to, takes the strictest rules of the
// files named for it that exist: on POSIX the permission bits all of them
// grant (a group's only where they share it); on Windows the DACL granting
// Everyone and the users at large the least. None there: the folder's.
TEST(FileLayerRules, NewFileTakesTheStrictestRulesOfThoseNamed) {
  struct Case {
    const char* name;
    std::vector<std::string>
        named;            // "closed", "open", POSIX "group" (0640), "others" (0604); "" missing; longer: that name
    const char* rulesOf;  // "closed" or "open" (the folder's); null: refused, nothing made
  };
  const Case cases[] = {
      {"closed, then open", {"closed", "open"}, "closed"},
      {"open, then closed", {"open", "closed"}, "closed"},
      {"missing, then closed", {"", "closed"}, "closed"},
      {"both missing", {"", ""}, "open"},
#ifndef _WIN32
      {"neither a subset of the other", {"group", "others"}, "closed"},
      {"one unreadable", {"open", std::string(300, 'x')}, nullptr},
#else
      {"one unreadable", {"open", "bad|name.xml"}, nullptr},
#endif
  };
  for (const Case& c : cases) {
    for (const bool append : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (append ? ", appended" : ", published"));
      TempFolder folder;
      WriteBytes(folder / "closed", "");
      KeepOthersOut(folder / "closed");
      WriteBytes(folder / "open", "");
      std::vector<fs::path> named;
      for (std::size_t i = 0; i < c.named.size(); ++i) {
        const std::string& kind = c.named[i];
        const fs::path file = folder.Path() / (kind.size() < 10 ? "named" + std::to_string(i) : kind);
        named.push_back(file);
        if (kind.empty() || kind.size() >= 10) continue;
        WriteBytes(file, "");
        if (kind == "closed") KeepOthersOut(file);
#ifndef _WIN32
        const fs::perms both = fs::perms::owner_read | fs::perms::owner_write;
        if (kind == "group") fs::permissions(file, both | fs::perms::group_read, fs::perm_options::replace);
        if (kind == "others") fs::permissions(file, both | fs::perms::others_read, fs::perm_options::replace);
#endif
      }
      const fs::path target = folder / "new.csv";
      bool made = false;
      if (append) {
        made = AppendToFile(
                   target, [](ByteSink& out, bool) { return out.Write("row", 3); }, named)
                   .Appended();
      } else {
        PublishOptions options;
        options.securityFrom = named;
        made = PublishFile(
                   target, [](ByteSink& out) { return out.Write("row", 3); }, options)
                   .Published();
      }
      ASSERT_EQ(made, c.rulesOf != nullptr);
      if (!made) {
        EXPECT_FALSE(fs::exists(target));
        continue;
      }
      EXPECT_EQ(RulesOf(target), RulesOf(folder / c.rulesOf));
    }
  }
}

// A file made under the rules of a read-only one is not read-only (under
// Wine the rules alone carried the mark); one of ours marked so goes anyway.
TEST(FileLayerRules, FilesWeMakeAreNotReadOnlyAndOursGoDespiteTheMark) {
  const fs::perms anyWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  TempFolder folder;
  WriteBytes(folder / "seeds.xml", "");
  SetReadOnly(folder / "seeds.xml", true);
  const std::vector<fs::path> rulesFrom{folder / "seeds.xml"};
  ASSERT_TRUE(AppendToFile(
                  folder / "appended", [](ByteSink& out, bool) { return out.Write("row", 3); }, rulesFrom)
                  .Appended());
  PublishOptions options;
  options.securityFrom = rulesFrom;
  ASSERT_TRUE(PublishFile(
                  folder / "published", [](ByteSink& out) { return out.Write("row", 3); }, options)
                  .Published());
  SetReadOnly(folder / "seeds.xml", false);
  for (const char* made : {"appended", "published"}) {
    EXPECT_NE(fs::status(folder / made).permissions() & anyWrite, fs::perms::none) << made;
    SetReadOnly(folder / made, true);
  }
  EXPECT_EQ(RemoveTemporary(folder / "appended").state, RemoveOutcome::State::Removed);
  EXPECT_EQ(RemoveIfHolds(folder / "published", [](ByteSource&) { return true; }).state, RemoveOutcome::State::Removed);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"seeds.xml"}));
}

TEST(FileLayerPublish, ReadOnlyTargetIsReportedAndLeftAlone) {
  TempFolder folder;
  WriteBytes(folder / "seeds.xml", "old");
  SetReadOnly(folder / "seeds.xml", true);
  const PublishOutcome outcome = PublishFile(folder / "seeds.xml", [](ByteSink& out) { return out.Write("new", 3); });
  SetReadOnly(folder / "seeds.xml", false);
  EXPECT_EQ(outcome.step, PublishOutcome::Step::ReadOnly);
  EXPECT_EQ(ReadBytes(folder / "seeds.xml"), "old");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"seeds.xml"}));
}

// A seed file may be a link to a file elsewhere: absolute, relative, or one
// whose file is missing. The link stays a link and its file gets the contents
// (checked twice: a link turned into a plain file would get the first only),
// or the save is refused; no file is ever lost. Under Wine a link is a host
// link, which its file API shows as a plain file or, dangling, not at all.
TEST(FileLayerPublish, LinkStaysALinkAndTheFileItLeadsToGetsTheContents) {
  struct Case {
    const char* name;
    bool relative;
    bool dangling;
  };
  for (const Case& c : {Case{"absolute", false, false}, Case{"relative", true, false}, Case{"dangling", true, true}}) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    fs::create_directory(folder / "data");
    WriteBytes(folder / "data" / "real.xml", "old");
    const fs::path linked = c.relative ? fs::path("data") / "real.xml" : folder / "data" / "real.xml";
    if (!MakeLink(folder / "seeds.xml", linked)) GTEST_SKIP() << "no symbolic links here";
    const LinkRemover removeLink{folder / "seeds.xml", folder / "data" / "real.xml"};
    if (c.dangling) fs::remove(folder / "data" / "real.xml");
    const PublishOutcome first = PublishFile(folder / "seeds.xml", [](ByteSink& out) { return out.Write("new", 3); });
    if (!first.Published()) {
      // Refused: only where the link cannot be seen through.
      EXPECT_TRUE(c.dangling);
      EXPECT_FALSE(fs::exists(folder / "data" / "real.xml"));
      // Still the link: once its file is back, the name leads to it.
      WriteBytes(folder / "data" / "real.xml", "back");
      EXPECT_EQ(ReadBytes(folder / "seeds.xml"), "back");
      EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"data", "seeds.xml"}));
      continue;
    }
    EXPECT_EQ(ReadBytes(folder / "data" / "real.xml"), "new");
    EXPECT_TRUE(Publish(folder / "seeds.xml", "newer"));
    EXPECT_EQ(ReadBytes(folder / "data" / "real.xml"), "newer");
    EXPECT_EQ(ReadBytes(folder / "seeds.xml"), "newer");
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"data", "seeds.xml"}));
    std::vector<std::string> data;
    for (const auto& entry : fs::directory_iterator(folder / "data"))
      data.push_back(entry.path().filename().u8string());
    EXPECT_EQ(data, std::vector<std::string>{"real.xml"});
  }
}

// The lock file's documented answers, given to each attempt at opening it in
// turn (0: the real attempt): which pass and are waited for, which end it.
TEST(FileLayerLock, AnswersThatPassAreWaitedForTheOthersEndTheWait) {
#ifdef _WIN32
  constexpr std::uint32_t kDenied = ERROR_ACCESS_DENIED, kNoFolder = ERROR_PATH_NOT_FOUND;
#else
  constexpr std::uint32_t kDenied = EACCES, kNoFolder = ENOENT;
#endif
  struct Case {
    const char* name;
    std::vector<std::uint32_t> answers;  // then the last one for good
    FileLock::Outcome outcome;
    bool waited;              // for all the patience
    bool lockFileStaysAfter;  // made without delete-on-close
  };
  const Case cases[] = {
      {"no folder", {kNoFolder}, FileLock::Outcome::Failed, false, false},
#ifdef _WIN32
      {"deletion pending, then gone", {kDenied, kDenied, kDenied, kDenied, 0}, FileLock::Outcome::Held, false, false},
      {"may create but not delete", {kDenied, 0}, FileLock::Outcome::Held, false, true},
      {"denied for good", {kDenied}, FileLock::Outcome::Failed, true, false},
      {"held by another instance", {ERROR_SHARING_VIOLATION}, FileLock::Outcome::Busy, true, false},
#else
      {"denied", {kDenied}, FileLock::Outcome::Failed, false, false},
#endif
  };
  const std::chrono::milliseconds patience{300};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    std::size_t tries = 0;
    FileLock lock([&](const fs::path& file, bool deleteOnClose, FileError& error) -> std::intptr_t {
      const std::uint32_t answer = c.answers[std::min(tries++, c.answers.size() - 1)];
      if (answer == 0) return OpenLockFile(file, deleteOnClose, error);
      error.code = answer;
      return -1;
    });
    FileError error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lock.Acquire(folder / "seeds.xml.lock", patience, error), c.outcome);
    EXPECT_EQ(std::chrono::steady_clock::now() - start >= patience, c.waited);
    if (c.outcome == FileLock::Outcome::Failed) {
      EXPECT_EQ(error.code, c.answers.back());
    }
    // The last refusal, with its kind: a caller tells a held lock from a refused one.
    EXPECT_EQ(error.InUse(), c.outcome == FileLock::Outcome::Busy);
    lock.Release();
    EXPECT_EQ(fs::exists(folder / "seeds.xml.lock"), c.lockFileStaysAfter);
  }
}

}  // namespace
