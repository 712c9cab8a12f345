// SPDX-License-Identifier: MIT
// Shared by the fuzz targets: a property check that stops the run loudly, so that
// libFuzzer keeps the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition, what)                                                \
  do {                                                                             \
    if (!(condition)) {                                                            \
      std::fprintf(stderr, "property violated at %s:%d: %s\n", __FILE__, __LINE__, \
                   std::string(what).c_str());                                     \
      std::abort();                                                                \
    }                                                                              \
  } while (0)
