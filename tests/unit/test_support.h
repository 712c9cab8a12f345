// SPDX-License-Identifier: MIT
// Shared by the unit tests: files as bytes, scratch folders, the bytes that text
// mode leaves on disk, and the arc-second.
#pragma once

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace helmert7::test {

constexpr double kPi = 3.14159265358979323846;
constexpr double kArcSecond = kPi / (180.0 * 3600.0);  ///< in radians

/// The bytes that `text` written in text mode leaves on disk: Windows turns every
/// line feed into CR LF.
inline std::string in_text_mode(const std::string& text) {
#ifdef _WIN32
  std::string bytes;
  for (const char c : text) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return bytes;
#else
  return text;
#endif
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
      dir_ = std::filesystem::temp_directory_path() / ("helmert7_test." + std::to_string(random()));
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

}  // namespace helmert7::test
