// The real OtpTool.exe with the virtual key: the time from "Save" to the
// success line in the log, with hseeds.xml holding a given number of tokens,
// beside copying the same file and flushing the copy; and how much the save
// raised the tool's peak working set.
//   wine_save_bench <tokens>   prints "<save s> <copy+flush s> <added KiB>"
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

// The tool's own layout, as the native bench writes it.
bool Prepare(const std::wstring& file, long tokens) {
  std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::trunc);
  out << "<?xml version=\"1.0\"?>\n<data>\n\t<header>\n\t\t<manufacturerCode>VT</manufacturerCode>\n"
         "\t\t<productCode>CE</productCode>\n\t\t<encode>HEX</encode>\n\t\t<encrypt>NONE</encrypt>\n"
         "\t</header>\n\t<tokens>\n";
  std::string piece;
  char serial[32];
  for (long i = 0; i < tokens; ++i) {
    std::snprintf(serial, sizeof serial, "0000%09ld", 100000000 + i);
    piece += "\t\t<token>\n\t\t\t<crypto>HmacSHA1</crypto>\n\t\t\t<digits>6</digits>\n\t\t\t<serial>";
    piece += serial;
    piece += "</serial>\n\t\t\t<seed>3132333435363738393031323334353637383930</seed>\n\t\t</token>\n";
    if (piece.size() > (1 << 20)) {
      out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
      piece.clear();
    }
  }
  piece += "\t</tokens>\n</data>\n";
  out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  return static_cast<bool>(out);
}

double CopyAndFlush(const std::wstring& from, const std::wstring& to) {
  const LARGE_INTEGER start = Now();
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return -1;
  const HANDLE copy = CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (copy == INVALID_HANDLE_VALUE) return -1;
  const bool flushed = FlushFileBuffers(copy);
  CloseHandle(copy);
  const double seconds = Seconds(start, Now());
  DeleteFileW(to.c_str());
  return flushed ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: wine_save_bench <tokens>\n");
    return 2;
  }
  ToolFolder folder;
  if (!Prepare(folder.File(L"hseeds.xml"), std::atol(argv[1]))) return 1;
  const double copy = CopyAndFlush(folder.File(L"hseeds.xml"), folder.File(L"copy.xml"));

  ToolUnderTest tool(folder);
  if (!tool.Started()) return 1;
  tool.Click(IDC_NEW_TOKEN);
  const HWND form = tool.WaitForDialog(L"New Token");
  if (!form) return 1;
  ClickButton(form, IDC_ALGORITHM_HOTP);
  PostCommand(form, IDC_GENERATE_SEED);
  for (int i = 0; i < 200 && !IsWindowEnabled(GetDlgItem(form, IDC_SAVE)); ++i) Sleep(10);

  const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, tool.ProcessId());
  PROCESS_MEMORY_COUNTERS before{};
  GetProcessMemoryInfo(process, &before, sizeof before);

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
  GetProcessMemoryInfo(process, &after, sizeof after);
  CloseHandle(process);
  tool.WaitForQuiet();
  const std::wstring log = tool.LogText();
  if (!saved || log.find(L"Could not add") != std::wstring::npos) {
    std::fprintf(stderr, "the save failed: %ls\n", log.c_str());
    return 1;
  }
  if (std::getenv("WINE_SAVE_BENCH_COUNTERS")) {
    std::fprintf(stderr, "before ws %zu peak ws %zu pf %zu peak pf %zu; after ws %zu peak ws %zu pf %zu peak pf %zu\n",
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
