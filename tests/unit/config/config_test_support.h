// SPDX-License-Identifier: MIT
// Helpers shared by the configuration tests: data files, scratch folders, and
// records as comparable rows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "config/config.h"

namespace helmert7::config_test {

inline std::string data_file(const std::string& name) {
  return std::string(HELMERT7_TEST_DATA) + "/config/" + name;
}

/// (position, section, key, value) of every record, for whole-list comparisons.
using Row = std::tuple<std::int32_t, std::string, std::string, std::string>;

inline std::vector<Row> rows(const ConfigRecordList& list) {
  std::vector<Row> result;
  for (const ConfigRecord& record : list) {
    result.emplace_back(record.position, record.section, record.key, record.value);
  }
  return result;
}

inline std::vector<Row> load_rows(const std::string& path) {
  return rows(config_load_file(path.c_str()));
}

inline void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// A fresh empty folder under the system's temporary folder, removed with its content.
class ScratchDir {
 public:
  ScratchDir() {
    std::random_device random;
    do {
      dir_ = std::filesystem::temp_directory_path() / ("config_test." + std::to_string(random()));
    } while (!std::filesystem::create_directory(dir_));
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  /// Names of everything in the folder, sorted.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path dir_;
};

}  // namespace helmert7::config_test
