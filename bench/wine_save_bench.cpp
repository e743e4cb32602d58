// The real OtpTool.exe with the virtual key: the time from "Save" to the
// success line in the log, with hseeds.xml holding a given number of tokens,
// beside copying the same file and flushing the copy; and how much the save
// raised the tool's peak working set.
//   wine_save_bench <tokens>   prints "<save s> <copy+flush s> <added KiB>"
// And the serial "Generate" of the New Token form, with the four seed files
// holding that many tokens each, beside a plain read of all four:
//   wine_save_bench generate <tokens>   prints "<read s> <first click s> <later click s>"
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/seed_file_generator.h"
#include "files/scoped_handle_win.h"
#include "resources/resource.h"
#include "tests/e2e/tool_driver.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

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

double ReadWhole(const std::wstring& file) {
  const LARGE_INTEGER start = Now();
  ScopedHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!handle.Valid()) return -1;
  LARGE_INTEGER size{};
  GetFileSizeEx(handle.Get(), &size);
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  const bool read = ReadFile(handle.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  handle.Close();
  return read ? Seconds(start, Now()) : -1;
}

// The time from posting the serial "Generate" until the field shows another serial.
double GenerateClick(HWND form) {
  const HWND field = GetDlgItem(form, IDC_SERIAL_NUMBER);
  const std::wstring before = WindowText(field);
  const LARGE_INTEGER start = Now();
  PostCommand(form, IDC_GENERATE_SERIAL);
  for (int i = 0; i < 6000000 && WindowText(field) == before; ++i) {
  }
  return Seconds(start, Now());
}

int Generate(long tokens) {
  ToolFolder folder;
  if (!WriteSeedFile(folder.File(L"hseeds.xml"), tokens) ||
      !WriteSeedFile(folder.File(L"tseeds.xml"), tokens, true, 200000000) ||
      !WriteCsvSeedFile(folder.File(L"hseeds.csv"), tokens) ||
      !WriteCsvSeedFile(folder.File(L"tseeds.csv"), tokens, true, 200000000)) {
    return 1;
  }
  // Read twice: the second read is from the cache, as the tool's will be.
  double read = 0;
  for (int pass = 0; pass < 2; ++pass) {
    read = 0;
    for (const wchar_t* name : {L"hseeds.xml", L"tseeds.xml", L"hseeds.csv", L"tseeds.csv"}) {
      read += ReadWhole(folder.File(name));
    }
  }
  ToolUnderTest tool(folder);
  if (!tool.Started()) return 1;
  tool.Click(IDC_NEW_TOKEN);
  const HWND form = tool.WaitForDialog(L"New Token");
  if (!form) return 1;
  const double first = GenerateClick(form);
  double later[5];
  for (double& click : later) click = GenerateClick(form);
  std::sort(std::begin(later), std::end(later));
  std::printf("%.6f %.6f %.6f\n", read, first, later[2]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "generate") return Generate(std::atol(argv[2]));
  if (argc != 2) {
    std::fprintf(stderr, "usage: wine_save_bench <tokens> | wine_save_bench generate <tokens>\n");
    return 2;
  }
  ToolFolder folder;
  if (!WriteSeedFile(folder.File(L"hseeds.xml"), std::atol(argv[1]))) return 1;
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
