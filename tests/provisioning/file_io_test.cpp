// The file layer itself, on the platform's real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#ifdef _WIN32
#include <windef.h>
#include <winbase.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "provisioning/files/file_io.h"
#include "tests/virtualkey/temp_folder.h"

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

  const AppendOutcome appended = AppendToFile(folder / "existing.csv", [](ByteSink& out, bool) {
    return out.Write("new row\r\n", 9);
  });
  EXPECT_TRUE(appended.Appended());
  EXPECT_EQ(ReadBytes(folder / "existing.csv"), "old row\r\nnew row\r\n");
}

// Holds a file open the way a save in another process holds its temporary.
class HeldFile {
 public:
  explicit HeldFile(const fs::path& path) {
#ifdef _WIN32
    handle_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd_ >= 0) flock(fd_, LOCK_EX);
#endif
  }
  ~HeldFile() {
#ifdef _WIN32
    CloseHandle(handle_);
#else
    close(fd_);
#endif
  }

 private:
#ifdef _WIN32
  HANDLE handle_;
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

TEST(FileLayerPublish, StaleTemporariesOfTheTargetAreRemovedAndHeldOnesKept) {
  TempFolder folder;
  const char* stale = "seeds.xml.otp-0123456789abcdef.tmp";
  const char* held = "seeds.xml.otp-fedcba9876543210.tmp";
  const std::vector<std::string> foreign{"other.xml.otp-0123456789abcdef.tmp", "seeds.xml.backup.tmp",
                                         "seeds.xml.otp-0123.tmp"};
  WriteBytes(folder / stale, "plaintext seeds of a save that was killed");
  for (const std::string& name : foreign) WriteBytes(folder.Path() / name, "not ours");
  HeldFile holding(folder / held);

  EXPECT_TRUE(Publish(folder / "seeds.xml", "new"));

  std::vector<std::string> expected{held, "seeds.xml"};
  expected.insert(expected.end(), foreign.begin(), foreign.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folder.Entries(), expected);
}

}  // namespace
