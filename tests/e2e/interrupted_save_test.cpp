// Saves cut short by the end of the tool's process, aimed at each step a save
// goes through and at random moments: no seed may be lost from the key or the
// seed files, and the next start completes or drops what a save left pending.
#include <gtest/gtest.h>

#include <algorithm>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <unordered_map>

#include "bench/seed_file_generator.h"
#include "resources/resource.h"
#include "tests/e2e/e2e_test_support.h"
#include "tests/support/file_rules.h"
#include "text/base32.h"
#include "text/hex_text.h"

namespace {

// Large enough that writing hseeds.xml takes the longest part of a save.
constexpr long kLargeFile = 100000;
// The first token of a file WriteSeedFile wrote; hseeds.csv starts with it.
const char kFirstSerial[] = "0000100000000";
const char kGeneratedSeed[] = "3132333435363738393031323334353637383930";

// Read while the tool may be replacing the file: shared for deletion too, so
// that the reader never stands in the way of a rename.
std::string ReadShared(const std::wstring& path) {
  const ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
  if (!file.Valid()) return {};
  std::string bytes;
  char block[1 << 16];
  DWORD got = 0;
  while (ReadFile(file.Get(), block, sizeof block, &got, nullptr) && got > 0) bytes.append(block, got);
  return bytes;
}

long long FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<std::string> Matching(const ToolFolder& folder, const std::regex& pattern) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path(), error)) {
    const std::string name = entry.path().filename().u8string();
    if (std::regex_match(name, pattern)) names.push_back(name);
  }
  return names;
}

// The records of saves under way or cut short, of any seed file.
std::vector<std::string> PendingRecords(const ToolFolder& folder) {
  static const std::regex kRecord(R"(.+\.pending-[0-9a-f]{16}\.record)");
  return Matching(folder, kRecord);
}

std::vector<std::string> XmlTemporaries(const ToolFolder& folder) {
  static const std::regex kTemporary(R"(hseeds\.xml\.otp-[0-9a-f]{16}\.tmp)");
  return Matching(folder, kTemporary);
}

using Counts = std::unordered_map<std::string, int>;
// The seed texts each serial has in the files, as the files write them.
using Seeds = std::unordered_map<std::string, std::set<std::string>>;

Counts XmlSerials(const std::string& xml) {
  Counts counts;
  for (size_t at = xml.find("<serial>"); at != std::string::npos; at = xml.find("<serial>", at)) {
    at += 8;
    const size_t end = xml.find("</serial>", at);
    if (end == std::string::npos) break;
    ++counts[xml.substr(at, end - at)];
  }
  return counts;
}

// Each serial's seed: the `seed` element after it.
void AddXmlSeeds(const std::string& xml, Seeds& seeds) {
  for (size_t at = xml.find("<serial>"); at != std::string::npos; at = xml.find("<serial>", at)) {
    at += 8;
    const size_t end = xml.find("</serial>", at);
    const size_t seed = xml.find("<seed>", end);
    const size_t seedEnd = xml.find("</seed>", seed);
    if (end == std::string::npos || seedEnd == std::string::npos) break;
    seeds[xml.substr(at, end - at)].insert(xml.substr(seed + 6, seedEnd - seed - 6));
  }
}

// The CSV files are UTF-16LE; serials and seeds are ASCII. hseeds.csv rows
// are "serial,seed", tseeds.csv rows "user,serial,seed,...".
void AddCsvRows(const std::string& bytes, bool totp, Counts& counts, Seeds& seeds) {
  std::string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) text += bytes[i + 1] ? '?' : bytes[i];
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Serial Number", 0) == 0 || line.rfind("UPN", 0) == 0) continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, ',');) fields.push_back(field);
    const size_t serialAt = totp ? 1 : 0;
    if (fields.size() < serialAt + 2) continue;
    ++counts[fields[serialAt]];
    seeds[fields[serialAt]].insert(fields[serialAt + 1]);
  }
}

