#include "provisioning/seed_files/seed_text.h"

MessageText CsvField(std::u16string_view field) {
  if (field.find_first_of(u",\"\r\n") == std::u16string_view::npos) return MessageText(field);
  MessageText quoted;
  quoted.reserve(field.size() + 2);
  quoted.push_back(u'"');
  for (const char16_t unit : field) {
    if (unit == u'"') quoted.push_back(u'"');
    quoted.push_back(unit);
  }
  quoted.push_back(u'"');
  return quoted;
}
