// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "../text_mode.h"
#include "numtext/numtext.h"

namespace helmert7 {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string file_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class WriteTextFile : public testing::Test {
 protected:
  void SetUp() override {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("helmert7_numtext_" + std::to_string(::getpid()) + "_" + test->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  std::string reason_;
};

TEST_F(WriteTextFile, WritesTheTextByteForByte) {
  const fs::path path = dir_ / "out.txt";
  const std::string text = "a=1\nb=2.500000\nc=\xC3\xA9";  // no final line end
  ASSERT_TRUE(write_text_file(path.string(), text, reason_)) << reason_;
  EXPECT_EQ(file_bytes(path), test::in_text_mode(text));  // CR LF on Windows
}

TEST_F(WriteTextFile, ShortTextReplacesLongerFile) {
  const fs::path path = dir_ / "out.txt";
  std::ofstream(path) << std::string(1000, 'x');
  ASSERT_TRUE(write_text_file(path.string(), "short\n", reason_)) << reason_;
  EXPECT_EQ(file_bytes(path), test::in_text_mode("short\n"));
}

TEST_F(WriteTextFile, EmptyTextLeavesAnEmptyFile) {
  const fs::path existing = dir_ / "existing.txt";
  std::ofstream(existing) << "old content";
  ASSERT_TRUE(write_text_file(existing.string(), "", reason_)) << reason_;
  EXPECT_EQ(fs::file_size(existing), 0u);

  const fs::path fresh = dir_ / "fresh.txt";
  ASSERT_TRUE(write_text_file(fresh.string(), "", reason_)) << reason_;
  ASSERT_TRUE(fs::exists(fresh));
  EXPECT_EQ(fs::file_size(fresh), 0u);
}

TEST_F(WriteTextFile, BytesAfterAnEmbeddedNulAreWritten) {
  const fs::path path = dir_ / "out.txt";
  const std::string text = "a\0b\n"s;
  ASSERT_TRUE(write_text_file(path.string(), text, reason_)) << reason_;
  EXPECT_EQ(file_bytes(path), test::in_text_mode(text));
}

TEST_F(WriteTextFile, MissingDirectoryFailsAndCreatesNothing) {
  const fs::path missing = dir_ / "missing";
  EXPECT_FALSE(write_text_file((missing / "out.txt").string(), "x=1\n", reason_));
  EXPECT_EQ(reason_, "No such file or directory");
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(WriteTextFile, PathsThatNameNoWritableFileFail) {
  EXPECT_FALSE(write_text_file("", "x=1\n", reason_));
  EXPECT_FALSE(reason_.empty());

  reason_.clear();
  EXPECT_FALSE(write_text_file(dir_.string(), "x=1\n", reason_));
#ifdef _WIN32
  EXPECT_EQ(reason_, "Permission denied");  // the C runtime's word for a directory there
#else
  EXPECT_EQ(reason_, "Is a directory");
#endif

  // A NUL would cut the path short and write a different file.
  reason_.clear();
  EXPECT_FALSE(write_text_file((dir_ / "out").string() + "\0.txt"s, "x=1\n", reason_));
  EXPECT_FALSE(reason_.empty());
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(WriteTextFile, FullDeviceIsAFailure) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  // A short text stays in the stream's buffer until the close; a long one
  // fails in the write itself. Both must be reported.
  for (const std::size_t length : {std::size_t{10}, std::size_t{1} << 20}) {
    reason_.clear();
    EXPECT_FALSE(write_text_file("/dev/full", std::string(length, 'x'), reason_)) << length;
    EXPECT_EQ(reason_, "No space left on device") << length;
  }
}

}  // namespace
}  // namespace helmert7
