// SPDX-License-Identifier: MIT
#include <iostream>

#include "driver/driver.h"

int main(int argc, char** argv) {
  return helmert7::run(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
}
