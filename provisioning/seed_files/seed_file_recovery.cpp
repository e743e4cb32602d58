#include "provisioning/seed_files/seed_file_recovery.h"

#include <algorithm>
#include <cstring>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "files/content_digest.h"
#include "files/stoppable_source.h"
#include "provisioning/seed_files/seed_export_messages.h"
#include "provisioning/seed_files/seed_file_cache.h"
#include "provisioning/seed_files/seed_file_serials.h"
#include "provisioning/seed_files/xml_seed_layout.h"
#include "provisioning/seed_files/xml_seed_text_reader.h"

namespace {

struct ScannedTemporary {
  std::filesystem::path path;
  SeedFileTokens tokens;
  bool readable = false;
  FileStamp stamp;           // when there is a cache to tell
  std::uint64_t digest = 0;  // of all its bytes, when readable
};

// Missing when the file does not exist; nothing when it cannot be read.
enum class Scan { Read, Missing, Failed };

Scan ScanFile(SeedFileAccess& files, const std::filesystem::path& path, SeedFileTokens& tokens) {
  OpenForReadingOutcome opened = files.OpenForReading(path);
  if (opened.state == OpenForReadingOutcome::State::Missing) return Scan::Missing;
  if (!opened.source || !ScanSeedFileTokens(*opened.source, tokens)) return Scan::Failed;
  return Scan::Read;
}

// Reads a leftover's tokens and the digest of all its bytes: what its
// removal compares with the bytes it then holds.
void ScanLeftover(SeedFileAccess& files, ScannedTemporary& leftover) {
  OpenForReadingOutcome opened = files.OpenForReading(leftover.path);
  if (!opened.source) return;
  DigestingSource digesting(*opened.source);
  leftover.readable = ScanSeedFileTokens(digesting, leftover.tokens);
  // The digest covers every byte, also any after where the scan stopped.
  char rest[4096];
  while (leftover.readable) {
    const std::optional<std::size_t> got = digesting.Read(rest, sizeof rest);
    if (!got) leftover.readable = false;
    if (!got || *got == 0) break;
  }
  leftover.digest = digesting.Value();
}

// A serial that two complete copies give different seeds, as text for a line.
struct Conflict {
  std::string serial;
};

// The first serial that `a` and `b`, each a complete copy of the seed file,
// give different seeds. Only asked when a missing file is put back, so two
// more passes over the copies cost nothing in the usual run.
std::optional<Conflict> FindConflict(SeedFileAccess& files, const std::filesystem::path& a,
                                     const std::filesystem::path& b) {
  // Each token as (the serial's key, the token's key), sorted; `wanted`'s text is kept.
  using Pairs = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
  const auto scan = [&](const std::filesystem::path& path, Pairs& pairs, std::optional<std::uint64_t> wanted,
                        std::string* text) {
    OpenForReadingOutcome opened = files.OpenForReading(path);
    if (!opened.source) return;
    std::optional<std::string> serial;
    ReadXmlSeedTexts(*opened.source, {kXmlSerialElement, kXmlSeedElement},
                     [&](std::size_t name, std::string_view found, bool closed) {
                       if (!closed) return;
                       if (name == 0) {
                         serial = std::string(found);
                       } else if (serial) {
                         const std::uint64_t key = SeedFileTokenKey(*serial, {});
                         if (wanted && key == *wanted && text->empty()) *text = *serial;
                         pairs.emplace_back(key, SeedFileTokenKey(*serial, found));
                         serial.reset();
                       }
                     });
    std::sort(pairs.begin(), pairs.end());
  };
  Pairs first, second;
  scan(a, first, std::nullopt, nullptr);
  scan(b, second, std::nullopt, nullptr);
  for (auto at = first.begin(), other = second.begin(); at != first.end() && other != second.end();) {
    if (at->first < other->first) {
      ++at;
    } else if (other->first < at->first) {
      ++other;
    } else if (at->second != other->second) {
      Conflict conflict;
      Pairs ignored;
      scan(a, ignored, at->first, &conflict.serial);
      return conflict;
    } else {
      ++at;
      ++other;
    }
  }
  return std::nullopt;
}

// Whether the two sources hold the same bytes to their ends.
bool SameContent(ByteSource& first, ByteSource& second) {
  char one[4096], two[4096];
  for (;;) {
    const std::optional<std::size_t> got = first.Read(one, sizeof one);
    if (!got) return false;
    std::size_t have = 0;
    while (have < *got) {
      const std::optional<std::size_t> more = second.Read(two + have, *got - have);
      if (!more || *more == 0) return false;
      have += *more;
    }
    if (std::memcmp(one, two, *got) != 0) return false;
    if (*got == 0) {
      const std::optional<std::size_t> rest = second.Read(two, 1);
      return rest && *rest == 0;
    }
  }
}

// Whether the two files hold the same bytes: a leftover that is a copy of
// the file holds nothing it lacks, whether or not its tokens could be told.
bool SameBytes(SeedFileAccess& files, const std::filesystem::path& a, const std::filesystem::path& b) {
  OpenForReadingOutcome first = files.OpenForReading(a);
  OpenForReadingOutcome second = files.OpenForReading(b);
  return first.source && second.source && SameContent(*first.source, *second.source);
}

// What a leftover must hold as it goes: the very bytes it was judged on...
ContentCheck HoldsDigest(std::uint64_t digest) {
  return [digest](ByteSource& content) {
    const std::optional<std::uint64_t> now = DigestOf(content);
    return now && *now == digest;
  };
}

// ...or, a copy of the seed file, the bytes the file holds then.
ContentCheck HoldsBytesOf(SeedFileAccess& files, const std::filesystem::path& file) {
  return [&files, file](ByteSource& content) {
    OpenForReadingOutcome opened = files.OpenForReading(file);
    return opened.source && SameContent(content, *opened.source);
  };
}

// With the file read: whether `leftover` may go, and the verdict to keep on
// it (none when its tokens could not be read).
struct Judgement {
  bool mayGo = false;
  ContentCheck holds;  // what it must still hold as it goes
  std::optional<LeftoverVerdict> verdict;
};

Judgement Judge(SeedFileAccess& files, const std::filesystem::path& file, const FileFingerprint& filePrint,
                const SeedFileTokens& present, const ScannedTemporary& leftover) {
  Judgement judged;
  // Checked, not assumed: only what the file itself holds may go.
  const bool held = leftover.readable && present.HoldsAllOf(leftover.tokens);
  judged.mayGo = held || SameBytes(files, file, leftover.path);
  judged.holds = held ? HoldsDigest(leftover.digest) : HoldsBytesOf(files, file);
  if (leftover.readable) {
    LeftoverVerdict verdict{file, leftover.stamp, filePrint.stamp, {}, filePrint.ends, leftover.digest};
    if (!judged.mayGo) {
      std::set_difference(leftover.tokens.keys.begin(), leftover.tokens.keys.end(), present.keys.begin(),
                          present.keys.end(), std::back_inserter(verdict.lacking));
    }
    judged.verdict = std::move(verdict);
  }
  return judged;
}

// The real files, each read given up once `stop` is set.
class StoppableSeedFiles final : public SeedFileAccess {
 public:
  explicit StoppableSeedFiles(const std::atomic<bool>& stop) : stop_(stop) {}
  // Shared with writers: the tool's own saves are never refused because of it.
  OpenForReadingOutcome OpenForReading(const std::filesystem::path& file) override {
    return Stoppable(::OpenSharedForReading(file), stop_);
  }

