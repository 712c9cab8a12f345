// SPDX-License-Identifier: MIT
// Grid coordinates from a file to a file, whole process: helmert7 mapping test
// points from one Gauss-Krueger form to another against PROJ's cct running the
// equivalent pipeline (inverse projection, cart, helmert, inverse cart,
// projection) on the same points, alternating A B A B.
// Usage: bench_grid PAIRS CCT_INPUT CCT_OUTPUT TOOL ARGS... -- cct ARGS...
// Prints "median_tool_ms median_cct_ms ratio tool_peak_MiB".
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "spawn.h"

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  const auto split = std::find(words.begin(), words.end(), "--");
  if (words.size() < 5 || split == words.end() || split - words.begin() < 4 ||
      split + 1 == words.end()) {
    std::fprintf(stderr,
                 "usage: bench_grid PAIRS CCT_INPUT CCT_OUTPUT TOOL ARGS... -- cct ARGS...\n");
    return 2;
  }
  const std::vector<std::string> tool(words.begin() + 3, split), cct(split + 1, words.end());
  std::vector<double> a, b;
  long peak = 0, most = 0;
  for (int pair = 0; pair < std::atoi(argv[1]); ++pair) {
    a.push_back(bench::run_ms(tool, nullptr, nullptr, &peak));
    most = std::max(most, peak);
    b.push_back(bench::run_ms(cct, argv[2], argv[3]));
  }
  std::printf("%.1f %.1f %.3f %.1f\n", bench::median(a), bench::median(b),
              bench::median(a) / bench::median(b), static_cast<double>(most) / 1024.0);
  return 0;
}
