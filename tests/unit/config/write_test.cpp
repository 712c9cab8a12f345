// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>

#include "../test_support.h"
#include "config/config.h"
#include "config_test_support.h"

namespace helmert7 {
namespace {

namespace fs = std::filesystem;
using config_test::load_rows;
using config_test::read_bytes;
using config_test::rows;
using config_test::ScratchDir;
using config_test::write_bytes;
using Names = std::vector<std::string>;
using test::in_text_mode;

TEST(ConfigWriteFile, HeaderBeforeEveryFirstKeyAndRoundTrip) {
  ScratchDir scratch;
  const ConfigRecordList list = {
      {0, "", "a", "1"}, {1, "", "b", ""}, {0, "s", "k", "v w"}, {0, "S", "k2", "x = y"}};
  ASSERT_TRUE(config_write_file(scratch.path("out.ini").c_str(), list));
  EXPECT_EQ(read_bytes(scratch.path("out.ini")),
            in_text_mode("[]\na = 1\nb = \n[s]\nk = v w\n[S]\nk2 = x = y\n"));
  EXPECT_EQ(load_rows(scratch.path("out.ini")), rows(list));
}

// The writer writes a line only when the loader takes it whole, so that a file it
// wrote can be set again: "key = value" at most kConfigLineLimit bytes.
TEST(ConfigWriteFile, WritesEveryLineTheLoaderTakesWholeAndNoOther) {
  const struct {
    std::size_t key_length, value_length;
    bool written;
  } cases[] = {
      {510, kConfigValueCapacity - 1, true},  // 33,280 bytes: the limit
      {511, kConfigValueCapacity - 2, true},  // 33,280 bytes, the longest key
      {1, kConfigValueCapacity - 1, true},
      {511, kConfigValueCapacity - 1, false},  // 33,281 bytes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.key_length) + "-byte key, " + std::to_string(c.value_length) +
                 "-byte value");
    ScratchDir scratch;
    const std::string file = scratch.path("cfg.ini");
    const std::string key(c.key_length, 'k'), value(c.value_length, 'v');
    ConfigRecordList list = {{0, "", "a", "1"}, {1, "", key, value}};
    EXPECT_EQ(config_write_file(file.c_str(), list), c.written);
    if (!c.written) {
      // The same records as the loader reads them from "key=value": set refuses
      // to write the line it could not read back, and leaves the file.
      const std::string compact = "a=1\n" + key + "=" + value + "\n";
      write_bytes(file, compact);
      EXPECT_EQ(config_set_string(file.c_str(), "", "a", "2"), -1);
      EXPECT_EQ(read_bytes(file), compact);
      EXPECT_EQ(scratch.entries(), Names{"cfg.ini"});  // no temporary left
      continue;
    }
    ConfigRecordList loaded;
    EXPECT_TRUE(config_load_whole_file(file.c_str(), loaded));
    EXPECT_EQ(rows(loaded), rows(list));
    // Every later set goes through and keeps the long line.
    for (const char* new_value : {"2", "3"}) {
      ASSERT_EQ(config_set_string(file.c_str(), "", "a", new_value), 0);
      list[0].value = new_value;
      EXPECT_TRUE(config_load_whole_file(file.c_str(), loaded));
      EXPECT_EQ(rows(loaded), rows(list));
    }
  }
}

TEST(ConfigWriteFile, UnopenablePathIsAFailure) {
  ScratchDir scratch;
  EXPECT_FALSE(config_write_file(scratch.path("no/such/dir.ini").c_str(), {}));
  EXPECT_FALSE(config_write_file("", {}));
}

TEST(ConfigSet, ReplacesTheFirstMatchAndRewritesTheWholeFile) {
  ScratchDir scratch;
  const std::string file = scratch.path("cfg.ini");
  write_bytes(file, "[a]\r\nx=1\n# note\ny=2\n");
  EXPECT_EQ(config_set_string(file.c_str(), "a", "y", "5"), 0);
  EXPECT_EQ(read_bytes(file), in_text_mode("[a]\nx = 1\ny = 5\n"));
  EXPECT_EQ(scratch.entries(), Names{"cfg.ini"});  // no temporary file left

  write_bytes(file, "a=1\n[s]\nk=1\nK=2\n[t]\nk=3\n");
  config_set_int(file.c_str(), "S", "k", -42);
  EXPECT_EQ(read_bytes(file), in_text_mode("[]\na = 1\n[s]\nk = -42\nK = 2\n[t]\nk = 3\n"));
}

// A set that could not read back exactly as set, or that names no key of the
// file, is refused and leaves every byte (comments included) as it was.
TEST(ConfigSet, RefusesWhatWouldNotReadBackAndMissingKeys) {
  const struct {
    const char* section;
    const char* key;
    std::string value;
  } cases[] = {
      {"", "k", "7,8,9\ndes = 0,0,0"},  // a line break would inject a line
      {"", "k", "1\r2"},
      {"", "k", std::string("1\0" "2", 3)},
      {"", "k", "1\f"},  // other readers end a line at form feed and SUB
      {"", "k", "1\x1a" "2"},
      {"", "k", " 5"},  // blanks and tabs around a value are trimmed on reading
      {"", "k", "5\t"},
      {"", "[k", "v]"},  // "[k = v]" would read as a section header
      {"", "missing", "5"},
      {"nowhere", "k", "5"},
  };
  ScratchDir scratch;
  const std::string file = scratch.path("cfg.ini");
  const std::string old = "# note\nk=1\n[k\n[s]\nj=2\n";
  for (const auto& c : cases) {
    write_bytes(file, old);
    const std::string value = c.value;  // may hold a NUL: the call sees up to it
    EXPECT_EQ(config_set_string(file.c_str(), c.section, c.key, value.c_str()),
              value.find('\0') == std::string::npos ? -1 : 0)
        << c.key << " = " << value;
    if (value.find('\0') == std::string::npos) {
      EXPECT_EQ(read_bytes(file), old) << value;
    }
  }
  EXPECT_EQ(scratch.entries(), Names{"cfg.ini"});
}

TEST(ConfigSet, InnerBlanksAndSignsReadBackAsSet) {
  ScratchDir scratch;
  const std::string file = scratch.path("cfg.ini");
  for (const std::string value : {"5 6", "a = b", "#x", ";y", "[z]", ""}) {
    write_bytes(file, "k=1\nj=2\n");
    ASSERT_EQ(config_set_string(file.c_str(), "", "k", value.c_str()), 0) << value;
    char out[16];
    config_get_string(file.c_str(), "", "k", out, sizeof out, "default");
    EXPECT_STREQ(out, value.empty() ? "default" : value.c_str());
  }
}

// A missing file has no records to keep: it is not created as an empty file.
TEST(ConfigSet, MissingFileIsRefusedAndNotCreated) {
  ScratchDir scratch;
  EXPECT_EQ(config_set_string(scratch.path("new.ini").c_str(), "", "k", "v"), -1);
  EXPECT_EQ(scratch.entries(), Names{});
}

// config_set_int(path, "", "k", 2) in a child process ended after 10 s, so that a
// set that waits forever on an open fails the test instead of hanging it: 0, -1,
// or -2 when the child did not exit.
int set_within_a_deadline(const std::string& path) {
#ifdef _WIN32
  return config_set_int(path.c_str(), "", "k", 2);
#else
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(10);
    ::_exit(config_set_int(path.c_str(), "", "k", 2) == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status)) return -2;
  return WEXITSTATUS(status) == 0 ? 0 : -1;
#endif
}