 private:
  const std::atomic<bool>& stop_;
};

// The kept leftovers already reported in this run: a line the first time only.
bool FirstReport(SeedFileAccess& files, const std::filesystem::path& temporary) {
  return !files.reportedLeftovers || files.reportedLeftovers->FirstReport(temporary);
}

// Removes a leftover that holds nothing the file lacks, if it still holds
// what `holds` checks as it goes; keeps any other, with a note the first time.
void RemoveOrKeep(SeedFileAccess& files, LeftoverRecovery& recovery, const std::filesystem::path& file,
                  const std::filesystem::path& leftover, bool mayGo, const ContentCheck& holds) {
  using What = SeedFileNote::What;
  const auto note = [&](What what, FileError error = {}) {
    recovery.notes.push_back(SeedFileNote{what, file, leftover, {}, error, {}});
  };
  if (!mayGo) {
    if (FirstReport(files, leftover)) note(What::Kept);
    return;
  }
  const RemoveOutcome removed = files.RemoveLeftover(leftover, holds);
  using State = RemoveOutcome::State;
  if (files.cache && (removed.Gone() || removed.state == State::Differs)) files.cache->Forget(leftover);
  // Held now: a save that started meanwhile writes it.
  if (removed.Gone() || removed.state == State::InUse) return;
  if (FirstReport(files, leftover)) {
    if (removed.state == State::Differs) {
      note(What::Kept);  // changed since it was judged: judged again next time
    } else if (removed.state == State::Link) {
      note(What::LinkLeftAlone, FileError{removed.error.code, FileErrorKind::Link});
    } else {
      note(What::NotRemoved, removed.error);
    }
  }
}

}  // namespace

