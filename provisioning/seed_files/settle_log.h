// What settling told the operator in this run: a kept record's lines are
// logged once, and again only when they change; the lines about the seed
// files' leftovers whenever settling gives them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "provisioning/seed_files/settle_report.h"
#include "text/message_text.h"

class SettleLog {
 public:
  // The lines of `report` to log now, leftovers first.
  std::vector<MessageText> LinesToLog(const SettleReport& report);

 private:
  // The lines last logged for each record that settling kept, by its name.
  std::map<std::string, std::vector<MessageText>> keptRecordLines_;
};
