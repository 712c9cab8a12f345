// SPDX-License-Identifier: MIT
// Helpers shared by the configuration tests: records as comparable rows, beside
// the helpers that all unit tests share.
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

#include "../test_support.h"
#include "config/config.h"

namespace helmert7::config_test {

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

using test::read_bytes;
using test::ScratchDir;
using test::write_bytes;

}  // namespace helmert7::config_test