std::string CsvBytes(const std::string& text) {
  std::string bytes;
  for (char c : text) bytes += {c, '\0'};
  return bytes;
}

std::string KeyState(const ToolFolder& folder) { return ReadShared(folder.File(L"virtual-key.xml")); }

struct KeyToken {
  bool totp = false;
  std::string seedHex;  // upper case
};

// What the key and the folder hold at one moment, both kinds of seed file together.
struct Snapshot {
  Counts xml, csv;
  Seeds xmlSeeds, csvSeeds;
  std::map<std::string, KeyToken> key;
  std::vector<std::string> records;
};

// The text of `name=` up to the next space in one line of "virtualkey show".
std::string Field(const std::string& line, const std::string& name) {
  const size_t at = line.find(" " + name + "=");
  if (at == std::string::npos) return {};
  const size_t from = at + name.size() + 2;
  return line.substr(from, line.find(' ', from) - from);
}

Snapshot Take(const ToolFolder& folder) {
  Snapshot snapshot;
  for (const wchar_t* name : {L"hseeds.xml", L"tseeds.xml"}) {
    const std::string xml = ReadShared(folder.File(name));
    for (const auto& [serial, n] : XmlSerials(xml)) snapshot.xml[serial] += n;
    AddXmlSeeds(xml, snapshot.xmlSeeds);
  }
  AddCsvRows(ReadShared(folder.File(L"hseeds.csv")), false, snapshot.csv, snapshot.csvSeeds);
  AddCsvRows(ReadShared(folder.File(L"tseeds.csv")), true, snapshot.csv, snapshot.csvSeeds);
  std::string shown;
  EXPECT_EQ(0, folder.VirtualKey(L"show", &shown)) << shown;
  std::istringstream lines(shown);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string serial = Field(line, "serial");
    if (serial.size() < 2) continue;
    snapshot.key[serial.substr(1, serial.size() - 2)] = KeyToken{Field(line, "type") == "TOTP", Field(line, "seed")};
  }
  snapshot.records = PendingRecords(folder);
  return snapshot;
}

// The seed as the CSV file of its kind writes it: lower-case hexadecimal, or Base32.
std::string CsvSeed(const KeyToken& token) {
  const std::optional<std::vector<std::uint8_t>> bytes = BytesFromHex(token.seedHex);
  if (!bytes) return "?";
  if (token.totp) return Base32Encode(bytes->data(), bytes->size());
  return HexText(bytes->data(), bytes->size(), false);
}

// What must hold after a kill and a new start: nothing of `before` is gone
// from a file or the key, every token of the key is in both files of its kind
// with the key's own seed, and no file names a token twice. Empty when all
// holds, else the first few faults.
std::string Faults(const Snapshot& before, const Snapshot& after) {
  std::ostringstream out;
  int faults = 0;
  auto fault = [&](const std::string& line) {
    if (faults++ < 10) out << line << "\n";
  };
  if (!before.xml.empty() && after.xml.empty()) fault("the XML seed files are missing or hold no token");
  for (const auto& [serial, n] : before.xml) {
    if (!after.xml.count(serial)) fault(serial + " lost from its XML seed file");
  }
  for (const auto& [serial, n] : before.csv) {
    if (!after.csv.count(serial)) fault(serial + " lost from its CSV file");
  }
  for (const auto& [serial, token] : before.key) {
    if (!after.key.count(serial)) fault(serial + " lost from the key");
  }
  for (const auto& [serial, token] : after.key) {
    if (!after.xml.count(serial)) fault(serial + " is on the key but not in its XML seed file");
    if (!after.csv.count(serial)) fault(serial + " is on the key but not in its CSV file");
    const auto xmlSeeds = after.xmlSeeds.find(serial);
    if (xmlSeeds != after.xmlSeeds.end() && xmlSeeds->second != std::set<std::string>{token.seedHex}) {
      fault(serial + " has another seed in its XML seed file than on the key");
    }
    const auto csvSeeds = after.csvSeeds.find(serial);
    if (csvSeeds != after.csvSeeds.end() && csvSeeds->second != std::set<std::string>{CsvSeed(token)}) {
      fault(serial + " has another seed in its CSV file than on the key");
    }
  }
  for (const auto& [serial, n] : after.xml) {
    if (n > 1) fault(serial + " is in the XML seed files " + std::to_string(n) + " times");
  }
  for (const auto& [serial, n] : after.csv) {
    if (n > 1) fault(serial + " is in the CSV files " + std::to_string(n) + " times");
  }
  if (faults > 10) out << "and " << faults - 10 << " more\n";
  return out.str();
}

