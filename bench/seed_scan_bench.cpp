// The serial scan of the four seed files of a folder in one process, beside a
// plain read of the same bytes into one reused buffer (no zero-fill), read
// and scan in turn in every round:
//   seed_scan_bench <folder> <rounds>
// prints per round "<read s> <scan s> <xml scan s> <csv scan s> <sort s>",
// the sort of the keys (at the first lookup) being part of each scan.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "files/file_source.h"
#include "provisioning/seed_files/seed_file_serials.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct SeedFile {
  const char* name;
  bool csv;
  bool totp;
};
constexpr SeedFile kFiles[] = {
    {"hseeds.xml", false, false}, {"tseeds.xml", false, true}, {"hseeds.csv", true, false}, {"tseeds.csv", true, true}};

// The floor: every byte read once, into the same buffer of the readers' block size.
bool ReadPlain(const std::filesystem::path& file, char* buffer, std::size_t size) {
  OpenForReadingOutcome opened = OpenForReading(file);
  if (!opened.source) return false;
  for (;;) {
    const std::optional<std::size_t> got = opened.source->Read(buffer, size);
    if (!got) return false;
    if (*got == 0) return true;
  }
}

// Seconds the scan took, and of them the sort; negative when it failed.
double Scan(const std::filesystem::path& file, const SeedFile& kind, double& sort) {
  const Clock::time_point start = Clock::now();
  SerialSet serials;
  OpenForReadingOutcome opened = OpenForReading(file);
  if (!opened.source) return -1;
  const bool read =
      kind.csv ? CollectCsvSerials(*opened.source, kind.totp, 1252, serials) : CollectSerials(*opened.source, serials);
  // The first lookup sorts the keys, as the form's first "Generate" does.
  const Clock::time_point sortStart = Clock::now();
  if (!read || serials.Contains("none of these")) return -1;
  sort += Since(sortStart);
  return Since(start);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: seed_scan_bench <folder> <rounds>\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const int rounds = std::atoi(argv[2]);
  constexpr std::size_t kBlock = 1 << 20;
  const std::unique_ptr<char[]> buffer(new char[kBlock]);
  for (int round = 0; round < rounds; ++round) {
    Clock::time_point start = Clock::now();
    for (const SeedFile& kind : kFiles) {
      if (!ReadPlain(folder / kind.name, buffer.get(), kBlock)) return 1;
    }
    const double read = Since(start);
    double scans[2] = {};
    double sort = 0;
    for (const SeedFile& kind : kFiles) {
      const double scan = Scan(folder / kind.name, kind, sort);
      if (scan < 0) return 1;
      scans[kind.csv ? 1 : 0] += scan;
    }
    std::printf("%.6f %.6f %.6f %.6f %.6f\n", read, scans[0] + scans[1], scans[0], scans[1], sort);
    std::fflush(stdout);
  }
  return 0;
}
