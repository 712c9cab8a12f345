// SPDX-License-Identifier: MIT
#include <iostream>

#include "driver/driver.h"
#include "files/files.h"

int main(int argc, char** argv) {
  helmert7::treat_file_size_limit_as_error();
  return helmert7::run({argv, argv + argc}, std::cout, std::cerr);
}
