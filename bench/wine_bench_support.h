// What the benches that drive the real tool under Wine share: the
// performance counter, the seed files they start from and the serial
// "Generate" of the New Token form.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "bench/seed_file_generator.h"
#include "resources/resource.h"
#include "tests/e2e/tool_driver.h"

inline LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

inline double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double SecondsSince(LARGE_INTEGER from) { return Seconds(from, Now()); }

// The four seed files of `tokens` tokens each, into `folder` unless they are there.
inline bool PrepareSeedFiles(const std::filesystem::path& folder, long tokens) {
  if (std::filesystem::exists(folder / "tseeds.csv")) return true;
  std::filesystem::create_directories(folder);
  return WriteSeedFile(folder / "hseeds.xml", tokens) &&
         WriteSeedFile(folder / "tseeds.xml", tokens, true, 200000000) &&
         WriteCsvSeedFile(folder / "hseeds.csv", tokens) &&
         WriteCsvSeedFile(folder / "tseeds.csv", tokens, true, 200000000);
}

// The time from posting the serial "Generate" until the field shows another serial.
inline double GenerateClick(HWND form) {
  const HWND field = GetDlgItem(form, IDC_SERIAL_NUMBER);
  const std::wstring before = WindowText(field);
  const LARGE_INTEGER start = Now();
  PostCommand(form, IDC_GENERATE_SERIAL);
  for (int i = 0; i < 6000000 && WindowText(field) == before; ++i) {
  }
  return SecondsSince(start);
}