// A token that reached the key but not both files is known only to the
// pending record of its save.
bool NeedsRecord(const Snapshot& killed, const std::string& serial) {
  return killed.key.count(serial) && (!killed.xml.count(serial) || !killed.csv.count(serial));
}

int LinesWith(const std::wstring& log, const std::vector<std::wstring>& words) {
  int count = 0;
  std::wistringstream lines(log);
  for (std::wstring line; std::getline(lines, line);) {
    bool all = true;
    for (const std::wstring& word : words) all = all && line.find(word) != std::wstring::npos;
    count += all;
  }
  return count;
}

// The start after a kill settles each record the kill left with one line.
void ExpectSettlementLogged(const std::wstring& log, const Snapshot& killed, const std::string& serial) {
  const int lines = LinesWith(log, {L"The save of the token"});
  if (killed.records.empty()) {
    EXPECT_EQ(0, lines) << ToUtf8(log);
    return;
  }
  EXPECT_GE(lines, 1) << "records left: " << killed.records.size() << "\n" << ToUtf8(log);
  EXPECT_LE(lines, static_cast<int>(killed.records.size())) << ToUtf8(log);
  if (NeedsRecord(killed, serial)) {
    const std::wstring wide(serial.begin(), serial.end());
    const std::wstring unbroken = Unbroken(log);
    const std::wregex completed(L"The save of the token " + wide + L" on the key \\S* was completed");
    EXPECT_EQ(
        1, std::distance(std::wsregex_iterator(unbroken.begin(), unbroken.end(), completed), std::wsregex_iterator()))
        << ToUtf8(log);
  }
}

// hseeds.xml of `tokens` tokens in the tool's layout; hseeds.csv with the
// first. `totpToo`: tseeds.xml and tseeds.csv likewise, with other serials.
void PrepareSeedFiles(const ToolFolder& folder, long tokens, bool totpToo = false) {
  ASSERT_TRUE(WriteSeedFile(folder.File(L"hseeds.xml"), tokens));
  WriteBytes(folder.File(L"hseeds.csv"),
             CsvBytes(std::string("Serial Number, Secret Key\r\n") + kFirstSerial + "," + kGeneratedSeed + "\r\n"));
  if (!totpToo) return;
  ASSERT_TRUE(WriteSeedFile(folder.File(L"tseeds.xml"), tokens, true, 200000000));
  WriteBytes(folder.File(L"tseeds.csv"),
             CsvBytes("UPN, Serial Number, Secret Key, Time Interval, Manufacturer, Model\r\n,0000200000000,"
                      "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ,30,Velthor Security,Corvane\r\n"));
}

