#include "tests/support/win/win_test_support.h"

#include <fstream>
#include <string>
#include <iterator>

namespace {

HANDLE InheritableFile(const std::filesystem::path& path) {
  SECURITY_ATTRIBUTES security{sizeof security, nullptr, TRUE};
  // Shared for everything: a console host that Wine starts for the child may
  // hold an inherited copy a little longer than the child itself.
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security,
                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  for (wchar_t c : argument) {
    if (c == L'"') quoted += L'\\';
    quoted += c;
  }
  return quoted + L"\"";
}

}  // namespace

ProgramRun RunProgram(const std::filesystem::path& program, const std::vector<std::wstring>& arguments,
                      const std::filesystem::path& scratch) {
  static int sequence = 0;
  ProgramRun run;
  const std::string name = "program-" + std::to_string(++sequence);
  const auto outputPath = scratch / (name + "-output.txt");
  const auto errorPath = scratch / (name + "-errors.txt");
  ScopedHandle output(InheritableFile(outputPath));
  ScopedHandle errors(InheritableFile(errorPath));
  if (!output.Valid() || !errors.Valid()) {
    run.errors = "cannot create the output files (Windows error " + std::to_string(GetLastError()) + ")";
    return run;
  }

  std::wstring commandLine = Quoted(program.wstring());
  for (const std::wstring& argument : arguments) commandLine += L" " + Quoted(argument);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = output.Get();
  startup.hStdError = errors.Get();
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &started)) {
    run.errors = "CreateProcessW failed with " + std::to_string(GetLastError());
    return run;
  }
  const StartedProcess process(started);
  output.Close();
  errors.Close();
  for (;;) {
    const HANDLE handle = process.Handle();
    const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, 60000, QS_ALLINPUT);
    if (woken != WAIT_OBJECT_0 + 1) break;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  GetExitCodeProcess(process.Handle(), &run.exitCode);
  run.output = FileText(outputPath);
  run.errors = FileText(errorPath);
  return run;
}
