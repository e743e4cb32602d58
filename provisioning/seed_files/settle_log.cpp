#include "provisioning/seed_files/settle_log.h"

#include <utility>

std::vector<MessageText> SettleLog::LinesToLog(const SettleReport& report) {
  std::vector<MessageText> lines = report.lines;
  std::map<std::string, std::vector<MessageText>> kept;
  for (const SettledRecord& record : report.records) {
    const auto before = keptRecordLines_.find(record.record);
    if (before == keptRecordLines_.end() || before->second != record.lines) {
      lines.insert(lines.end(), record.lines.begin(), record.lines.end());
    }
    if (record.kept) kept.emplace(record.record, record.lines);
  }
  keptRecordLines_ = std::move(kept);
  return lines;
}