// hseeds.xml keeps its name through every save, however large the file: a
// reader (the authentication server's import) must never find it missing.
TEST(InterruptedSave, NameNeverMissing) {
  ToolFolder folder;
  PrepareSeedFiles(folder, kLargeFile);
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());

  std::atomic<bool> stop{false};
  std::atomic<long> looks{0}, missing{0};
  std::thread poller([&] {
    const std::wstring name = folder.File(L"hseeds.xml");
    while (!stop) {
      if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) ++missing;
      ++looks;
    }
  });
  std::vector<std::string> created;
  for (int i = 0; i < 5; ++i) {
    const CreatedToken token = CreateToken(tool, NewTokenChoices{});
    EXPECT_TRUE(token.formClosed);
    created.push_back(ToUtf8(token.serial));
  }
  stop = true;
  poller.join();

  EXPECT_EQ(0, missing.load()) << "hseeds.xml was missing in " << missing << " of " << looks << " looks";
  EXPECT_GT(looks.load(), 1000);
  const Counts xml = XmlSerials(ReadShared(folder.File(L"hseeds.xml")));
  EXPECT_EQ(static_cast<size_t>(kLargeFile) + created.size(), xml.size());
  for (const std::string& serial : created) EXPECT_EQ(1, xml.count(serial)) << serial;
  EXPECT_EQ(std::wstring::npos, tool.LogText().find(L"Could not")) << ToUtf8(tool.LogText());
}

// Traces a save leaves on its way, each seen from outside the tool.
// XmlReplaced: right after the swap, before the save's record goes.
enum class Trace { PendingRecord, KeyWritten, CsvRow, XmlTemporary, XmlReplaced };

struct Sizes {
  long long csv, xml;
};

bool Shows(Trace trace, const ToolFolder& folder, const std::string& serial, Sizes before) {
  switch (trace) {
    case Trace::PendingRecord: return !PendingRecords(folder).empty();
    case Trace::KeyWritten: return KeyState(folder).find(serial) != std::string::npos;
    case Trace::CsvRow: return FileSize(folder.File(L"hseeds.csv")) > before.csv;
    case Trace::XmlTemporary: return !XmlTemporaries(folder).empty();
    case Trace::XmlReplaced: return FileSize(folder.File(L"hseeds.xml")) > before.xml;
  }
  return false;
}

// Fills the form, posts "Save" and kills the tool as soon as `trace` shows;
// false when the save ended without it.
bool KillAt(Trace trace, const ToolFolder& folder, ToolUnderTest& tool, std::string& serial) {
  CreatedToken created;
  const HWND form = FillNewTokenForm(tool, NewTokenChoices{}, created);
  if (!form) return false;
  serial = ToUtf8(created.serial);
  const Sizes sizes{FileSize(folder.File(L"hseeds.csv")), FileSize(folder.File(L"hseeds.xml"))};
  PostCommand(form, IDC_SAVE);
  bool shown = false;
  const DWORD start = GetTickCount();
  while (!(shown = Shows(trace, folder, serial, sizes)) && IsWindow(form) && GetTickCount() - start < 30000) {
    // as often as the trace can be looked at
  }
  EXPECT_TRUE(tool.Kill());
  return shown;
}

// Starts the tool in `folder` and kills it at `trace` of a save.
bool StartAndKillAt(Trace trace, const ToolFolder& folder, std::string& serial) {
  ToolUnderTest tool(folder);
  return tool.Started() && KillAt(trace, folder, tool, serial);
}

class KillAtStep : public ::testing::TestWithParam<Trace> {};

