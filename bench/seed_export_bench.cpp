// Measures one seed export append against a plain copy of the same file.
// Each measurement runs in a fresh process so its peak memory is its own:
//   seed_export_bench prepare <folder> <tokens>   writes hseeds.xml with that many tokens
//   seed_export_bench append <folder>             appends one HOTP token
//   seed_export_bench copy <file> <copy> [fsync]  copies the file (optionally made durable)
// Each of append and copy prints "<seconds> <peak resident KiB>".
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "provisioning/seed_export.h"

namespace {

long PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The layout the tool itself writes, built directly so preparing is quick.
int Prepare(const std::filesystem::path& folder, long tokens) {
  std::string xml =
      "<?xml version=\"1.0\"?>\n<data>\n\t<header>\n\t\t<manufacturerCode>VT</manufacturerCode>\n"
      "\t\t<productCode>CE</productCode>\n\t\t<encode>HEX</encode>\n\t\t<encrypt>NONE</encrypt>\n"
      "\t</header>\n\t<tokens>\n";
  char serial[32];
  for (long i = 0; i < tokens; ++i) {
    std::snprintf(serial, sizeof serial, "0000%09ld", 100000000 + i);
    xml += "\t\t<token>\n\t\t\t<crypto>HmacSHA1</crypto>\n\t\t\t<digits>6</digits>\n\t\t\t<serial>";
    xml += serial;
    xml += "</serial>\n\t\t\t<seed>3132333435363738393031323334353637383930</seed>\n\t\t</token>\n";
  }
  xml += "\t</tokens>\n</data>\n";
  std::ofstream out(folder / "hseeds.xml", std::ios::binary | std::ios::trunc);
  out.write(xml.data(), static_cast<std::streamsize>(xml.size()));
  std::filesystem::remove(folder / "hseeds.csv");
  return out ? 0 : 1;
}

int Append(const std::filesystem::path& folder) {
  ExportedToken token;
  token.serial = "0000987654321";
  const std::string secret = "12345678901234567890";
  token.seed.assign(secret.begin(), secret.end());

  const auto start = std::chrono::steady_clock::now();
  const auto failures = AppendSeedFiles(folder, token);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (!failures.empty()) {
    std::fprintf(stderr, "append failed\n");
    return 1;
  }
  std::printf("%.6f %ld\n", elapsed.count(), PeakResidentKiB());
  return 0;
}

int Copy(const std::filesystem::path& from, const std::filesystem::path& to, bool durable) {
  const auto start = std::chrono::steady_clock::now();
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  if (durable) {
    const int descriptor = open(to.c_str(), O_RDONLY);
    if (descriptor < 0 || fsync(descriptor) != 0) return 1;
    close(descriptor);
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.6f %ld\n", elapsed.count(), PeakResidentKiB());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "prepare" && argc == 4) return Prepare(argv[2], std::atol(argv[3]));
  if (mode == "append" && argc == 3) return Append(argv[2]);
  if (mode == "copy" && (argc == 4 || argc == 5)) return Copy(argv[2], argv[3], argc == 5);
  std::fprintf(stderr, "usage: seed_export_bench prepare <folder> <tokens> | append <folder> | "
                       "copy <file> <copy> [fsync]\n");
  return 2;
}