// Only a regular file is opened for the lock and rewritten: a FIFO's open would
// wait for a writer forever, a device's may act on it.
TEST(ConfigSet, RefusesAnythingButARegularFileWithoutWaiting) {
  const struct {
    const char* name;
    std::function<std::string(const ScratchDir&)> set_up;  // the path to set "k" in
    int expected;
  } cases[] = {
      {"a regular file", [](const ScratchDir& dir) {
         write_bytes(dir.path("cfg.ini"), "k=1\n");
         return dir.path("cfg.ini");
       }, 0},
      {"a folder", [](const ScratchDir& dir) { return dir.path(""); }, -1},
#ifdef _WIN32
      {"the NUL device", [](const ScratchDir&) { return std::string("NUL"); }, -1},
#else
      {"a FIFO", [](const ScratchDir& dir) {
         EXPECT_EQ(::mkfifo(dir.path("fifo.ini").c_str(), 0600), 0);
         return dir.path("fifo.ini");
       }, -1},
      {"a symbolic link to a FIFO", [](const ScratchDir& dir) {
         EXPECT_EQ(::mkfifo(dir.path("fifo.ini").c_str(), 0600), 0);
         fs::create_symlink("fifo.ini", dir.path("link.ini"));
         return dir.path("link.ini");
       }, -1},
      {"a character device", [](const ScratchDir&) { return std::string("/dev/null"); }, -1},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir scratch;
    const std::string path = c.set_up(scratch);
    const Names before = scratch.entries();
    EXPECT_EQ(set_within_a_deadline(path), c.expected);
    EXPECT_EQ(scratch.entries(), before);  // nothing made or removed beside it
  }
}

