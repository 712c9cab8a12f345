// SPDX-License-Identifier: MIT
// StagedFile through its own API: what a commit leaves on disk for each kind of
// destination, what a failure leaves (the old file, no temporary file), several
// files committed all or none, and the temporary files a signal removes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "../test_support.h"
#include "files/files.h"

namespace helmert7 {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::read_bytes;

// Stages `texts` for `path` and commits; the FileError's reason, empty on success.
std::string commit_reason(const std::string& path, const std::vector<std::string>& texts) {
  try {
    StagedFile file(path, "the file");
    for (const std::string& text : texts) file.write(text);
    file.commit();
    return "";
  } catch (const FileError& e) {
    return e.reason();
  }
}

#ifdef _WIN32
const char* const kDirectoryReason = "Permission denied";  // the C runtime's word there
#else
const char* const kDirectoryReason = "Is a directory";
#endif

// One destination: how the folder is set up, the path written (relative to the
// folder unless absolute), the texts, and what the commit gives: the reason of a
// failure, else the destination's bytes; and the folder's names afterwards.
struct Destination {
  const char* name;
  std::function<void(const fs::path& dir)> set_up;
  std::string path;
  std::vector<std::string> texts;
  std::string reason;
  std::string bytes;
  std::vector<std::string> entries;
};

const std::string kLongName = std::string(240, 'n') + "\\" + std::string(10, 'b');

std::vector<Destination> destinations() {
  const auto nothing = [](const fs::path&) {};
  const auto old_file = [](const char* name, std::string text) {
    return [=](const fs::path& dir) { test::write_bytes(dir / name, text); };
  };
  std::vector<Destination> rows = {
      {"new file, no final line end", nothing, "out.txt", {"a=1\nb=2.5\nc=\xC3\xA9"}, "",
       test::in_text_mode("a=1\nb=2.5\nc=\xC3\xA9"), {"out.txt"}},
      {"several writes", nothing, "out.txt", {"new\n", "more\n"}, "",
       test::in_text_mode("new\nmore\n"), {"out.txt"}},
      {"short text over a long file", old_file("out.txt", std::string(1000, 'x')), "out.txt",
       {"short\n"}, "", test::in_text_mode("short\n"), {"out.txt"}},
      {"empty text over a file", old_file("out.txt", "old"), "out.txt", {""}, "", "", {"out.txt"}},
      {"empty text, new file", nothing, "out.txt", {""}, "", "", {"out.txt"}},
      {"bytes after a NUL", nothing, "out.txt", {"a\0b\n"s}, "", test::in_text_mode("a\0b\n"s),
       {"out.txt"}},
      {"missing folder", nothing, "missing/out.txt", {"x\n"}, "No such file or directory", "", {}},
      {"empty path", nothing, "", {"x\n"}, "No such file or directory", "", {}},
      {"a folder", [](const fs::path& dir) { fs::create_directory(dir / "sub"); }, "sub", {"x\n"},
       kDirectoryReason, "", {"sub"}},
      {"a NUL in the path", nothing, "out\0.txt"s, {"x\n"}, std::strerror(EINVAL), "", {}},
  };
#ifdef _WIN32
  rows.push_back({"the NUL device", nothing, "NUL", {"x\n"}, "", "", {}});
#else
  // A backslash is a byte of a POSIX name, not a folder's end.
  rows.push_back({"a backslash in the name", nothing, "a\\b.txt", {"x\n"}, "", "x\n", {"a\\b.txt"}});
  rows.push_back({"251 bytes with a backslash", nothing, kLongName, {"x\n"}, "", "x\n", {kLongName}});
  // A short text stays in a buffer until the end; a long one fails in the write.
  rows.push_back({"a full device, short text", nothing, "/dev/full", {"x"}, "No space left on device", "", {}});
  rows.push_back({"a full device, long text", nothing, "/dev/full", {std::string(1 << 20, 'x')},
                  "No space left on device", "", {}});
  rows.push_back({"through a symbolic link",
                  [](const fs::path& dir) {
                    test::write_bytes(dir / "real.txt", "old\n");
                    fs::create_symlink("real.txt", dir / "link.txt");
                  },
                  "link.txt", {"via link\n"}, "", "via link\n", {"link.txt", "real.txt"}});
  rows.push_back({"a dangling symbolic link makes its target",
                  [](const fs::path& dir) { fs::create_symlink("real.txt", dir / "link.txt"); },
                  "link.txt", {"new\n"}, "", "new\n", {"link.txt", "real.txt"}});
  rows.push_back({"a file with two names",
                  [](const fs::path& dir) {
                    test::write_bytes(dir / "real.txt", std::string(3000, 'o'));
                    fs::create_hard_link(dir / "real.txt", dir / "other.txt");
                  },
                  "other.txt", {"both names\n"}, "", "both names\n", {"other.txt", "real.txt"}});
#endif
  return rows;
}

TEST(StagedFile, WhatACommitLeaves) {
  for (const Destination& row : destinations()) {
    SCOPED_TRACE(row.name);
    test::ScratchDir scratch;
    const fs::path dir = fs::path(scratch.path("x")).parent_path();
    row.set_up(dir);
    const bool absolute = !row.path.empty() && (row.path[0] == '/' || row.path == "NUL");
    const std::string path = absolute || row.path.empty() ? row.path : (dir / row.path).string();
    EXPECT_EQ(commit_reason(path, row.texts), row.reason);
    if (row.reason.empty() && !absolute) {
      EXPECT_EQ(read_bytes(path), row.bytes);
    }
    EXPECT_EQ(scratch.entries(), row.entries);
  }
}

// Until the commit the destination is untouched; destroyed uncommitted, a staged
// file leaves nothing behind.
TEST(StagedFile, NothingChangesBeforeTheCommit) {
  test::ScratchDir scratch;
  const std::string path = scratch.path("out.txt");
  test::write_bytes(path, "old\n");
  {
    StagedFile file(path, "the file");
    file.write("new\n");
    EXPECT_EQ(read_bytes(path), "old\n");
    EXPECT_EQ(scratch.entries().size(), 2u);  // and the temporary file
  }
  EXPECT_EQ(read_bytes(path), "old\n");
  EXPECT_EQ(scratch.entries(), std::vector<std::string>{"out.txt"});
}

TEST(StagedFile, AFailureNamesTheFileAsShown) {
  try {
    StagedFile file("", "the report file ''");
    FAIL() << "an empty path was taken";
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "cannot write the report file '': No such file or directory");
  }
}

