// SPDX-License-Identifier: MIT
// Writing records back to a file, and the set operations. A set operation takes
// the file's rewrite lock, builds the whole new text in memory and changes nothing
// unless it can put that text in place completely (a StagedFile: a temporary file
// renamed over the old one, or for a file with several hard links a rewrite in
// place that is undone when it fails).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/config.h"

namespace helmert7 {
namespace {

// "key = value" is two bytes longer than the "key=value" the loader may have read,
// so a record near the limits can make a line longer than the loader takes. Such
// a list is refused as a whole before anything is written; the loader takes
// every line up to this same limit.
bool lines_fit(const ConfigRecordList& list) {
  return std::all_of(list.begin(), list.end(), [](const ConfigRecord& record) {
    return record.key.size() + 3 + record.value.size() <= kConfigLineLimit;
  });
}

std::string records_text(const ConfigRecordList& list) {
  std::string text;
  for (const ConfigRecord& record : list) {
    if (record.position == 0) text += "[" + record.section + "]\n";
    text += record.key + " = " + record.value + "\n";
  }
  return text;
}

// Writes `text` through an open stream and closes it; true only when all of it
// reached the file.
bool put_and_close(std::FILE* file, const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

// Whether "key = value" reads back as exactly this key and value, with no issue:
// no byte that ends a line or that other readers end one at, nothing the loader
// trims or takes for a comment or a header.
bool reads_back(const std::string& key, const std::string& value) {
  ConfigDocument document;
  config_parse_text(key + " = " + value + "\n", document);
  return document.issues.empty() && document.records.size() == 1 &&
         document.records[0].key == key && document.records[0].value == value &&
         document.records[0].section.empty();
}

}  // namespace

bool config_write_file(const char* path, const ConfigRecordList& list) {
  if (!lines_fit(list)) return false;
  std::FILE* file = path ? std::fopen(path, "w+") : nullptr;
  return file && put_and_close(file, records_text(list));
}

int config_set_string(const char* path, const char* section, const char* key,
                      const char* new_value) {
  // A value the field cannot hold is refused rather than cut.
  if (!path || !*path || !new_value || std::strlen(new_value) >= kConfigValueCapacity) return -1;
  // Rewrites of one file take turns, so that none loses another's change.
  const ConfigRewriteLock lock(path);
  // Records missing from the list would be missing from the rewritten file.
  std::string text;
  ConfigDocument document;
  if (!lock.read_text(text) || !config_parse_text(text, document)) return -1;
  ConfigRecordList& list = document.records;
  const ConfigRecord* found = config_find_record(list, section, key);
  if (!found || !reads_back(found->key, new_value)) return -1;
  list[static_cast<std::size_t>(found - list.data())].value = new_value;
  if (!lines_fit(list)) return -1;
  return lock.replace_text(records_text(list)) ? 0 : -1;
}

int config_set_int(const char* path, const char* section, const char* key, int new_value) {
  char text[16];  // "-2147483648" and its NUL
  std::snprintf(text, sizeof text, "%d", new_value);
  return config_set_string(path, section, key, text);
}

}  // namespace helmert7