TEST_P(KillAtStep, NextStartLosesNoSeed) {
  ToolFolder folder;
  PrepareSeedFiles(folder, kLargeFile);
  // Only the administrators may read the seed file: so must it be for
  // whatever else holds its seeds.
  const std::filesystem::path seedFile(folder.File(L"hseeds.xml"));
  KeepOthersOut(seedFile);
  const std::string rules = RulesOf(seedFile);
  const Snapshot before = Take(folder);
  std::string serial;
  ASSERT_TRUE(StartAndKillAt(GetParam(), folder, serial)) << "the save ended without the trace";
  const Snapshot killed = Take(folder);
  for (const std::string& left : XmlTemporaries(folder)) {
    EXPECT_EQ(rules, RulesOf(std::filesystem::path(folder.Path()) / left)) << left;
  }
  for (const std::string& record : killed.records) {
    EXPECT_EQ(rules, RulesOf(std::filesystem::path(folder.Path()) / record)) << record;
  }
  EXPECT_EQ(rules, RulesOf(seedFile));
  EXPECT_FALSE(NeedsRecord(killed, serial) && killed.records.empty())
      << serial << " is on the key, not in both files, and no pending record names its save";

  ToolUnderTest restarted(folder);
  ASSERT_TRUE(restarted.Started());
  const Snapshot after = Take(folder);
  EXPECT_EQ("", Faults(before, after));
  EXPECT_TRUE(after.records.empty()) << after.records.front();
  ExpectSettlementLogged(restarted.LogText(), killed, serial);

  // The next save goes into what the kill left: every earlier token and the
  // new one end up in both files.
  const CreatedToken next = CreateToken(restarted, NewTokenChoices{});
  ASSERT_TRUE(next.formClosed);
  const Snapshot saved = Take(folder);
  EXPECT_EQ("", Faults(after, saved));
  EXPECT_EQ(1, saved.xml.count(ToUtf8(next.serial)));
  EXPECT_EQ(1, saved.csv.count(ToUtf8(next.serial)));
  EXPECT_TRUE(saved.records.empty());
  EXPECT_TRUE(XmlTemporaries(folder).empty()) << XmlTemporaries(folder).front();
  EXPECT_EQ(rules, RulesOf(seedFile));
}

const char* const kTraceNames[] = {"PendingRecord", "KeyWritten", "CsvRow", "XmlTemporary", "XmlReplaced"};

void PrintTo(Trace trace, std::ostream* out) { *out << kTraceNames[static_cast<int>(trace)]; }

std::string TraceName(const ::testing::TestParamInfo<Trace>& info) { return kTraceNames[static_cast<int>(info.param)]; }

INSTANTIATE_TEST_SUITE_P(InterruptedSave, KillAtStep,
                         ::testing::Values(Trace::PendingRecord, Trace::KeyWritten, Trace::CsvRow, Trace::XmlTemporary,
                                           Trace::XmlReplaced),
                         TraceName);

// A seed file that keeps everyone but the administrators out: what a kill
// leaves of a save (the new file under its temporary name, the record) is
// under the same rules from the moment it exists.
TEST(InterruptedSave, LeftoversHaveTheSeedFilesRules) {
  for (const Trace trace : {Trace::XmlTemporary, Trace::PendingRecord}) {
    SCOPED_TRACE(kTraceNames[static_cast<int>(trace)]);
    ToolFolder folder;
    PrepareSeedFiles(folder, kLargeFile);
    const std::filesystem::path seedFile(folder.File(L"hseeds.xml"));
    KeepOthersOut(seedFile);
    std::string serial;
    ASSERT_TRUE(StartAndKillAt(trace, folder, serial)) << "the save ended without the trace";
    const std::vector<std::string> left =
        trace == Trace::XmlTemporary ? XmlTemporaries(folder) : PendingRecords(folder);
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(RulesOf(seedFile), RulesOf(std::filesystem::path(folder.Path()) / left[0])) << left[0];
  }
}

// A record for a key that is not there waits, untouched, for a start with that key.
TEST(InterruptedSave, RecordWaitsForItsKey) {
  ToolFolder folder;
  PrepareSeedFiles(folder, kLargeFile);
  const Snapshot before = Take(folder);
  std::string serial;
  ASSERT_TRUE(StartAndKillAt(Trace::KeyWritten, folder, serial));
  const Snapshot killed = Take(folder);
  ASSERT_EQ(0u, killed.xml.count(serial)) << "the kill came too late";
  ASSERT_FALSE(killed.records.empty());

  ASSERT_EQ(0, folder.VirtualKey(L"unplug"));
  {
    ToolUnderTest withoutKey(folder);
    ASSERT_TRUE(withoutKey.Started());
    const Snapshot waiting = Take(folder);
    EXPECT_EQ(killed.records, waiting.records);
    EXPECT_TRUE(killed.xml == waiting.xml && killed.csv == waiting.csv) << "the seed files changed";
    const std::wstring log = withoutKey.LogText();
    EXPECT_EQ(static_cast<int>(killed.records.size()), LinesWith(log, {L"The save of the token"})) << ToUtf8(log);
  }
  ASSERT_EQ(0, folder.VirtualKey(L"plug"));
  ToolUnderTest withKey(folder);
  ASSERT_TRUE(withKey.Started());
  const Snapshot after = Take(folder);
  EXPECT_EQ("", Faults(before, after));
  EXPECT_EQ(1u, after.key.count(serial));
  EXPECT_TRUE(after.records.empty()) << after.records.front();
  ExpectSettlementLogged(withKey.LogText(), killed, serial);
}

