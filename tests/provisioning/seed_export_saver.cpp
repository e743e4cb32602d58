// Saves tokens to the seed export files of a folder as the tool's "Save" does,
// so that a test can run several instances at the same moment.
// Usage: seed_export_saver <folder> <serial prefix> <count> <start file>
// Waits for the start file, saves <count> HOTP tokens with the serial numbers
// <prefix>000000000000, ...01, ..., prints every failure line and exits with 1
// when there was one.
// seed_export_saver hold <file> <milliseconds>: holds the file open for
// reading, as a virus scanner does, prints "held" and lets go after the time.
// seed_export_saver reserve <folder> <serial> <seed byte> <start file>: as
// "Save" with a typed serial: reserves it, then (no key being plugged in)
// exports an HOTP token whose seed repeats the byte; prints "saved" or
// "refused <outcome>" and exits with 0, or 10 plus the outcome.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "provisioning/seed_files/seed_folder.h"

namespace {

// No key is plugged in: nothing is listed, so only the folder decides.
class NoKey final : public ITokenLibrary {
 public:
  static constexpr CvStatus kNoDevice = 0x80435602;
  CvStatus ListDevice(std::uint32_t*) override { return kNoDevice; }
  CvStatus GetDeviceInfo(DeviceInfo*) override { return kNoDevice; }
  CvStatus OtpList(std::uint32_t, TokenRecord*) override { return kNoDevice; }
  CvStatus OtpCalculate(TokenRecord, const char*, std::uint32_t, char*, std::uint32_t*) override { return kNoDevice; }
  CvStatus OtpPersonalize(TokenRecord, std::uint32_t) override { return kNoDevice; }
  CvStatus OtpReset() override { return kNoDevice; }
  CvStatus OtpSetValueWithEnter(std::uint32_t) override { return kNoDevice; }
};

bool WaitFor(const std::filesystem::path& start) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::filesystem::exists(start)) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

int Reserve(const std::filesystem::path& folder, const std::string& serial, int seedByte,
            const std::filesystem::path& start) {
  SeedFolder seeds(folder);
  NoKey key;
  ExportedToken token{false, false, 6, 30, serial, std::vector<std::uint8_t>(20, std::uint8_t(seedByte)), {}};
  if (!WaitFor(start)) return 3;
  Reservation reserved = seeds.Reserve(PendingSave{token, "KEY"}, MessageText(serial.begin(), serial.end()), key);
  if (reserved.outcome != Reservation::Outcome::Reserved) {
    std::printf("refused %d\n", static_cast<int>(reserved.outcome));
    return 10 + static_cast<int>(reserved.outcome);
  }
  const SeedExportReport report = seeds.Export(token);
  reserved.journal->Complete(report.written);
  std::printf("saved\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "hold") {
    std::ifstream held(std::filesystem::path(argv[2]), std::ios::binary);
    if (!held) return 4;
    std::printf("held\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
    return 0;
  }
  if (argc == 6 && std::string(argv[1]) == "reserve") {
    return Reserve(argv[2], argv[3], std::atoi(argv[4]), argv[5]);
  }
  if (argc != 5) {
    std::fprintf(stderr, "usage: seed_export_saver <folder> <serial prefix> <count> <start file>\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const std::string prefix = argv[2];
  const int count = std::atoi(argv[3]);
  const std::filesystem::path start = argv[4];

  if (!WaitFor(start)) return 3;

  SeedFolder seeds(folder);
  int failed = 0;
  for (int index = 0; index < count; ++index) {
    std::string serial = std::to_string(index);
    serial = prefix + std::string(13 - prefix.size() - serial.size(), '0') + serial;
    ExportedToken token{false, false, 6, 30, serial, std::vector<std::uint8_t>(20, 0x31), {}};
    for (const MessageText& line : seeds.Export(token).lines) {
      std::printf("%s: %s", serial.c_str(), std::string(line.begin(), line.end()).c_str());
      ++failed;
    }
  }
  std::fflush(stdout);
  return failed ? 1 : 0;
}