TEST(ConfigSet, OverlongValueIsRefusedAndNothingRewritten) {
  ScratchDir scratch;
  const std::string file = scratch.path("cfg.ini");
  write_bytes(file, "# kept\nk=1\n");
  EXPECT_EQ(
      config_set_string(file.c_str(), "", "k", std::string(kConfigValueCapacity, 'v').c_str()), -1);
  EXPECT_EQ(read_bytes(file), "# kept\nk=1\n");

  config_set_string(file.c_str(), "", "k", std::string(kConfigValueCapacity - 1, 'v').c_str());
  EXPECT_EQ(config_load_file(file.c_str()).at(0).value.size(), kConfigValueCapacity - 1);
}

TEST(ConfigSet, KeepsThePermissionsOfTheOldFile) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no owner, group and other permission bits";
#endif
  ScratchDir scratch;
  const std::string file = scratch.path("cfg.ini");
  write_bytes(file, "k=1\n");
  const auto wanted = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(file, wanted);
  config_set_int(file.c_str(), "", "k", 2);
  EXPECT_EQ(read_bytes(file), in_text_mode("[]\nk = 2\n"));
  EXPECT_EQ(fs::status(file).permissions(), wanted);
}

#ifndef _WIN32
// Lowers this process's file size limit, ignoring SIGXFSZ so that a write past the
// limit fails (EFBIG) instead of ending the process; works for root as well.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = std::min(bytes, saved_.rlim_cur);
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = SIG_DFL;
};

TEST(ConfigAtomicReplace, FailedWriteLeavesTheOldFileWhole) {
  ScratchDir scratch;
  const std::string file = scratch.path("cfg.ini");
  const std::string old_bytes = "[a]\r\nx=1\n# note\ny=2\n";
  write_bytes(file, old_bytes);
  const std::string big(20000, 'z');
  {
    FileSizeLimit limit(4096);
    EXPECT_FALSE(config_write_file(scratch.path("direct.ini").c_str(), {{0, "a", "y", big}}));
    EXPECT_EQ(config_set_string(file.c_str(), "a", "y", big.c_str()), -1);
  }
  EXPECT_EQ(read_bytes(file), old_bytes);
  fs::remove(scratch.path("direct.ini"));
  EXPECT_EQ(scratch.entries(), Names{"cfg.ini"});

  // Without the limit the same change goes through.
  config_set_string(file.c_str(), "a", "y", big.c_str());
  EXPECT_EQ(read_bytes(file), "[a]\nx = 1\ny = " + big + "\n");
}

#else
TEST(ConfigAtomicReplace, FailedWriteLeavesTheOldFileWhole) {
  GTEST_SKIP() << "a file-size limit (setrlimit) is a POSIX set-up";
}
#endif

TEST(ConfigAtomicReplace, FailedRenameRemovesTheTemporaryFile) {
  ScratchDir scratch;
  // A non-empty folder in place of the file: the rename over it must fail.
  const std::string target = scratch.path("cfg.ini");
  fs::create_directory(target);
  write_bytes(fs::path(target) / "inner.txt", "keep");
  EXPECT_EQ(config_set_string(target.c_str(), "", "k", "v"), -1);
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_EQ(read_bytes(fs::path(target) / "inner.txt"), "keep");
  EXPECT_EQ(scratch.entries(), Names{"cfg.ini"});
}

}  // namespace
}  // namespace helmert7
