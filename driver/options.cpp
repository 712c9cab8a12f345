// SPDX-License-Identifier: MIT
// The command line: program directory and the OptionMap.
#include <array>

#include "driver/driver.h"

namespace helmert7 {
namespace {

const std::array<const char*, 5> kOptionNames = {"--inputdes", "--inputfile", "--inputsrc",
                                                 "--inputtest", "--outfile"};

bool is_option_name(const std::string& word) {
  for (const char* name : kOptionNames) {
    if (word == name) return true;
  }
  return false;
}

}  // namespace

std::string exe_dir_of(const std::string& program_path) {
#ifdef _WIN32
  const char separator = '\\';
#else
  const char separator = '/';
#endif
  const std::size_t last = program_path.rfind(separator);
  return last == std::string::npos ? std::string() : program_path.substr(0, last + 1);
}

OptionMap build_option_map(const std::vector<std::string>& words, std::ostream& out) {
  OptionMap options;
  for (const std::string& word : words) {
    // Echo first, as raw bytes, so every word shows even when it is dropped.
    out.write(word.data(), static_cast<std::streamsize>(word.size()));
    out.put('\n');

    if (is_option_name(word)) {
      options[word].clear();  // a repeated option waits for a value again
      continue;
    }
    // A value goes to the first option in key order that still waits for one.
    for (auto& entry : options) {
      if (entry.second.empty()) {
        entry.second = word;
        break;
      }
    }
  }
  return options;
}

}  // namespace helmert7
