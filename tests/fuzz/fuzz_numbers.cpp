// SPDX-License-Identifier: MIT
// Coordinate texts: a failure is std::invalid_argument or std::out_of_range with a
// one-line message, nothing else (anything else escapes and counts as a crash); a
// list that parses reads back value for value from its own shortest texts.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "fuzz_check.h"
#include "numtext/numtext.h"

namespace {

void check_message(const std::exception& e, const char* prefix) {
  const std::string what = e.what();
  FUZZ_CHECK(what.rfind(prefix, 0) == 0, "message starts with the failure's name: " + what);
  FUZZ_CHECK(what.find('\n') == std::string::npos, "message is one line");
}

// The same double, bit for bit; any NaN for a NaN.
bool same_value(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void check_reads_back(const helmert7::CoordinateList& list) {
  std::string text;
  for (const double value : list) text += helmert7::format_shortest(value) + ",";
  const helmert7::CoordinateList again = helmert7::read_numbers(text);
  FUZZ_CHECK(again.size() == list.size(), "as many values read back: " + text);
  for (std::size_t i = 0; i < list.size(); ++i) {
    FUZZ_CHECK(same_value(again[i], list[i]), "value read back: " + text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  helmert7::CoordinateList list;
  try {
    list = helmert7::read_numbers(text);
  } catch (const std::invalid_argument& e) {
    check_message(e, "invalid stod argument: value ");
    return 0;
  } catch (const std::out_of_range& e) {
    check_message(e, "stod argument out of range: value ");
    return 0;
  }
  check_reads_back(list);  // its own failures escape as crashes
  return 0;
}
