// SPDX-License-Identifier: MIT
#include <csignal>
#include <iostream>

#include "driver/driver.h"

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A reader that quits (| head) must not cost the files: the trace's failed write
  // fails the run after them, as a full disk does.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  return helmert7::run({argv, argv + argc}, std::cout, std::cerr);
}