// Two files staged, then the second made impossible to put in place: the first is
// put back as it was (or removed when it is new), and nothing else is left.
class CommitTogether : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { fs::create_directory(fs::path(first_).parent_path() / "sub"); }

  test::ScratchDir scratch_;
  const std::string first_ = scratch_.path("out.txt"), second_ = scratch_.path("sub/report.txt");
};

TEST_P(CommitTogether, AFailedSecondPutsTheFirstBack) {
  const bool first_existed = GetParam();
  if (first_existed) test::write_bytes(first_, "old output\n");
  test::write_bytes(second_, "old report\n");
  StagedFile output(first_, "the output file");
  StagedFile report(second_, "the report file");
  output.write("new output\n");
  report.write("new report\n");
#ifdef _WIN32
  // A viewer holds the report open without letting it be deleted or renamed.
  const HANDLE viewer = CreateFileA(second_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
#else
  // The report's folder is moved away before the commit.
  fs::rename(scratch_.path("sub"), scratch_.path("sub-moved"));
#endif
  try {
    commit_together({&output, &report});
    ADD_FAILURE() << "the commit succeeded";
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("cannot write the report file: ", 0), 0u) << e.what();
  }
#ifdef _WIN32
  CloseHandle(viewer);
  EXPECT_EQ(read_bytes(second_), "old report\n");
  const std::string folder = "sub";
#else
  const std::string folder = "sub-moved";
#endif
  if (first_existed) {
    EXPECT_EQ(read_bytes(first_), "old output\n");
    EXPECT_EQ(scratch_.entries(), (std::vector<std::string>{"out.txt", folder}));
  } else {
    EXPECT_EQ(scratch_.entries(), std::vector<std::string>{folder});
  }
}

TEST_P(CommitTogether, BothInPlaceWhenBothSucceed) {
  if (GetParam()) test::write_bytes(first_, "old output\n");
  StagedFile output(first_, "the output file");
  StagedFile report(second_, "the report file");
  output.write("new output\n");
  report.write("new report\n");
  commit_together({&output, nullptr, &report});
  EXPECT_EQ(read_bytes(first_), test::in_text_mode("new output\n"));
  EXPECT_EQ(read_bytes(second_), test::in_text_mode("new report\n"));
  EXPECT_EQ(scratch_.entries(), (std::vector<std::string>{"out.txt", "sub"}));
  EXPECT_EQ(fs::directory_iterator(scratch_.path("sub"))->path().filename(), "report.txt");
}

INSTANTIATE_TEST_SUITE_P(FirstExistedOrNot, CommitTogether, testing::Bool());

