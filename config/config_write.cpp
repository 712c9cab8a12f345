// SPDX-License-Identifier: MIT
// Writing records back to a file, and the set operations, which replace the file
// atomically: the new text goes to a temporary file beside it, renamed over it.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/config.h"

namespace helmert7 {
namespace {

bool put(std::FILE* file, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

// "key = value" is two bytes longer than the "key=value" the loader may have read,
// so a record near the limits can make a line the loader would split, cutting the
// value. Such a list is refused as a whole before anything is written.
bool lines_fit(const ConfigRecordList& list) {
  return std::all_of(list.begin(), list.end(), [](const ConfigRecord& record) {
    return record.key.size() + 3 + record.value.size() <= kConfigLineLimit;
  });
}

bool put_records(std::FILE* file, const ConfigRecordList& list) {
  for (const ConfigRecord& record : list) {
    if (record.position == 0 &&
        !(put(file, "[") && put(file, record.section) && put(file, "]\n"))) {
      return false;
    }
    if (!(put(file, record.key) && put(file, " = ") && put(file, record.value) &&
          put(file, "\n"))) {
      return false;
    }
  }
  return true;
}

// Creates an empty file of a fresh name beside `path` ("<path>.tmp.<pid>.<n>"),
// exclusively so that nobody else's file is reused; its name, or empty on failure.
std::string create_temporary_beside(const char* path) {
  const std::string stem = std::string(path) + ".tmp." + std::to_string(::getpid()) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = stem + std::to_string(attempt);
    if (std::FILE* file = std::fopen(name.c_str(), "wx")) {
      if (std::fclose(file) == 0) return name;
      std::remove(name.c_str());
      return {};
    }
    if (errno != EEXIST) return {};
  }
  return {};
}

// Writes the records to a temporary file, gives it the old file's permissions and
// renames it over `path`. On any failure the temporary file is removed and the
// old file is left as it was.
bool replace_file(const char* path, const ConfigRecordList& list) {
  namespace fs = std::filesystem;
  const std::string temporary = create_temporary_beside(path);
  if (temporary.empty()) return false;
  std::error_code error;
  bool done = config_write_file(temporary.c_str(), list);
  if (done) {
    const fs::file_status old_status = fs::status(path, error);
    if (fs::exists(old_status)) {
      fs::permissions(temporary, old_status.permissions(), error);
      done = !error;
    }
  }
  if (done) {
    fs::rename(temporary, path, error);
    done = !error;
  }
  if (!done) fs::remove(temporary, error);
  return done;
}

}  // namespace

bool config_write_file(const char* path, const ConfigRecordList& list) {
  if (!lines_fit(list)) return false;
  std::FILE* file = path ? std::fopen(path, "w+") : nullptr;
  if (!file) return false;
  const bool written = put_records(file, list);
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

int config_set_string(const char* path, const char* section, const char* key,
                      const char* new_value) {
  // A value the field cannot hold is refused rather than cut.
  if (!path || !*path || !new_value || std::strlen(new_value) >= kConfigValueCapacity) return 0;
  ConfigRecordList list = config_load_file(path);
  if (const ConfigRecord* found = config_find_record(list, section, key)) {
    list[static_cast<std::size_t>(found - list.data())].value = new_value;
  }
  replace_file(path, list);  // no report: a failure leaves the old file whole
  return 0;
}

int config_set_int(const char* path, const char* section, const char* key, int new_value) {
  char text[16];  // "-2147483648" and its NUL
  std::snprintf(text, sizeof text, "%d", new_value);
  return config_set_string(path, section, key, text);
}

}  // namespace helmert7
