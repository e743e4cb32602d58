// The system's secure generator, RtlGenRandom, exported by advapi32.dll as
// SystemFunction036. It has no import library entry, so it is looked up at run
// time, from the system folder only so that a planted advapi32.dll beside the
// program is never loaded.
#include <windows.h>

#include <algorithm>
#include <limits>
#include <string>

#include "random/random_generation.h"

namespace {

using RtlGenRandomFunction = BOOLEAN(WINAPI*)(PVOID buffer, ULONG length);

HMODULE LoadSystemAdvapi32() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\advapi32.dll";
  return LoadLibraryW(path.c_str());
}

RtlGenRandomFunction FindRtlGenRandom() {
  // The module stays loaded for the life of the process; looked up once.
  static const RtlGenRandomFunction function = []() -> RtlGenRandomFunction {
    const HMODULE advapi32 = LoadSystemAdvapi32();
    if (advapi32 == nullptr) return nullptr;
    return reinterpret_cast<RtlGenRandomFunction>(
        reinterpret_cast<void*>(GetProcAddress(advapi32, "SystemFunction036")));
  }();
  return function;
}

}  // namespace

bool FillSecureRandom(std::uint8_t* buffer, std::size_t count) {
  const RtlGenRandomFunction genRandom = FindRtlGenRandom();
  if (genRandom == nullptr) return false;
  while (count > 0) {
    const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(count, std::numeric_limits<ULONG>::max()));
    if (!genRandom(buffer, chunk)) return false;
    buffer += chunk;
    count -= chunk;
  }
  return true;
}
