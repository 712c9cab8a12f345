// SPDX-License-Identifier: MIT
// Shared by the whole-process benchmarks: a program started with posix_spawn and
// timed from its start to its exit, with its peak memory, and the median.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

/// Milliseconds from the start of `words` to its exit, stdin from `input` (or
/// none), stdout to `output` (or /dev/null); its peak resident memory in KiB goes to
/// `peak_kib` when given.
inline double run_ms(std::vector<std::string> words, const char* input,
                     const char* output = nullptr, long* peak_kib = nullptr) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input ? input : "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output ? output : "/dev/null",
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const auto started = std::chrono::steady_clock::now();
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    std::perror(argv[0]);
    std::exit(1);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - started;
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", argv[0]);
    std::exit(1);
  }
  if (peak_kib) *peak_kib = usage.ru_maxrss;
  return elapsed.count();
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace bench
