// SPDX-License-Identifier: MIT
// Test points from a file to a file, whole process: helmert7 with point files
// (control points and the points to map, names and blanks) against PROJ's cct
// -d 6 applying a Helmert step to the same points, alternating A B A B.
// Usage: bench_files TOOL SOURCE_FILE TARGET_FILE POINTS_FILE POINTS_XYZ OUT_DIR PAIRS
// Prints "median_tool_ms median_cct_ms ratio tool_peak_MiB".
#include <cstdio>
#include <string>
#include <vector>

#include "spawn.h"

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr,
                 "usage: bench_files TOOL SOURCE TARGET POINTS POINTS_XYZ OUT_DIR PAIRS\n");
    return 2;
  }
  const std::string out_dir = argv[6];
  const std::vector<std::string> tool = {argv[1],
                                         "--inputsrc",
                                         std::string("@") + argv[2],
                                         "--inputdes",
                                         std::string("@") + argv[3],
                                         "--inputtest",
                                         std::string("@") + argv[4],
                                         "--outfile",
                                         out_dir + "/mapped.txt"};
  const std::vector<std::string> cct = {"cct",           "-d",       "6",
                                        "+proj=helmert", "+x=-86.1", "+y=52.4",
                                        "+z=101.9",      "+rx=1.8",  "+ry=-2.4",
                                        "+rz=3.1",       "+s=4.2",   "+convention=coordinate_frame",
                                        "+approx"};
  const std::string cct_out = out_dir + "/cct.txt";
  std::vector<double> a, b;
  long peak = 0, most = 0;
  for (int pair = 0; pair < std::atoi(argv[7]); ++pair) {
    a.push_back(bench::run_ms(tool, nullptr, nullptr, &peak));
    if (peak > most) most = peak;
    b.push_back(bench::run_ms(cct, argv[5], cct_out.c_str()));
  }
  std::printf("%.1f %.1f %.3f %.1f\n", bench::median(a), bench::median(b),
              bench::median(a) / bench::median(b), static_cast<double>(most) / 1024.0);
  return 0;
}
