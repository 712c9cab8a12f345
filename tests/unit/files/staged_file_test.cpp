// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <fstream>
#include <iterator>
#include <string>

#include "../test_support.h"
#include "files/files.h"

namespace helmert7 {
namespace {

// Replaces the file at `path` by `text`; false with the system's reason when it failed.
bool write_text_file(const std::string& path, const std::string& text, std::string& reason) {
  try {
    StagedFile file(path, path);
    file.write(text);
    file.commit();
    return true;
  } catch (const FileError& e) {
    reason = e.reason();
    return false;
  }
}

namespace fs = std::filesystem;
using namespace std::string_literals;

using test::read_bytes;

class WriteTextFile : public testing::Test {
 protected:
  test::ScratchDir scratch_;
  const fs::path dir_ = fs::path(scratch_.path("out.txt")).parent_path();
  std::string reason_;
};

TEST_F(WriteTextFile, WritesTheTextByteForByte) {
  const fs::path path = dir_ / "out.txt";
  const std::string text = "a=1\nb=2.500000\nc=\xC3\xA9";  // no final line end
  ASSERT_TRUE(write_text_file(path.string(), text, reason_)) << reason_;
  EXPECT_EQ(read_bytes(path), test::in_text_mode(text));  // CR LF on Windows
}

TEST_F(WriteTextFile, ShortTextReplacesLongerFile) {
  const fs::path path = dir_ / "out.txt";
  std::ofstream(path) << std::string(1000, 'x');
  ASSERT_TRUE(write_text_file(path.string(), "short\n", reason_)) << reason_;
  EXPECT_EQ(read_bytes(path), test::in_text_mode("short\n"));
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
  EXPECT_EQ(read_bytes(path), test::in_text_mode(text));
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

// Until commit() the destination is untouched; destroyed uncommitted, a staged
// file leaves nothing behind.
TEST_F(WriteTextFile, NothingChangesBeforeTheCommit) {
  const fs::path path = dir_ / "out.txt";
  test::write_bytes(path, "old\n");
  {
    StagedFile file(path.string(), "the file");
    file.write("new\n");
    EXPECT_EQ(read_bytes(path), "old\n");
  }
  EXPECT_EQ(read_bytes(path), "old\n");
  EXPECT_EQ(scratch_.entries(), std::vector<std::string>{"out.txt"});
  StagedFile file(path.string(), "the file");
  file.write("new\n");
  file.write("more\n");
  file.commit();
  EXPECT_EQ(read_bytes(path), test::in_text_mode("new\nmore\n"));
  EXPECT_EQ(scratch_.entries(), std::vector<std::string>{"out.txt"});
}

#ifndef _WIN32
TEST_F(WriteTextFile, LinksOwnersAndModesAreKept) {
  const fs::path real = dir_ / "real.txt", link = dir_ / "link.txt", hard = dir_ / "hard.txt";
  test::write_bytes(real, "old\n");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real.txt", link);
  ASSERT_TRUE(write_text_file(link.string(), "via link\n", reason_)) << reason_;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_bytes(real), "via link\n");
  EXPECT_EQ(fs::status(real).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  fs::create_hard_link(real, hard);
  ASSERT_TRUE(write_text_file(hard.string(), "both names\n", reason_)) << reason_;
  EXPECT_EQ(read_bytes(real), "both names\n");
  EXPECT_EQ(fs::hard_link_count(real), 2u);

  const mode_t mask = ::umask(022);
  ASSERT_TRUE(write_text_file((dir_ / "new.txt").string(), "x\n", reason_)) << reason_;
  ::umask(mask);
  EXPECT_EQ(fs::status(dir_ / "new.txt").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
}

// Under a file-size limit a write fails part-way: the old file, also one with two
// names rewritten in place, stays byte for byte, and no temporary file is left.
TEST_F(WriteTextFile, AWriteThatFailsPartWayLeavesTheOldFile) {
  const std::string old(5000, 'o');
  for (const bool linked : {false, true}) {
    const fs::path path = dir_ / (linked ? "linked.txt" : "plain.txt");
    test::write_bytes(path, old);
    if (linked) fs::create_hard_link(path, dir_ / "other-name.txt");
    const pid_t child = ::fork();
    if (child == 0) {
      treat_file_size_limit_as_error();
      const rlimit limit{8192, 8192};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      std::string reason;
      const bool written = write_text_file(path.string(), std::string(100000, 'n'), reason);
      ::_exit(!written && reason == "File too large" ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << linked;
    EXPECT_EQ(read_bytes(path), old) << linked;
  }
  EXPECT_EQ(scratch_.entries(),
            (std::vector<std::string>{"linked.txt", "other-name.txt", "plain.txt"}));
}
#endif

}  // namespace
}  // namespace helmert7
