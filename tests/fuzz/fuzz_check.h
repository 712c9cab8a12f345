// SPDX-License-Identifier: MIT
// Shared by the fuzz targets: a property check that stops the run loudly, so that
// libFuzzer keeps the input as a crash, and a scratch folder of their own.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#define FUZZ_CHECK(condition, what)                                                \
  do {                                                                             \
    if (!(condition)) {                                                            \
      std::fprintf(stderr, "property violated at %s:%d: %s\n", __FILE__, __LINE__, \
                   std::string(what).c_str());                                     \
      std::abort();                                                                \
    }                                                                              \
  } while (0)

/// A new empty folder under the system's temporary folder, named `stem` and a number.
inline std::string fresh_scratch_folder(const std::string& stem) {
  std::random_device random;
  std::filesystem::path folder;
  do {
    folder = std::filesystem::temp_directory_path() / (stem + std::to_string(random()));
  } while (!std::filesystem::create_directory(folder));
  return folder.string();
}
