// SPDX-License-Identifier: MIT
// Shared by the unit tests: files as bytes, scratch folders, the bytes that text
// mode leaves on disk, and one network of known points for the numerical tests.
#pragma once

#include <Eigen/Core>
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

/// Geocentric coordinates (m) of a point on the GRS80 ellipsoid.
inline Eigen::RowVector3d geocentric(double lat_deg, double lon_deg, double height) {
  const double a = 6378137.0, e2 = 0.00669438002290;
  const double lat = lat_deg * kPi / 180, lon = lon_deg * kPi / 180;
  const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
  return {(n + height) * std::cos(lat) * std::cos(lon),
          (n + height) * std::cos(lat) * std::sin(lon), (n * (1 - e2) + height) * std::sin(lat)};
}

/// A regional network of eight geocentric points over some 80 km, centred as the
/// run centres it (n by 3, one point per row).
inline Eigen::Matrix<double, Eigen::Dynamic, 3> regional_network() {
  const double sites[][3] = {{47.10, 8.20, 512.3},  {47.35, 8.55, 421.7}, {46.92, 8.71, 1302.4},
                             {47.48, 8.03, 388.0},  {46.85, 8.12, 905.6}, {47.21, 8.90, 610.2},
                             {47.02, 8.41, 2110.9}, {47.40, 8.78, 455.1}};
  Eigen::Matrix<double, Eigen::Dynamic, 3> points(8, 3);
  for (int i = 0; i < 8; ++i) points.row(i) = geocentric(sites[i][0], sites[i][1], sites[i][2]);
  return points.rowwise() - points.colwise().mean();
}

}  // namespace helmert7::test
