// Measures one seed export append against a plain copy of the same file.
// Each measurement runs in a fresh process so its peak memory is its own:
//   seed_export_bench prepare <folder> <tokens>   writes hseeds.xml with that many tokens
//   seed_export_bench append <folder>             appends one HOTP token (both files)
//   seed_export_bench stream <folder>             only the streaming XML append through the
//                                                 file layer: read, stream to a temporary
//                                                 file, flush, rename (no lock, no CSV row)
//   seed_export_bench copy <file> <copy> [fsync]  copies the file (optionally made durable)
//   seed_export_bench check <folder>              the last token is the appended one
// Each of append, stream and copy prints "<seconds> <peak resident KiB above
// the process's own before the step> <CPU seconds>".
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "bench/seed_file_generator.h"
#include "files/byte_sink.h"
#include "files/file_io.h"
#include "files/file_source.h"
#include "provisioning/seed_files/seed_export.h"
#include "provisioning/seed_files/seed_file_access.h"
#include "provisioning/seed_files/xml_seed_stream.h"

namespace {

constexpr char kSerial[] = "0000987654321";

long PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// User and system time: on a busy machine this says more than the clock.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int Prepare(const std::filesystem::path& folder, long tokens) {
  const bool written = WriteSeedFile(folder / "hseeds.xml", tokens);
  std::filesystem::remove(folder / "hseeds.csv");
  return written ? 0 : 1;
}

ExportedToken Token() {
  ExportedToken token;
  token.serial = kSerial;
  const std::string secret = "12345678901234567890";
  token.seed.assign(secret.begin(), secret.end());
  return token;
}

template <typename Step>
int Measure(Step step) {
  const long base = PeakResidentKiB();
  const double cpu = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  if (!step()) return 1;
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.6f %ld %.6f\n", elapsed.count(), PeakResidentKiB() - base, CpuSeconds() - cpu);
  return 0;
}

int Append(const std::filesystem::path& folder) {
  const ExportedToken token = Token();
  return Measure([&] {
    SeedFileAccess files;
    const auto failures = ExportToSeedFiles(folder, token, files, SeedFileSet{true, true}).lines;
    for (const MessageText& line : failures) {
      std::fprintf(stderr, "%s", std::string(line.begin(), line.end()).c_str());
    }
    return failures.empty();
  });
}

int Stream(const std::filesystem::path& folder) {
  XmlSeedToken token;
  token.digits = "6";
  token.serial = kSerial;
  token.seedHex = "3132333435363738393031323334353637383930";
  const std::filesystem::path file = folder / "hseeds.xml";
  return Measure([&] {
    OpenForReadingOutcome opened = OpenForReading(file);
    if (!opened.source) return false;
    return PublishFile(file,
                       [&](ByteSink& out) {
                         return StreamTokenIntoXml(*opened.source, false, token, out).status ==
                                XmlStreamOutcome::Status::Written;
                       })
        .Published();
  });
}

int Copy(const std::filesystem::path& from, const std::filesystem::path& to, bool durable) {
  return Measure([&] {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    if (!durable) return true;
    const int descriptor = open(to.c_str(), O_RDONLY);
    const bool synced = descriptor >= 0 && fsync(descriptor) == 0;
    if (descriptor >= 0) close(descriptor);
    return synced;
  });
}

// The XML file ends with the appended token and the CSV file holds its row.
int Check(const std::filesystem::path& folder) {
  const std::string tail = "\t\t\t<serial>" + std::string(kSerial) +
                           "</serial>\n\t\t\t<seed>3132333435363738393031323334353637383930</seed>\n"
                           "\t\t</token>\n\t</tokens>\n</data>\n";
  std::ifstream xml(folder / "hseeds.xml", std::ios::binary | std::ios::ate);
  const std::streamoff size = xml.tellg();
  if (size < static_cast<std::streamoff>(tail.size())) return 1;
  std::string end(tail.size(), '\0');
  xml.seekg(size - static_cast<std::streamoff>(tail.size()));
  xml.read(end.data(), static_cast<std::streamsize>(end.size()));
  std::ifstream csv(folder / "hseeds.csv", std::ios::binary);
  std::string row((std::istreambuf_iterator<char>(csv)), std::istreambuf_iterator<char>());
  std::string serialUtf16;
  for (const char c : std::string(kSerial)) serialUtf16 += std::string{c, '\0'};
  return end == tail && row.find(serialUtf16) != std::string::npos ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "prepare" && argc == 4) return Prepare(argv[2], std::atol(argv[3]));
  if (mode == "append" && argc == 3) return Append(argv[2]);
  if (mode == "stream" && argc == 3) return Stream(argv[2]);
  if (mode == "check" && argc == 3) return Check(argv[2]);
  if (mode == "copy" && (argc == 4 || argc == 5)) return Copy(argv[2], argv[3], argc == 5);
  std::fprintf(stderr,
               "usage: seed_export_bench prepare <folder> <tokens> | append <folder> | "
               "stream <folder> | check <folder> | copy <file> <copy> [fsync]\n");
  return 2;
}