// A kill between the old hseeds.xml going and the new one taking its name
// leaves the new one only under its temporary name.
TEST(InterruptedSave, SeedFileLeftUnderItsTemporaryNameIsRestored) {
  ToolFolder folder;
  PrepareSeedFiles(folder, 1000);
  const std::wstring temporary = folder.File(L"hseeds.xml.otp-0123456789abcdef.tmp");
  ASSERT_TRUE(MoveFileW(folder.File(L"hseeds.xml").c_str(), temporary.c_str()));
  const Counts earlier = XmlSerials(ReadShared(temporary));
  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  const CreatedToken token = CreateToken(tool, NewTokenChoices{});
  ASSERT_TRUE(token.formClosed);

  const Counts xml = XmlSerials(ReadShared(folder.File(L"hseeds.xml")));
  EXPECT_EQ(earlier.size() + 1, xml.size());
  for (const auto& [serial, n] : earlier) ASSERT_EQ(1, xml.count(serial)) << serial;
  EXPECT_EQ(1, xml.count(ToUtf8(token.serial)));
  EXPECT_TRUE(XmlTemporaries(folder).empty());
  const std::wstring log = Unbroken(tool.LogText());
  EXPECT_EQ(1, Occurrences(log, L"hseeds.xml was missing; it was restored from hseeds.xml.otp-0123456789abcdef.tmp"))
      << ToUtf8(log);
  EXPECT_EQ(2, Occurrences(log, L"hseeds.xml")) << "no other message names it\n" << ToUtf8(log);
}