// Two spellings of one file that did not exist when the names were compared: the
// second is refused when the first is in place, and the first removed again.
TEST(StagedFile, AnotherSpellingOfAFileJustPutInPlaceIsRefused) {
  test::ScratchDir scratch;
  const std::string first = scratch.path("out.txt");
#ifdef _WIN32
  const std::string second = scratch.path("OUT.TXT");
#else
  const std::string second = scratch.path("link.txt");
#endif
  StagedFile output(first, "the output file 'out.txt'");
  StagedFile report(second, "the report file");
  output.write("output\n");
  report.write("report\n");
#ifndef _WIN32
  fs::create_symlink("out.txt", second);  // made meanwhile
#endif
  try {
    commit_together({&output, &report});
    ADD_FAILURE() << "the second spelling was written";
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "cannot write the report file: it is the output file 'out.txt', "
                           "written just before");
  }
  EXPECT_FALSE(fs::exists(first));
}

TEST(StagedFile, SameFileAndItsKey) {
  test::ScratchDir scratch;
  const fs::path dir = fs::path(scratch.path("x")).parent_path();
  test::write_bytes(dir / "a.txt", "a");
  test::write_bytes(dir / "b.txt", "b");
  fs::create_directory(dir / "sub");
  struct Pair {
    std::string a, b;
    bool same;
  };
  std::vector<Pair> pairs = {
      {"a.txt", "a.txt", true},         {"a.txt", "sub/../a.txt", true},
      {"a.txt", "b.txt", false},        {"new.txt", "./new.txt", true},
      {"new.txt", "other.txt", false},  {"a.txt", "new.txt", false},
#ifdef _WIN32
      {"new.txt", "NEW.TXT", true},  // neither exists: the names, letter case aside
      {"a.txt", "A.TXT", true},
#else
      {"new.txt", "NEW.TXT", false},  {"a.txt", "hard.txt", true},
      {"a.txt", "soft.txt", true},    {"dangling.txt", "new.txt", true},
#endif
  };
#ifndef _WIN32
  fs::create_hard_link(dir / "a.txt", dir / "hard.txt");
  fs::create_symlink("a.txt", dir / "soft.txt");
  fs::create_symlink("new.txt", dir / "dangling.txt");
#endif
  for (const Pair& pair : pairs) {
    const std::string a = (dir / pair.a).string(), b = (dir / pair.b).string();
    EXPECT_EQ(same_file(a, b), pair.same) << pair.a << " " << pair.b;
  }
}

TEST(OpenForReading, ReadsTheBytesAndNamesWhatIsMissing) {
  test::ScratchDir scratch;
  const std::string path = scratch.path("points.txt");
  test::write_bytes(path, "a\r\nb\0c"s);
  const auto file = open_for_reading(path, "the test point file");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(*file), {}), "a\r\nb\0c"s);
  try {
    open_for_reading(scratch.path("missing.txt"), "the test point file 'missing.txt'");
    ADD_FAILURE() << "a missing file was opened";
  } catch (const Failure& e) {
    EXPECT_STREQ(e.what(),
                 "cannot read the test point file 'missing.txt': No such file or directory");
  }
}

// A file we are reading can still be replaced: on Windows only because the reader
// lets others delete and rename it.
TEST(OpenForReading, AFileBeingReadCanBeReplaced) {
  test::ScratchDir scratch;
  const std::string path = scratch.path("points.txt");
  test::write_bytes(path, "old");
  const auto reader = open_for_reading(path, "the file");
  EXPECT_EQ(commit_reason(path, {"new"}), "");
  EXPECT_EQ(read_bytes(path), "new");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(*reader), {}), "old");
}

#ifndef _WIN32

// Runs `step` in a child process and gives its wait status.
int status_of_child(const std::function<int()>& step) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(step());
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

