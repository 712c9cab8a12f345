// SPDX-License-Identifier: MIT
// Shared by the unit tests: the bytes that a text written in text mode leaves on
// disk, where Windows turns every line feed into CR LF.
#pragma once

#include <string>

namespace helmert7::test {

inline std::string in_text_mode(const std::string& text) {
#ifdef _WIN32
  std::string bytes;
  for (const char c : text) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return bytes;
#else
  return text;
#endif
}

}  // namespace helmert7::test
