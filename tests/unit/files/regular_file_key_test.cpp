// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>

#include "../test_support.h"
#include "files/files.h"

namespace helmert7 {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;
using test::write_bytes;

// Each path beside the key of "a.txt": the same key, another key, or none.
TEST(RegularFileKey, OneKeyForEverySpellingOfAFileAndNoneForAnythingElse) {
  enum Expected { same, other, none };
  ScratchDir scratch;
  write_bytes(scratch.path("a.txt"), "a");
  write_bytes(scratch.path("b.txt"), "a");
  fs::create_directory(scratch.path("sub"));
  const struct {
    std::string path;
    Expected expected;
  } cases[] = {
      {scratch.path("sub/../a.txt"), same},
      {scratch.path("./a.txt"), same},
#ifdef _WIN32
      {scratch.path("A.TXT"), same},
      {"NUL", none},
#else
      {scratch.path("A.TXT"), none},
      {"/dev/null", none},
#endif
      {scratch.path("b.txt"), other},
      {scratch.path("sub"), none},
      {scratch.path("missing.txt"), none},
  };
  const std::string key = regular_file_key(scratch.path("a.txt"));
  ASSERT_FALSE(key.empty());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string found = regular_file_key(c.path);
    switch (c.expected) {
      case same: EXPECT_EQ(found, key); break;
      case other: EXPECT_TRUE(!found.empty() && found != key) << found; break;
      case none: EXPECT_EQ(found, ""); break;
    }
  }
#ifndef _WIN32
  ASSERT_EQ(::mkfifo(scratch.path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(regular_file_key(scratch.path("fifo")), "");  // and not waited on
#endif
}

}  // namespace
}  // namespace helmert7