// Under a file-size limit a write fails part-way, without a signal (the library
// ignores SIGXFSZ itself): the old file stays byte for byte, also one rewritten in
// place whose old text is longer than the limit, and no temporary file is left.
TEST(StagedFile, AWriteThatFailsPartWayLeavesTheOldFile) {
  struct Limited {
    std::size_t old_size, limit, new_size;
    bool two_names;
  };
  // A shorter new text that still crosses the limit, in place and renamed.
  for (const Limited row : {Limited{5000, 8192, 100000, false}, Limited{5000, 8192, 100000, true},
                            Limited{5404, 4096, 100000, true}, Limited{5404, 4096, 5000, true},
                            Limited{5404, 4096, 5000, false}}) {
    SCOPED_TRACE(testing::Message() << row.old_size << " " << row.limit << " " << row.new_size
                                    << " " << row.two_names);
    test::ScratchDir scratch;
    const std::string path = scratch.path("out.txt");
    std::string old;
    for (std::size_t i = 0; i < row.old_size; ++i) old += static_cast<char>('a' + i % 26);
    test::write_bytes(path, old);
    if (row.two_names) fs::create_hard_link(path, scratch.path("other.txt"));
    const int status = status_of_child([&] {
      const rlimit limit{row.limit, row.limit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      return commit_reason(path, {std::string(row.new_size, 'n')}) == "File too large" ? 0 : 1;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(read_bytes(path), old);
    EXPECT_EQ(scratch.entries().size(), row.two_names ? 2u : 1u);
  }
}

// An in-place rewrite goes first: when it fails, no file was renamed yet.
TEST(StagedFile, NoRenameBeforeAnInPlaceRewriteThatFails) {
  test::ScratchDir scratch;
  const std::string output = scratch.path("out.txt"), report = scratch.path("report.txt");
  test::write_bytes(output, "old output\n");
  test::write_bytes(report, std::string(3000, 'r'));
  fs::create_hard_link(report, scratch.path("report-link.txt"));
  const int status = status_of_child([&] {
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    StagedFile first(output, "the output file"), second(report, "the report file");
    first.write("new output\n");
    second.write(std::string(10000, 'n'));
    try {
      commit_together({&first, &second});
    } catch (const FileError& e) {
      return e.reason() == "File too large" ? 0 : 1;
    }
    return 2;
  });
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(read_bytes(output), "old output\n");
  EXPECT_EQ(read_bytes(report), std::string(3000, 'r'));
  EXPECT_EQ(scratch.entries(),
            (std::vector<std::string>{"out.txt", "report-link.txt", "report.txt"}));
}

TEST(StagedFile, OwnersAndModesAreKept) {
  test::ScratchDir scratch;
  const std::string kept = scratch.path("kept.txt"), fresh = scratch.path("new.txt");
  test::write_bytes(kept, "old\n");
  ::chmod(kept.c_str(), 0640);
  const mode_t mask = ::umask(027);
  EXPECT_EQ(commit_reason(kept, {"new\n"}), "");
  EXPECT_EQ(commit_reason(fresh, {"new\n"}), "");
  ::umask(mask);
  struct stat of_kept {}, of_fresh {};
  ASSERT_EQ(::stat(kept.c_str(), &of_kept), 0);
  ASSERT_EQ(::stat(fresh.c_str(), &of_fresh), 0);
  EXPECT_EQ(of_kept.st_mode & 07777, 0640u);
  EXPECT_EQ(of_fresh.st_mode & 07777, 0640u);  // 0666 less the umask
}

// Where a rename is refused but a plain write is not, the file is rewritten in
// place: a writable file in a folder we may not write, a group-writable file of
// another owner. Root may do both, so the writer runs as nobody (65534).
TEST(StagedFile, WritesInPlaceWhereOnlyAPlainWriteIsAllowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make the files of another owner";
  struct Refusal {
    const char* name;
    mode_t folder_mode, file_mode;
    uid_t file_owner;
    gid_t file_group;
  };
  constexpr gid_t kTeam = 4242;
  for (const Refusal& row : {Refusal{"read-only folder", 0555, 0666, 65534, 65534},
                             Refusal{"another owner's group-writable file", 0777, 0664, 0, kTeam}}) {
    SCOPED_TRACE(row.name);
    test::ScratchDir scratch;
    const fs::path dir = fs::path(scratch.path("x")).parent_path();
    const std::string path = scratch.path("out.txt");
    test::write_bytes(path, "old text, longer than the new\n");
    ASSERT_EQ(::chown(path.c_str(), row.file_owner, row.file_group), 0);
    ::chmod(path.c_str(), row.file_mode);
    ::chmod(dir.c_str(), row.folder_mode);
    const int status = status_of_child([&] {
      const gid_t groups[] = {kTeam};
      if (::setgroups(1, groups) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) return 3;
      return commit_reason(path, {"new\n"}).empty() ? 0 : 1;
    });
    ::chmod(dir.c_str(), 0700);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(read_bytes(path), "new\n");
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, row.file_owner);
    EXPECT_EQ(after.st_gid, row.file_group);
    EXPECT_EQ(after.st_mode & 07777, row.file_mode);
    EXPECT_EQ(scratch.entries(), std::vector<std::string>{"out.txt"});
  }
}

// A signal that ends the process mid-write removes the temporary file first and
// still ends it; a signal the caller ignores stays ignored.
TEST(StagedFile, ASignalRemovesTheTemporaryFile) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    for (const bool ignored : {false, true}) {
      SCOPED_TRACE(testing::Message() << signal << " ignored " << ignored);
      test::ScratchDir scratch;
      const std::string path = scratch.path("out.txt");
      test::write_bytes(path, "old\n");
      const int status = status_of_child([&] {
        if (ignored) std::signal(signal, SIG_IGN);
        StagedFile file(path, "the file");
        file.write("partial\n");
        ::raise(signal);
        return 7;  // reached only when the signal is ignored
      });
      if (ignored) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
      } else {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
      }
      EXPECT_EQ(read_bytes(path), "old\n");
      EXPECT_EQ(scratch.entries(), std::vector<std::string>{"out.txt"});
    }
  }
}

#endif

}  // namespace
}  // namespace helmert7