LeftoverRecovery RecoverLeftovers(SeedFileAccess& files, const std::filesystem::path& file) {
  LeftoverRecovery recovery;
  using What = SeedFileNote::What;
  const auto note = [&](What what, const std::filesystem::path& leftover, FileError error = {}) {
    recovery.notes.push_back(SeedFileNote{what, file, leftover, {}, error, {}});
  };
  std::vector<ScannedTemporary> leftovers;
  for (const TemporaryFile& temporary : files.Temporaries(file)) {
    if (temporary.inUse) continue;
    // Not read, not put back, not removed: what it leads to is not ours.
    if (temporary.link) {
      if (FirstReport(files, temporary.path)) {
        note(What::LinkLeftAlone, temporary.path, FileError{0, FileErrorKind::Link});
      }
      continue;
    }
    leftovers.push_back(ScannedTemporary{temporary.path, {}, false, {}});
  }
  if (leftovers.empty()) return recovery;
  if (files.cache) {
    files.cache->AwaitLeftovers(file);
  }

  // Leftovers told before, they and the file unchanged since, are not read
  // again; each still goes only with the bytes it was told on.
  const FileFingerprint filePrint = files.cache ? FingerprintOf(file) : FileFingerprint{};
  if (files.cache) {
    bool allTold = filePrint.stamp.exists;
    for (ScannedTemporary& leftover : leftovers) {
      leftover.stamp = StampOf(leftover.path);
      allTold = allTold && files.cache->Verdict(leftover.path, leftover.stamp, filePrint);
    }
    if (allTold) {
      for (const ScannedTemporary& leftover : leftovers) {
        const LeftoverVerdict verdict = *files.cache->Verdict(leftover.path, leftover.stamp, filePrint);
        RemoveOrKeep(files, recovery, file, leftover.path, verdict.lacking.empty(),
                     HoldsDigest(verdict.leftoverDigest));
      }
      return recovery;
    }
  }
  for (ScannedTemporary& leftover : leftovers) ScanLeftover(files, leftover);

  SeedFileTokens present;
  Scan target = ScanFile(files, file, present);
  bool restored = false;
  if (target == Scan::Missing) {
    // The one a save finished writing that holds the most: each save adds to the last.
    std::size_t best = leftovers.size();
    for (std::size_t i = 0; i < leftovers.size(); ++i) {
      if (leftovers[i].readable && leftovers[i].tokens.complete &&
          (best == leftovers.size() || leftovers[i].tokens.keys.size() > leftovers[best].tokens.keys.size())) {
        best = i;
      }
    }
    if (best < leftovers.size()) {
      const std::filesystem::path& from = leftovers[best].path;
      FileError error;
      if (!files.Restore(from, file, error)) {
        SeedFileFailure blocked;
        blocked.file = file;
        blocked.step = SeedFileFailure::Step::Restore;
        blocked.error = error;
        blocked.other = from;
        recovery.blocked = std::move(blocked);
        return recovery;
      }
      note(What::Restored, from);
      if (error.code != 0) note(What::RestoredNameKept, from, error);
      // Which one was put back is said when another complete copy disagrees.
      for (std::size_t i = 0; i < leftovers.size(); ++i) {
        if (i == best || !leftovers[i].readable || !leftovers[i].tokens.complete) continue;
        if (const std::optional<Conflict> conflict = FindConflict(files, file, leftovers[i].path)) {
          recovery.notes.push_back(SeedFileNote{What::Conflict, file, from, leftovers[i].path, {}, conflict->serial});
        }
      }
      present = leftovers[best].tokens;
      target = Scan::Read;
      restored = true;
      leftovers.erase(leftovers.begin() + static_cast<std::ptrdiff_t>(best));
    }
  }

  for (const ScannedTemporary& leftover : leftovers) {
    bool mayGo = false;
    ContentCheck holds = HoldsBytesOf(files, file);
    if (target == Scan::Read) {
      Judgement judged = Judge(files, file, filePrint, present, leftover);
      mayGo = judged.mayGo;
      holds = std::move(judged.holds);
      // Told at the stamps read before: a file put back meanwhile is not the one stamped.
      if (files.cache && !restored && judged.verdict) files.cache->Remember(leftover.path, std::move(*judged.verdict));
    } else {
      mayGo = target != Scan::Missing && SameBytes(files, file, leftover.path);
    }
    RemoveOrKeep(files, recovery, file, leftover.path, mayGo, holds);
  }
  return recovery;
}

ToldLeftovers TellLeftovers(const std::filesystem::path& file, const std::atomic<bool>& stop) {
  StoppableSeedFiles files(stop);
  std::vector<ScannedTemporary> leftovers;
  for (const TemporaryFile& temporary : files.Temporaries(file)) {
    if (temporary.inUse || temporary.link) continue;
    ScannedTemporary leftover{temporary.path, {}, false, StampOf(temporary.path)};
    ScanLeftover(files, leftover);
    leftovers.push_back(std::move(leftover));
  }
  const FileFingerprint filePrint = FingerprintOf(file);
  SeedFileTokens present;
  if (!filePrint.stamp.exists || ScanFile(files, file, present) != Scan::Read) return {};
  ToldLeftovers told;
  for (const ScannedTemporary& leftover : leftovers) {
    Judgement judged = Judge(files, file, filePrint, present, leftover);
    // One that changed while it was read is told by whoever looks at it next.
    if (judged.verdict && StampOf(leftover.path) == leftover.stamp) {
      told.emplace_back(leftover.path, std::move(*judged.verdict));
    }
  }
  if (FingerprintOf(file) != filePrint) return {};
  return told;
}

SeedFileRecovery RecoverSeedFile(SeedFileAccess& files, const std::filesystem::path& file) {
  const LeftoverRecovery recovery = RecoverLeftovers(files, file);
  SeedFileRecovery lines;
  for (const SeedFileNote& note : recovery.notes) lines.lines.push_back(NoteLine(note));
  if (recovery.blocked) lines.blocked = FailureReason(*recovery.blocked);
  return lines;
}
