// SPDX-License-Identifier: MIT
// Loading a configuration file into records, the record search, and the reads.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "config/config.h"

namespace helmert7 {
namespace {

using Kind = ConfigIssue::Kind;

// What one load carries from line to line.
struct LoadState {
  ConfigRecordList list;
  std::vector<ConfigIssue> issues;
  int line = 1;  // the 1-based line being parsed
  std::string section;
  std::int32_t position = 0;
  // Why the keys under the header in force are dropped (a name too long to hold
  // or holding a NUL), or nullptr: they would otherwise read as the previous section's.
  const char* section_fault = nullptr;
  bool whole = true;  // false once a line was dropped or split
  std::string key_field = std::string(kConfigNameCapacity, '\0');
  std::string value_field = std::string(kConfigValueCapacity, '\0');
};

// The key that a line begins with, as far as it can be seen: the trimmed text
// before its first "=", when that is short enough to be a key.
std::string visible_key(std::string_view line) {
  const std::string_view text = config_trim(line);
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0) return {};
  const std::string_view key = config_trim(text.substr(0, equals));
  return key.size() < kConfigNameCapacity ? std::string(key) : std::string();
}

void note_issue(LoadState& state, std::string_view line, Kind kind, const char* what) {
  state.issues.push_back(ConfigIssue{state.line, visible_key(line), what, kind});
}

// A line that is not kept: the records no longer hold everything the file does.
void drop_line(LoadState& state, std::string_view line, Kind kind, const char* what) {
  state.whole = false;
  note_issue(state, line, kind, what);
}

bool is_blank_or_comment(std::string_view text) {
  return text.empty() || text.front() == '#' || text.front() == ';';
}

bool is_header(std::string_view text) {
  return text.size() >= 2 && text.front() == '[' && text.back() == ']';
}

// Why a section name cannot be held, or nullptr.
const char* section_fault_of(std::string_view name) {
  if (name.size() >= kConfigNameCapacity) return "a key under a section header too long to hold";
  if (name.find('\0') != std::string_view::npos) {
    return "a key under a section header that holds a NUL byte";
  }
  return nullptr;
}

void start_section(std::string_view header, LoadState& state) {
  const std::string_view name = config_trim(header.substr(1, header.size() - 2));
  state.position = 0;
  state.section_fault = section_fault_of(name);
  state.whole = state.whole && !state.section_fault;
  state.section.assign(state.section_fault ? std::string_view() : name);
}

// Form feed and SUB stay in the value, but other readers end a line (or a file) there.
const char* byte_other_readers_end_at(std::string_view text) {
  if (text.find('\f') != std::string_view::npos) return "a form feed inside a line";
  if (text.find('\x1a') != std::string_view::npos) return "a SUB byte inside a line";
  return nullptr;
}

void store_record(std::string_view text, LoadState& state) {
  try {
    state.list.push_back(ConfigRecord{state.position, state.section, state.key_field.c_str(),
                                      state.value_field.c_str(), state.line});
    ++state.position;
  } catch (const std::bad_alloc&) {
    // No storage: the line is dropped and the position stays.
    drop_line(state, text, Kind::memory, "no memory to hold the line");
  }
}

// A trimmed line with "=" after its first byte.
void add_key_line(std::string_view text, LoadState& state) {
  if (state.section_fault) {
    drop_line(state, text, Kind::section, state.section_fault);
    return;
  }
  // A NUL would end the key or value early wherever they are handed on.
  if (text.find('\0') != std::string_view::npos) {
    drop_line(state, text, Kind::byte, "a NUL byte inside a line");
    return;
  }
  const std::string line_text(text);
  if (config_split_key_value(state.key_field.data(), state.key_field.size(),
                             state.value_field.data(), state.value_field.size(),
                             line_text.c_str()) != 0) {
    drop_line(state, text, Kind::length, "a key or value too long to hold");
    return;
  }
  if (const char* what = byte_other_readers_end_at(text)) note_issue(state, text, Kind::byte, what);
  store_record(text, state);
}

void parse_line(std::string_view line, LoadState& state) {
  const std::string_view text = config_trim(line);
  if (is_blank_or_comment(text)) return;
  // Headers are recognised before any "=" is looked for, so "[a=b]" names a section.
  const std::size_t equals = text.find('=');
  if (is_header(text)) {
    start_section(text, state);
  } else if (equals == std::string_view::npos || equals == 0) {
    note_issue(state, text, Kind::syntax, "a line that is no key = value, header or comment");
  } else {
    add_key_line(text, state);
  }
}

bool names_match(std::string_view name, const char* wanted) {
  const std::string_view other(wanted);
  if (name.size() != other.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto difference = static_cast<unsigned char>(name[i] ^ other[i]);
    if ((difference & ~0x20u) != 0) return false;
  }
  return true;
}

// The value of the first matching key, or the empty text when there is none.
std::string found_value(const char* path, const char* section, const char* key) {
  const ConfigRecordList list = config_load_file(path);
  const ConfigRecord* record = config_find_record(list, section, key);
  return record ? record->value : std::string();
}

}  // namespace

