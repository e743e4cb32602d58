// The real OtpTool.exe with the virtual key, for what the tool keeps of the
// seed files between forms, saves and starts. Before each timed step it
// waits until the tool is idle (no processor time for a while), as after an
// operator's typing, so that a read ahead counts only where it was not done.
//   wine_cache_bench forms <tokens>
//     the four seed files of <tokens> each: the first "Generate" of a
//     later form; prints "<first form's first click s> <later form's s>"
//   wine_cache_bench leftover <tokens> <0|1>
//     hseeds.xml of <tokens>, with (1) or without (0) a leftover of an
//     interrupted save that holds one token more, which is kept; prints
//     "<start-up s> <form opening s> <save s> <kept line s>", the last from
//     the start until the log says the leftover was kept (0 without one)
//   wine_cache_bench typed <tokens> <0|1>
//     the four seed files: Save of the key's own serial (0) or of one from
//     "Generate" (1); prints "<save s> <peak working set KiB> <rise KiB>"
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/wine_bench_support.h"
#include "files/scoped_handle_win.h"
#include "files/temporary_name.h"
#include "resources/resource.h"
#include "tests/e2e/tool_driver.h"

namespace {

unsigned long long Ticks(const FILETIME& time) {
  return static_cast<unsigned long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// The processor time of all the process's threads: a read ahead runs beside
// the window's thread, and the process's own count may leave it out.
unsigned long long CpuTime(HANDLE process) {
  const DWORD id = GetProcessId(process);
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  unsigned long long total = 0;
  for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID != id) continue;
    ScopedHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
    FILETIME created, ended, kernel, user;
    if (thread.Valid() && GetThreadTimes(thread.Get(), &created, &ended, &kernel, &user)) {
      total += Ticks(kernel) + Ticks(user);
    }
  }
  return total;
}

// Until the process used no processor time for 300 ms (60 s at most).
void WaitUntilIdle(HANDLE process) {
  unsigned long long last = CpuTime(process);
  for (int quiet = 0, round = 0; quiet < 3 && round < 600; ++round) {
    Sleep(100);
    const unsigned long long now = CpuTime(process);
    quiet = now == last ? quiet + 1 : 0;
    last = now;
  }
}

// Until the window's thread has handled everything sent before.
void WaitForAnswer(HWND window) {
  DWORD_PTR ignored;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, 60000, &ignored);
}

struct OpenTool {
  ToolFolder& folder;
  ToolUnderTest tool{folder};
  ScopedHandle process{OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, tool.ProcessId())};
};

HWND OpenForm(const ToolUnderTest& tool) {
  tool.Click(IDC_NEW_TOKEN);
  const HWND form = tool.WaitForDialog(L"New Token");
  if (form) WaitForAnswer(form);
  return form;
}

// A HOTP token with a fresh seed; the time from "Save" to the success line.
double Save(const ToolUnderTest& tool, HWND form, HANDLE process) {
  ClickButton(form, IDC_ALGORITHM_HOTP);
  PostCommand(form, IDC_GENERATE_SEED);
  for (int i = 0; i < 200 && !IsWindowEnabled(GetDlgItem(form, IDC_SAVE)); ++i) Sleep(10);
  WaitUntilIdle(process);
  const LARGE_INTEGER start = Now();
  PostCommand(form, IDC_SAVE);
  if (!tool.WaitForLog(L"Save new token succeeded!", 0, 600000)) return -1;
  const double seconds = SecondsSince(start);
  tool.WaitForQuiet();
  return tool.LogText().find(L"Could not add") == std::wstring::npos ? seconds : -1;
}

int Forms(long tokens) {
  ToolFolder folder;
  if (!PrepareSeedFiles(folder.Path(), tokens)) return 1;
  OpenTool open{folder};
  if (!open.tool.Started()) return 1;
  WaitUntilIdle(open.process.Get());
  double first[2];
  for (double& click : first) {
    const HWND form = OpenForm(open.tool);
    if (!form) return 1;
    WaitUntilIdle(open.process.Get());
    click = GenerateClick(form);
    PostCommand(form, IDCANCEL);
    open.tool.WaitForDialogGone(form);
  }
  std::printf("%.6f %.6f\n", first[0], first[1]);
  return 0;
}

int Leftover(long tokens, bool withLeftover) {
  ToolFolder folder;
  if (!WriteSeedFile(folder.File(L"hseeds.xml"), tokens)) return 1;
  // What a save killed after writing its new version leaves: the file and one token more.
  const std::wstring leftover = folder.File(std::filesystem::path(temporary_name::For("hseeds.xml", 7)).wstring());
  if (withLeftover && !WriteSeedFile(leftover, tokens + 1)) return 1;

  const LARGE_INTEGER start = Now();
  OpenTool open{folder};
  if (!open.tool.Started()) return 1;
  WaitForAnswer(open.tool.Window());
  const double startUp = SecondsSince(start);
  // The window shows before the read-ahead has told the leftover; its line comes when it has.
  double told = 0;
  if (withLeftover) {
    if (!open.tool.WaitForLog(L"lacks;", 0, 120000)) return 1;
    told = SecondsSince(start);
  }
  WaitUntilIdle(open.process.Get());

  const LARGE_INTEGER opening = Now();
  const HWND form = OpenForm(open.tool);
  if (!form) return 1;
  const double opened = SecondsSince(opening);
  const double save = Save(open.tool, form, open.process.Get());
  if (save < 0 || (withLeftover && !folder.Exists(std::filesystem::path(leftover).filename().wstring()))) return 1;
  std::printf("%.6f %.6f %.6f %.6f\n", startUp, opened, save, told);
  return 0;
}

int Typed(long tokens, bool generated) {
  ToolFolder folder;
  if (!PrepareSeedFiles(folder.Path(), tokens)) return 1;
  OpenTool open{folder};
  if (!open.tool.Started()) return 1;
  const HWND form = OpenForm(open.tool);
  if (!form) return 1;
  WaitUntilIdle(open.process.Get());
  if (generated) GenerateClick(form);
  WaitUntilIdle(open.process.Get());
  PROCESS_MEMORY_COUNTERS before{}, after{};
  GetProcessMemoryInfo(open.process.Get(), &before, sizeof before);
  const double save = Save(open.tool, form, open.process.Get());
  GetProcessMemoryInfo(open.process.Get(), &after, sizeof after);
  if (save < 0) return 1;
  std::printf(
      "%.6f %lu %lld\n", save, static_cast<unsigned long>(after.PeakWorkingSetSize / 1024),
      (static_cast<long long>(after.PeakWorkingSetSize) - static_cast<long long>(before.PeakWorkingSetSize)) / 1024);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "forms" && argc == 3) return Forms(std::atol(argv[2]));
  if (mode == "leftover" && argc == 4) return Leftover(std::atol(argv[2]), std::atoi(argv[3]) != 0);
  if (mode == "typed" && argc == 4) return Typed(std::atol(argv[2]), std::atoi(argv[3]) != 0);
  std::fprintf(stderr, "usage: wine_cache_bench forms <tokens> | leftover <tokens> <0|1> | typed <tokens> <0|1>\n");
  return 2;
}
