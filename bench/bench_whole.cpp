// SPDX-License-Identifier: MIT
// The whole-process prediction run against PROJ's cct mapping the same points,
// alternating A B A B. Both are started with posix_spawn and timed from the start
// to the exit, so that no shell's work on the long argument words is counted.
// Usage: bench_whole TOOL SOURCE_TEXT TARGET_TEXT TEST_TEXT TEST_XYZ PAIRS
// (the texts are files); prints "median_tool_ms median_cct_ms ratio".
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::string file_text(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Milliseconds from the start of `words` to its exit, stdin from `input` (or
// none), stdout to /dev/null.
double run_ms(std::vector<std::string> words, const char* input) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input ? input : "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto started = std::chrono::steady_clock::now();
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::perror(argv[0]);
    std::exit(1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - started;
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", argv[0]);
    std::exit(1);
  }
  return elapsed.count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
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
    a.push_back(run_ms(tool, nullptr));
    b.push_back(run_ms(cct, argv[5]));
  }
  std::printf("%.2f %.2f %.2f\n", median(a), median(b), median(a) / median(b));
  return 0;
}
