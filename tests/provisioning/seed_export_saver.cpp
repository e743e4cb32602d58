// Saves tokens to the seed export files of a folder as the tool's "Save" does,
// so that a test can run several instances at the same moment.
// Usage: seed_export_saver <folder> <serial prefix> <count> <start file>
// Waits for the start file, saves <count> HOTP tokens with the serial numbers
// <prefix>000000000000, ...01, ..., prints every failure line and exits with 1
// when there was one.
// seed_export_saver hold <file> <milliseconds>: holds the file open for
// reading, as a virus scanner does, prints "held" and lets go after the time.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "provisioning/seed_files/seed_export.h"

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "hold") {
    std::ifstream held(std::filesystem::path(argv[2]), std::ios::binary);
    if (!held) return 4;
    std::printf("held\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
    return 0;
  }
  if (argc != 5) {
    std::fprintf(stderr, "usage: seed_export_saver <folder> <serial prefix> <count> <start file>\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const std::string prefix = argv[2];
  const int count = std::atoi(argv[3]);
  const std::filesystem::path start = argv[4];

  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::filesystem::exists(start)) {
    if (std::chrono::steady_clock::now() > giveUp) return 3;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  int failed = 0;
  for (int index = 0; index < count; ++index) {
    std::string serial = std::to_string(index);
    serial = prefix + std::string(13 - prefix.size() - serial.size(), '0') + serial;
    ExportedToken token{false, false, 6, 30, serial, std::vector<std::uint8_t>(20, 0x31), {}};
    for (const MessageText& line : AppendSeedFiles(folder, token)) {
      std::printf("%s: %s", serial.c_str(), std::string(line.begin(), line.end()).c_str());
      ++failed;
    }
  }
  std::fflush(stdout);
  return failed ? 1 : 0;
}
