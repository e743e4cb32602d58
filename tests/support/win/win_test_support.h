// Helpers for tests that load DLLs and start programs under Windows.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "vendor/module_path_win.h"
#include "files/scoped_handle_win.h"

// The folder of the running test program: bin, where the build puts
// CV_Manager.dll, virtualkey.exe and the test DLLs.
inline std::filesystem::path BuildOutputFolder() {
  return std::filesystem::path(FolderOfPath(ModuleFilePath(nullptr)));
}

inline void SetVariable(const wchar_t* name, const std::filesystem::path& value) {
  SetEnvironmentVariableW(name, value.c_str());
}

inline void ClearVariable(const wchar_t* name) { SetEnvironmentVariableW(name, nullptr); }

// What CreateProcessW started: its process and thread handles close with it.
class StartedProcess {
 public:
  StartedProcess() = default;
  explicit StartedProcess(const PROCESS_INFORMATION& started)
      : process_(started.hProcess), thread_(started.hThread), id_(started.dwProcessId) {}
  bool Started() const { return process_.Valid(); }
  HANDLE Handle() const { return process_.Get(); }
  DWORD Id() const { return id_; }

 private:
  ScopedHandle process_;
  ScopedHandle thread_;
  DWORD id_ = 0;
};

struct ProgramRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;  // standard output
  std::string errors;  // standard error
};

// Runs `program` with `arguments` and waits for it, dispatching this
// thread's window messages meanwhile (the program may send some to our
// windows). Its output goes through new files in `scratch`.
ProgramRun RunProgram(const std::filesystem::path& program, const std::vector<std::wstring>& arguments,
                      const std::filesystem::path& scratch);
