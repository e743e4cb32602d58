// Two instances of the tool saving into the same folder at the same moment:
// real processes, many saves each, and no token may go missing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windef.h>
#include <winbase.h>

#include "provisioning/files/module_path_win.h"
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

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
    PROCESS_INFORMATION process{};
    if (CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
      CloseHandle(process.hThread);
      process_ = process.hProcess;
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
    return process_ != nullptr;
#else
    return pid_ > 0;
#endif
  }

  int Wait() {
#ifdef _WIN32
    WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    CloseHandle(process_);
    return static_cast<int>(code);
#else
    int status = 0;
    waitpid(pid_, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  }

 private:
#ifdef _WIN32
  HANDLE process_ = nullptr;
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

}  // namespace
}  // namespace seed_export_test
