// Two instances of the tool saving into the same folder at the same moment:
// real processes, many saves each, and no token may go missing.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windef.h>
#include <winbase.h>

#include "vendor/module_path_win.h"
#include "tests/support/win/win_test_support.h"
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

#include "provisioning/seed_files/seed_folder.h"
#include "seed_export_test_support.h"

namespace seed_export_test {
namespace {

constexpr int kSavesEach = 40;

// Starts the saver beside this test program; Wait() gives its exit code.
class Saver {
 public:
  explicit Saver(const std::vector<std::string>& arguments) {
#ifdef _WIN32
    const fs::path program = fs::path(FolderOfPath(ModuleFilePath(nullptr))) / L"seed_export_saver.exe";
    std::wstring command = L"\"" + program.wstring() + L"\"";
    for (const std::string& argument : arguments) command += L" \"" + fs::path(argument).wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &started)) {
      process_ = StartedProcess(started);
    }
#else
    const std::string program = (fs::read_symlink("/proc/self/exe").parent_path() / "seed_export_saver").string();
    std::vector<std::string> texts{program};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
#endif
  }

  bool Started() const {
#ifdef _WIN32
    return process_.Started();
#else
    return pid_ > 0;
#endif
  }

  int Wait() {
#ifdef _WIN32
    WaitForSingleObject(process_.Handle(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process_.Handle(), &code);
    return static_cast<int>(code);
#else
    int status = 0;
    waitpid(pid_, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  }

 private:
#ifdef _WIN32
  StartedProcess process_;
#else
  pid_t pid_ = -1;
#endif
};

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(SeedExportInstances, TwoProcessesSavingAtTheSameMomentLoseNoToken) {
  TempFolder folder;
  TempFolder control;
  const std::string start = (control / "start").string();
  Saver first({folder.Path().string(), "A", std::to_string(kSavesEach), start});
  Saver second({folder.Path().string(), "B", std::to_string(kSavesEach), start});
  ASSERT_TRUE(first.Started() && second.Started());
  WriteBytes(control / "start", "");
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(second.Wait(), 0);

  const std::string xml = ReadBytes(folder / "hseeds.xml");
  const std::string csv = ReadBytes(folder / "hseeds.csv");
  int missingXml = 0;
  int missingCsv = 0;
  for (const char* prefix : {"A", "B"}) {
    for (int index = 0; index < kSavesEach; ++index) {
      std::string serial = std::to_string(index);
      serial = prefix + std::string(12 - serial.size(), '0') + serial;
      if (Occurrences(xml, "<serial>" + serial + "</serial>") != 1) ++missingXml;
      if (Occurrences(csv, Utf16Le(std::u16string(serial.begin(), serial.end()) + u",")) != 1) ++missingCsv;
    }
  }
  EXPECT_EQ(missingXml, 0) << "tokens lost from hseeds.xml";
  EXPECT_EQ(missingCsv, 0) << "rows lost from hseeds.csv";
  EXPECT_EQ(Occurrences(csv, Utf16Le(u"Serial Number, Secret Key\r\n")), 1u);
  EXPECT_EQ(folder.Entries(), (Names{"hseeds.csv", "hseeds.xml"}));
}

// Two instances given one typed serial click "Save" at the same moment, on
// two workstations sharing the folder: one saves it, the other is refused,
// and the server never gets two seeds for it.
TEST(SeedExportInstances, OneSerialSavedAtOnceByTwoProcessesGetsOneSeed) {
  constexpr int kTries = 20;
  const std::string serial = "0000000000125";
  for (int attempt = 0; attempt < kTries; ++attempt) {
    SCOPED_TRACE(attempt);
    TempFolder folder;
    TempFolder control;
    const std::string start = (control / "start").string();
    Saver first({"reserve", folder.Path().string(), serial, "49", start});
    Saver second({"reserve", folder.Path().string(), serial, "50", start});
    ASSERT_TRUE(first.Started() && second.Started());
    WriteBytes(control / "start", "");
    const int firstCode = first.Wait();
    const int secondCode = second.Wait();
    EXPECT_EQ((firstCode == 0) + (secondCode == 0), 1) << firstCode << " " << secondCode;
    const int inUse = 10 + static_cast<int>(Reservation::Outcome::InUse);
    EXPECT_EQ(firstCode + secondCode, inUse) << "the other one must be refused as in use, not fail";

    const std::string xml = ReadBytes(folder / "hseeds.xml");
    EXPECT_EQ(Occurrences(xml, "<serial>" + serial + "</serial>"), 1u);
    EXPECT_EQ(Occurrences(xml, "<seed>"), 1u);
    EXPECT_EQ(Occurrences(ReadBytes(folder / "hseeds.csv"), Utf16Le(u"0000000000125,")), 1u);
    EXPECT_EQ(folder.Entries(), (Names{"hseeds.csv", "hseeds.xml"}));
  }
}

#ifdef _WIN32
// A virus scanner or the indexer opens the new file just as it is to take the
// old one's place: a real process holds it, the swap waits for it to let go,
// for a bounded time.
TEST(SeedExportInstances, NewFileHeldByAnotherProgramIsSwappedInWhenItLetsGoInTime) {
  struct Case {
    int holdMs;
    int retryMs;
    bool published;
  };
  for (const Case c : {Case{400, 3000, true}, Case{3000, 200, false}}) {
    SCOPED_TRACE(c.holdMs);
    TempFolder folder;
    WriteBytes(folder / "seeds.xml", "old");
    std::unique_ptr<Saver> holder;
    std::vector<std::uint32_t> refusals;
    PublishOptions options;
    options.retryFor = std::chrono::milliseconds(c.retryMs);
    options.swap = [&](const fs::path& temporary, const fs::path& target, bool exists, FileError& error) {
      if (!holder) {
        holder =
            std::make_unique<Saver>(std::vector<std::string>{"hold", temporary.string(), std::to_string(c.holdMs)});
        // Held once the file can no longer be opened for deleting.
        // The probe closes at once: open, it would keep the holder out.
        const auto deletable = [&] {
          return ScopedHandle(CreateFileW(temporary.c_str(), DELETE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, 0, nullptr))
              .Valid();
        };
        for (int wait = 0; wait < 1000 && deletable(); ++wait) Sleep(10);
      }
      if (SwapByRename(temporary, target, exists, error)) return true;
      refusals.push_back(error.code);
      return false;
    };
    const PublishOutcome outcome = PublishFile(
        folder / "seeds.xml", [](ByteSink& out) { return out.Write("new", 3); }, options);
    ASSERT_TRUE(holder && holder->Started());
    EXPECT_EQ(holder->Wait(), 0);
    EXPECT_EQ(outcome.Published(), c.published);
    EXPECT_EQ(ReadBytes(folder / "seeds.xml"), c.published ? "new" : "old");
    ASSERT_FALSE(refusals.empty());
    for (const std::uint32_t code : refusals) {
      EXPECT_TRUE(code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED) << code;
    }
    // What the holder kept from being removed is an ordinary leftover once it lets go.
    for (const TemporaryFile& left : FindTemporaries(folder / "seeds.xml")) {
      EXPECT_FALSE(c.published);
      EXPECT_TRUE(RemoveTemporary(left.path).Removed());
    }
    EXPECT_EQ(folder.Entries(), (Names{"seeds.xml"}));
  }
}
#endif

}  // namespace
}  // namespace seed_export_test
