// What settling the records of unfinished saves said: the lines for the log
// and, per record, whether it was kept. A kept record is a token that is not
// in every seed file yet, which the status line warns of while it lasts.
#pragma once

#include <string>
#include <vector>

#include "text/message_text.h"

struct SettledRecord {
  std::string record;  // its file name, UTF-8
  bool kept = false;
  std::vector<MessageText> lines;
  MessageText warning;  // the status line's warning while it is kept
};

struct SettleReport {
  std::vector<MessageText> lines;  // about the seed files' leftovers, not a record
  std::vector<SettledRecord> records;
  bool settled = true;  // false when the seed files' folder is unknown: nothing was looked at

  const SettledRecord* FirstKept() const {
    for (const SettledRecord& record : records) {
      if (record.kept) return &record;
    }
    return nullptr;
  }
};