bool config_parse_text(std::string_view text, ConfigDocument& document) {
  LoadState state;
  const std::string_view bom = "\xEF\xBB\xBF";
  if (text.substr(0, bom.size()) == bom) text.remove_prefix(bom.size());
  std::string line;
  line.reserve(kConfigLineLimit);
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '\n';
    if (c != '\n' && c != '\r') {
      // A full line followed by more than its end: the part read so far is
      // dropped, and the rest reads as a new line.
      if (line.size() == kConfigLineLimit) {
        drop_line(state, line, Kind::length, "a line longer than the loader's limit");
        line.clear();
      }
      line.push_back(c);
      continue;
    }
    parse_line(line, state);
    line.clear();
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;  // CR LF is one end
    ++state.line;
  }
  document.records = std::move(state.list);
  document.issues = std::move(state.issues);
  return state.whole;
}

bool config_read_document(const char* path, ConfigDocument& document, std::string& reason) {
  document = ConfigDocument();
  std::string text;
  if (!config_read_text(path, text, reason)) return false;
  config_parse_text(text, document);
  return true;
}

bool config_load_whole_file(const char* path, ConfigRecordList& list) {
  std::string text, reason;
  ConfigDocument document;
  const bool read = config_read_text(path, text, reason);
  const bool whole = read && config_parse_text(text, document);
  list = std::move(document.records);
  return whole;
}

ConfigRecordList config_load_file(const char* path) {
  ConfigRecordList list;
  config_load_whole_file(path, list);
  return list;
}

int config_split_key_value(char* key_out, std::size_t key_capacity, char* value_out,
                           std::size_t value_capacity, const char* line) {
  const std::string_view text(line);
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return -1;
  const std::string_view key = config_trim(text.substr(0, equals));
  const std::string_view value = config_trim(text.substr(equals + 1));
  // An empty key covers a line that begins with "=" (the line comes trimmed).
  if (key.empty() || key.size() >= key_capacity || value.size() >= value_capacity) return -1;
  std::memcpy(key_out, key.data(), key.size());
  key_out[key.size()] = '\0';
  std::memcpy(value_out, value.data(), value.size());
  value_out[value.size()] = '\0';
  return 0;
}

std::string_view config_trim(std::string_view text) {
  const auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

const ConfigRecord* config_find_record(const ConfigRecordList& list, const char* section,
                                       const char* key) {
  if (!section || !key) return nullptr;
  const auto found = std::find_if(list.begin(), list.end(), [&](const ConfigRecord& record) {
    return names_match(record.section, section) && names_match(record.key, key);
  });
  return found == list.end() ? nullptr : &*found;
}

int config_get_string(const char* path, const char* section, const char* key, char* out,
                      std::size_t out_capacity, const char* default_value) {
  const std::string value = found_value(path, section, key);
  const char* text = value.empty() ? default_value : value.c_str();
  if (!text) text = "";
  if (!out || out_capacity == 0) return 0;
  const std::size_t length = std::strlen(text);
  if (length < out_capacity) {
    std::memcpy(out, text, length + 1);
  } else {
    out[0] = '\0';  // a cut value would read as a different, valid one
  }
  return 0;
}

int config_get_int(const char* path, const char* section, const char* key, int* out,
                   int default_value) {
  const std::string value = found_value(path, section, key);
  if (!out) return 0;
  if (value.empty()) {
    *out = default_value;
    return 0;
  }
  // As atoi, whose result out of range is undefined: strtol saturates at the
  // range of long, and the result is clamped on to the range of int.
  const long wide = std::strtol(value.c_str(), nullptr, 10);
  *out = static_cast<int>(std::clamp<long>(wide, INT_MIN, INT_MAX));
  return 0;
}

int config_get_double(const char* path, const char* section, const char* key, double* out,
                      double default_value) {
  const std::string value = found_value(path, section, key);
  if (!out) return 0;
  // As atof, but through strtod, which defines the result out of range (±HUGE_VAL or 0).
  *out = value.empty() ? default_value : std::strtod(value.c_str(), nullptr);
  return 0;
}

}  // namespace helmert7
