// The real OtpTool.exe with the virtual key: the time from "Save" to the
// success line in the log, with hseeds.xml holding a given number of tokens,
// beside copying the same file and flushing the copy; and how much the save
// raised the tool's peak working set.
//   wine_save_bench <tokens>   prints "<save s> <copy+flush s> <added KiB>"
// And the serial "Generate" of the New Token form with the four seed files of
// a folder, written there first by "prepare", beside a read of all four into
// a reused buffer; with the rise of the tool's peak working set and working
// set over the first click:
//   wine_save_bench prepare <tokens> <folder>
//   wine_save_bench generate <folder>
//     prints "<read s> <first click s> <later click s> <+peak KiB> <+KiB>"
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/wine_bench_support.h"
#include "files/scoped_handle_win.h"
#include "resources/resource.h"
#include "tests/e2e/tool_driver.h"

namespace {

std::wstring Wide(const char* text) { return std::filesystem::path(text).wstring(); }

double CopyAndFlush(const std::wstring& from, const std::wstring& to) {
  const LARGE_INTEGER start = Now();
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return -1;
  ScopedHandle copy(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!copy.Valid()) return -1;
  const bool flushed = FlushFileBuffers(copy.Get());
  copy.Close();
  const double seconds = Seconds(start, Now());
  DeleteFileW(to.c_str());
  return flushed ? seconds : -1;
}

// The floor as a reader in this process meets it: every byte read once into
// one reused buffer of a reader's block size, nothing zero-filled.
double ReadInBlocks(const std::wstring& file) {
  static char buffer[1 << 20];
  const LARGE_INTEGER start = Now();
  ScopedHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle.Valid()) return -1;
  DWORD got = 0;
  do {
    if (!ReadFile(handle.Get(), buffer, sizeof buffer, &got, nullptr)) return -1;
  } while (got != 0);
  handle.Close();
  return Seconds(start, Now());
}

// Writes what a still-dirty file holds to the disk, so that the timed step
// after it does not also pay for writing it back.
bool Flush(const std::wstring& file) {
  ScopedHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  return handle.Valid() && FlushFileBuffers(handle.Get());
}

constexpr const wchar_t* kSeedFiles[] = {L"hseeds.xml", L"tseeds.xml", L"hseeds.csv", L"tseeds.csv"};

std::size_t WorkingSet(HANDLE process, bool peak) {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(process, &counters, sizeof counters);
  return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

// The files of `from` are linked into the tool's folder, not copied: the
// tool only reads them, and a copy would leave them to be written back
// while the tool reads.
int Generate(const std::wstring& from) {
  ToolFolder folder;
  for (const wchar_t* name : kSeedFiles) {
    const std::wstring source = from + L"\\" + name;
    if (!CreateHardLinkW(folder.File(name).c_str(), source.c_str(), nullptr) &&
        !CopyFileW(source.c_str(), folder.File(name).c_str(), FALSE)) {
      return 1;
    }
  }
  double read = 0;
  for (const wchar_t* name : kSeedFiles) read += ReadInBlocks(folder.File(name));
  ToolUnderTest tool(folder);
  if (!tool.Started()) return 1;
  tool.Click(IDC_NEW_TOKEN);
  const HWND form = tool.WaitForDialog(L"New Token");
  if (!form) return 1;
  const ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, tool.ProcessId()));
  const std::size_t before = WorkingSet(process.Get(), false);
  const double first = GenerateClick(form);
  const std::size_t peak = WorkingSet(process.Get(), true);
  const std::size_t after = WorkingSet(process.Get(), false);
  double later[5];
  for (double& click : later) click = GenerateClick(form);
  std::sort(std::begin(later), std::end(later));
  std::printf("%.6f %.6f %.6f %lld %lld\n", read, first, later[2],
              (static_cast<long long>(peak) - static_cast<long long>(before)) / 1024,
              (static_cast<long long>(after) - static_cast<long long>(before)) / 1024);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 4 && mode == "prepare") return PrepareSeedFiles(Wide(argv[3]), std::atol(argv[2])) ? 0 : 1;
  if (argc == 3 && mode == "generate") return Generate(Wide(argv[2]));
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: wine_save_bench <tokens> | wine_save_bench prepare <tokens> <folder> |"
                 " wine_save_bench generate <folder>\n");
    return 2;
  }
  ToolFolder folder;
  // Written and flushed, so that neither the floor nor the save pays for
  // writing the new file back.
  if (!WriteSeedFile(folder.File(L"hseeds.xml"), std::atol(argv[1])) || !Flush(folder.File(L"hseeds.xml"))) return 1;
  const double copy = CopyAndFlush(folder.File(L"hseeds.xml"), folder.File(L"copy.xml"));

  ToolUnderTest tool(folder);
  if (!tool.Started()) return 1;
  tool.Click(IDC_NEW_TOKEN);
  const HWND form = tool.WaitForDialog(L"New Token");
  if (!form) return 1;
  ClickButton(form, IDC_ALGORITHM_HOTP);
  PostCommand(form, IDC_GENERATE_SEED);
  for (int i = 0; i < 200 && !IsWindowEnabled(GetDlgItem(form, IDC_SAVE)); ++i) Sleep(10);

  const ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, tool.ProcessId()));
  PROCESS_MEMORY_COUNTERS before{};
  GetProcessMemoryInfo(process.Get(), &before, sizeof before);

  const std::wstring success = L"Save new token succeeded!";
  const LARGE_INTEGER start = Now();
  PostCommand(form, IDC_SAVE);
  bool saved = false;
  for (int i = 0; i < 600000 && !saved; ++i) {
    saved = tool.LogText().find(success) != std::wstring::npos;
    if (!saved) Sleep(1);
  }
  const double save = Seconds(start, Now());

  PROCESS_MEMORY_COUNTERS after{};
  GetProcessMemoryInfo(process.Get(), &after, sizeof after);
  tool.WaitForQuiet();
  const std::wstring log = tool.LogText();
  if (!saved || log.find(L"Could not add") != std::wstring::npos) {
    std::fprintf(stderr, "the save failed: %ls\n", log.c_str());
    return 1;
  }
  if (std::getenv("WINE_SAVE_BENCH_COUNTERS")) {
    std::fprintf(stderr, "before ws %lu peak ws %lu pf %lu peak pf %lu; after ws %lu peak ws %lu pf %lu peak pf %lu\n",
                 before.WorkingSetSize, before.PeakWorkingSetSize, before.PagefileUsage, before.PeakPagefileUsage,
                 after.WorkingSetSize, after.PeakWorkingSetSize, after.PagefileUsage, after.PeakPagefileUsage);
  }
  // Wine keeps the peak working set of another process, not its peak private
  // bytes; before the save the peak is where the process stands.
  const long long added =
      static_cast<long long>(after.PeakWorkingSetSize) - static_cast<long long>(before.PeakWorkingSetSize);
  std::printf("%.6f %.6f %lld\n", save, copy, added / 1024);
  return 0;
}