// A temporary that holds a token hseeds.xml lacks is the only copy of that
// token: however old, it is not cleared away.
TEST(InterruptedSave, OldTemporaryHoldingAnUnsavedTokenIsKept) {
  ToolFolder folder;
  PrepareSeedFiles(folder, 1000);
  const std::wstring temporary = folder.File(L"hseeds.xml.otp-0123456789abcdef.tmp");
  ASSERT_TRUE(WriteSeedFile(temporary, 1001));
  const std::string unsaved = "0000100001000";
  // Ten minutes old: no running save could still be writing it.
  ScopedHandle file(CreateFileW(temporary.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file.Valid());
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER old;
  old.LowPart = now.dwLowDateTime;
  old.HighPart = now.dwHighDateTime;
  old.QuadPart -= 600ull * 10000000ull;
  const FILETIME then{old.LowPart, old.HighPart};
  ASSERT_TRUE(SetFileTime(file.Get(), &then, &then, &then));
  file.Close();

  ToolUnderTest tool(folder);
  ASSERT_TRUE(tool.Started());
  ASSERT_TRUE(CreateToken(tool, NewTokenChoices{}).formClosed);
  const bool inFile = XmlSerials(ReadShared(folder.File(L"hseeds.xml"))).count(unsaved) == 1;
  const bool inTemporary = XmlSerials(ReadShared(temporary)).count(unsaved) == 1;
  EXPECT_TRUE(inFile || inTemporary) << unsaved << " is gone from hseeds.xml and its temporary";
}

// The start-up leaves the leftovers to the read-ahead, and once it has told
// them the window settles them by itself: no form or save is needed.
TEST(InterruptedSave, LeftoverIsSettledOnceTheReadAheadHasToldIt) {
  for (const bool copyOfTheFile : {false, true}) {
    SCOPED_TRACE(copyOfTheFile ? "a copy of the file" : "the file and one token more");
    ToolFolder folder;
    PrepareSeedFiles(folder, 1000);
    const std::wstring temporary = folder.File(L"hseeds.xml.otp-0123456789abcdef.tmp");
    if (copyOfTheFile) {
      ASSERT_TRUE(CopyFileW(folder.File(L"hseeds.xml").c_str(), temporary.c_str(), TRUE));
    } else {
      ASSERT_TRUE(WriteSeedFile(temporary, 1001));
    }
    ToolUnderTest tool(folder);
    ASSERT_TRUE(tool.Started());
    if (copyOfTheFile) {
      for (int i = 0; i < 150 && GetFileAttributesW(temporary.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
      EXPECT_EQ(GetFileAttributesW(temporary.c_str()), INVALID_FILE_ATTRIBUTES);
    } else {
      EXPECT_TRUE(tool.WaitForLog(L"lacks;"));  // a word the log's line breaks never split
      EXPECT_NE(GetFileAttributesW(temporary.c_str()), INVALID_FILE_ATTRIBUTES);
    }
  }
}

// A record settled at start-up while the read ahead still reads a large
// hseeds.csv: the row and the XML token are added with no failure line,
// every time.
TEST(InterruptedSave, RecordSettledBesideALargeCsvReachesBothFiles) {
  const std::string serial = "0000999999999";
  const auto hex = [](const std::string& text) {
    return HexText(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), true);
  };
  // As a save that was killed once the key had the token left it.
  const std::string record =
      "<pendingSave><key></key><algorithm>HOTP</algorithm><hash>SHA-1</hash>"
      "<digits>6</digits><interval>30</interval><serial>" +
      hex(serial) + "</serial><seed>" + kGeneratedSeed + "</seed><userName></userName></pendingSave>";
  std::string rows = "Serial Number, Secret Key\r\n";
  for (long row = 0; row < 600000; ++row) {
    rows += std::to_string(100000000000LL + row) + "," + kGeneratedSeed + "\r\n";
  }
  const std::string csv = CsvBytes(rows);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ToolFolder folder;
    ASSERT_TRUE(WriteSeedFile(folder.File(L"hseeds.xml"), 1000));
    WriteBytes(folder.File(L"hseeds.csv"), csv);
    WriteBytes(folder.File(L"hseeds.pending-00000000000000aa.record"), record);
    ASSERT_EQ(0, folder.VirtualKey(L"add-token --serial " + std::wstring(serial.begin(), serial.end()) + L" --seed " +
                                   std::wstring(kGeneratedSeed, kGeneratedSeed + 40)));
    ToolUnderTest tool(folder);
    ASSERT_TRUE(tool.Started());
    ASSERT_TRUE(tool.WaitForLog(L"completed", 0, 60000)) << ToUtf8(tool.LogText());
    const std::wstring log = Unbroken(tool.LogText());
    EXPECT_EQ(0, Occurrences(log, L"not yet in")) << ToUtf8(log);
    EXPECT_EQ(0, Occurrences(log, L"Could not")) << ToUtf8(log);
    EXPECT_TRUE(PendingRecords(folder).empty());
    EXPECT_EQ(1, XmlSerials(ReadShared(folder.File(L"hseeds.xml"))).count(serial));
    EXPECT_NE(ReadShared(folder.File(L"hseeds.csv")).find(CsvBytes(serial + "," + kGeneratedSeed + "\r\n")),
              std::string::npos);
  }
}

int KillCount() {
  const char* count = std::getenv("OTP_KILL_SERIES");
  return count && std::atoi(count) > 0 ? std::atoi(count) : 10;
}

// Kills at random moments of HOTP and TOTP saves into large seed files, by
// TerminateProcess and by SIGKILL from outside Wine in turn, each followed by
// a new start. OTP_KILL_SERIES sets how many (10); OTP_KILL_SEED repeats a series.
TEST(InterruptedSave, RandomKillSeries) {
  const int kills = KillCount();
  const char* seedText = std::getenv("OTP_KILL_SEED");
  const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : GetTickCount();
  ToolFolder folder;
  PrepareSeedFiles(folder, kLargeFile, true);
  auto tool = std::make_unique<ToolUnderTest>(folder);
  ASSERT_TRUE(tool->Started());

  // Whole saves first: how long a save takes here once the tool is warm (the
  // first one also loads what the later ones find loaded).
  CreatedToken created;
  HWND form = nullptr;
  DWORD saveMs = 0;
  for (int save = 0; save < 3; ++save) {
    form = FillNewTokenForm(*tool, NewTokenChoices{}, created);
    ASSERT_NE(nullptr, form);
    const DWORD start = GetTickCount();
    PostCommand(form, IDC_SAVE);
    while (IsWindow(form) && GetTickCount() - start < 30000) Sleep(1);
    if (save > 0) saveMs = std::max<DWORD>(saveMs, GetTickCount() - start);
    tool->WaitForQuiet();
  }

  std::mt19937 random(seed);
  std::uniform_int_distribution<DWORD> delays(0, saveMs);
  std::bernoulli_distribution totp(0.5);
  int onKey = 0, withRecord = 0, done = 0, inSave = 0, fromOutside = 0;
  for (; done < kills && !HasFailure(); ++done) {
    Snapshot before = Take(folder);
    if (before.key.size() >= 18) {  // the key holds 20 tokens at most
      ASSERT_EQ(0, folder.VirtualKey(L"reset"));
      before = Take(folder);
    }
    NewTokenChoices choices;
    choices.totp = totp(random);
    form = FillNewTokenForm(*tool, choices, created);
    ASSERT_NE(nullptr, form);
    const DWORD delay = delays(random);
    const bool outside = done % 2 == 1;
    SCOPED_TRACE("kill " + std::to_string(done + 1) + (outside ? " by SIGKILL" : "") + " after " +
                 std::to_string(delay) + " ms, seed " + std::to_string(seed));
    PostCommand(form, IDC_SAVE);
    Sleep(delay);
    // The form closes when the save is over: a kill before that cut it short.
    inSave += IsWindow(form) ? 1 : 0;
    ASSERT_TRUE(outside ? tool->KillFromOutside() : tool->Kill());
    fromOutside += outside ? 1 : 0;
    const Snapshot killed = Take(folder);
    const std::string serial = ToUtf8(created.serial);
    onKey += killed.key.count(serial) ? 1 : 0;
    withRecord += killed.records.empty() ? 0 : 1;
    EXPECT_FALSE(NeedsRecord(killed, serial) && killed.records.empty())
        << serial << " is on the key, not in both files, and no pending record names its save";

    tool.reset();
    tool = std::make_unique<ToolUnderTest>(folder);
    ASSERT_TRUE(tool->Started());
    const Snapshot after = Take(folder);
    EXPECT_EQ("", Faults(before, after));
    EXPECT_TRUE(after.records.empty()) << after.records.front();
    ExpectSettlementLogged(tool->LogText(), killed, serial);
  }
  std::printf(
      "kill series: %d of %d kills (%d by SIGKILL from outside Wine), %d inside saves of %lu ms (seed %u); "
      "the key held the token in %d, a pending record was left in %d\n",
      done, kills, fromOutside, inSave, saveMs, seed, onKey, withRecord);
  // A series that missed the saves would pass without testing anything.
  EXPECT_GE(inSave, done / 2) << "too few kills landed inside a save";
  EXPECT_GE(onKey, 1) << "no kill came after the key was written";
  EXPECT_GE(withRecord, 1) << "no kill left a record to settle";
}

}  // namespace
