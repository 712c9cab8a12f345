// SPDX-License-Identifier: MIT
// Coordinate texts: the list and the counted form agree value for value (bitwise,
// NaN included), and a failure is std::invalid_argument or std::out_of_range with
// a one-line message, nothing else (anything else escapes and counts as a crash).
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "fuzz_check.h"
#include "numtext/numtext.h"

namespace {

constexpr std::size_t kUntouched = 123456789;

void check_message(const std::exception& e, const char* prefix) {
  const std::string what = e.what();
  FUZZ_CHECK(what.rfind(prefix, 0) == 0, "message starts with the failure's name: " + what);
  FUZZ_CHECK(what.find('\n') == std::string::npos, "message is one line");
}

// The counted form fails the same way and touches nothing.
template <typename Failure>
void check_counted_fails(const std::string& text) {
  std::size_t count = kUntouched;
  try {
    helmert7::read_numbers_counted(text, count);
  } catch (const Failure&) {
    FUZZ_CHECK(count == kUntouched, "count untouched on failure");
    return;
  }
  FUZZ_CHECK(false, "the counted form did not fail like the list");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  helmert7::CoordinateList list;
  try {
    list = helmert7::read_numbers(text);
  } catch (const std::invalid_argument& e) {
    check_message(e, "invalid stod argument: value ");
    check_counted_fails<std::invalid_argument>(text);
    return 0;
  } catch (const std::out_of_range& e) {
    check_message(e, "stod argument out of range: value ");
    check_counted_fails<std::out_of_range>(text);
    return 0;
  }

  std::size_t count = kUntouched;
  const auto block = helmert7::read_numbers_counted(text, count);
  if (list.empty()) {
    FUZZ_CHECK(!block && count == kUntouched, "empty list gives no block, count untouched");
    return 0;
  }
  FUZZ_CHECK(block && count == list.size(), "count equals the list's length");
  FUZZ_CHECK(std::memcmp(block.get(), list.data(), count * sizeof(double)) == 0,
             "block equals the list bitwise");
  return 0;
}
