// SPDX-License-Identifier: MIT
// The whole-process prediction run against PROJ's cct mapping the same points,
// alternating A B A B. Both are started with posix_spawn and timed from the start
// to the exit, so that no shell's work on the long argument words is counted.
// Usage: bench_whole TOOL SOURCE_TEXT TARGET_TEXT TEST_TEXT TEST_XYZ PAIRS
// (the texts are files); prints "median_tool_ms median_cct_ms ratio".
#include <fstream>
#include <sstream>

#include "spawn.h"

namespace {

std::string file_text(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: bench_whole TOOL SOURCE TARGET TEST TEST_XYZ PAIRS\n");
    return 2;
  }
  const std::vector<std::string> tool = {
      argv[1],       "--inputsrc",       file_text(argv[2]), "--inputdes", file_text(argv[3]),
      "--inputtest", file_text(argv[4]), "--outfile",        "/dev/null"};
  const std::vector<std::string> cct = {"cct",           "-d",       "6",
                                        "+proj=helmert", "+x=-86.1", "+y=52.4",
                                        "+z=101.9",      "+rx=1.8",  "+ry=-2.4",
                                        "+rz=3.1",       "+s=4.2",   "+convention=coordinate_frame",
                                        "+approx"};
  std::vector<double> a, b;
  for (int pair = 0; pair < std::atoi(argv[6]); ++pair) {
    a.push_back(bench::run_ms(tool, nullptr));
    b.push_back(bench::run_ms(cct, argv[5]));
  }
  std::printf("%.2f %.2f %.2f\n", bench::median(a), bench::median(b),
              bench::median(a) / bench::median(b));
  return 0;
}
