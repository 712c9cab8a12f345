// SPDX-License-Identifier: MIT
// The set operations on the file-system set-ups where a rewrite used to lose or
// expose data: links, owners and modes, unreadable or read-only files, long names,
// and files the loader did not read whole. Cases marked as another user's run in
// a child process that drops to uid and gid 65534.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <string>

#include "config/config.h"
#include "config_test_support.h"

namespace helmert7 {
namespace {

namespace fs = std::filesystem;
using config_test::read_bytes;
using config_test::ScratchDir;
using config_test::write_bytes;

const char kOld[] = "# note\nk=1\n";
const char kNew[] = "[]\nk = 2\n";

#ifndef _WIN32

constexpr uid_t kNobody = 65534;

struct stat status_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

// config_set_int(path, "", "k", 2) as uid and gid 65534, in a child process;
// its result, or 77 when the child could not drop to that user.
int set_as_nobody(const std::string& path) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(77);
    ::_exit(config_set_int(path.c_str(), "", "k", 2) == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status)) return -2;
  const int code = WEXITSTATUS(status);
  return code == 77 ? 77 : (code == 0 ? 0 : -1);
}

struct RewriteCase {
  const char* name;
  bool as_nobody;  // run by uid 65534 instead of this process's user
  // Makes the files in `dir` and returns the path to set "k" in.
  std::function<std::string(const ScratchDir& dir)> set_up;
  int expected;  // 0: the new file is in place; -1: the old one was left
  // Further checks after the operation; the file's bytes are checked for all.
  std::function<void(const ScratchDir& dir, const std::string& path)> check;
};

std::string plain_file(const ScratchDir& dir, const char* name, mode_t mode, uid_t owner) {
  const std::string path = dir.path(name);
  write_bytes(path, kOld);
  EXPECT_EQ(::chmod(path.c_str(), mode), 0);
  EXPECT_EQ(::chown(path.c_str(), owner, owner), 0);
  return path;
}

const RewriteCase kCases[] = {
    {"symbolic link: the file it names is replaced, the link stays", false,
     [](const ScratchDir& dir) {
       write_bytes(dir.path("real.ini"), kOld);
       fs::create_symlink("real.ini", dir.path("link.ini"));
       return dir.path("link.ini");
     },
     0,
     [](const ScratchDir& dir, const std::string& path) {
       EXPECT_TRUE(fs::is_symlink(path));
       EXPECT_EQ(read_bytes(dir.path("real.ini")), kNew);
     }},
    {"hard links: rewritten in place, so both names still see one file", false,
     [](const ScratchDir& dir) {
       write_bytes(dir.path("a.ini"), kOld);
       fs::create_hard_link(dir.path("a.ini"), dir.path("b.ini"));
       return dir.path("a.ini");
     },
     0,
     [](const ScratchDir& dir, const std::string& path) {
       EXPECT_EQ(read_bytes(dir.path("b.ini")), kNew);
       EXPECT_EQ(status_of(path).st_ino, status_of(dir.path("b.ini")).st_ino);
       EXPECT_EQ(status_of(path).st_nlink, 2u);
     }},
    {"root rewriting another user's 0600 file keeps its owner, group and mode", false,
     [](const ScratchDir& dir) { return plain_file(dir, "cfg.ini", 0600, kNobody); }, 0,
     [](const ScratchDir&, const std::string& path) {
       EXPECT_EQ(status_of(path).st_uid, kNobody);
       EXPECT_EQ(status_of(path).st_gid, kNobody);
       EXPECT_EQ(status_of(path).st_mode & 07777, 0600u);
     }},
    {"a name of 250 bytes: the temporary name stays short", false,
     [](const ScratchDir& dir) {
       const std::string path = dir.path(std::string(246, 'n') + ".ini");
       write_bytes(path, kOld);
       return path;
     },
     0, nullptr},
    {"a file with a line the loader dropped for its length is left whole", false,
     [](const ScratchDir& dir) {
       const std::string path = dir.path("cfg.ini");
       write_bytes(path,
                   std::string(kOld) + "long=" + std::string(kConfigValueCapacity, 'v') + "\n");
       return path;
     },
     -1, nullptr},
    {"a read-only file is refused even for root", false,
     [](const ScratchDir& dir) { return plain_file(dir, "cfg.ini", 0444, 0); }, -1, nullptr},
    {"another user rewrites a file of their own, mode 0640 kept", true,
     [](const ScratchDir& dir) { return plain_file(dir, "cfg.ini", 0640, kNobody); }, 0,
     [](const ScratchDir&, const std::string& path) {
       EXPECT_EQ(status_of(path).st_uid, kNobody);
       EXPECT_EQ(status_of(path).st_mode & 07777, 0640u);
     }},
    {"a file the user may not write (0444) is refused", true,
     [](const ScratchDir& dir) { return plain_file(dir, "cfg.ini", 0444, kNobody); }, -1, nullptr},
    {"a file the user could not read (0200) is refused, not wiped", true,
     [](const ScratchDir& dir) { return plain_file(dir, "cfg.ini", 0200, kNobody); }, -1, nullptr},
    {"root's file that all may write: rewritten in place, keeping its owner", true,
     [](const ScratchDir& dir) { return plain_file(dir, "cfg.ini", 0666, 0); }, 0,
     [](const ScratchDir&, const std::string& path) { EXPECT_EQ(status_of(path).st_uid, 0u); }},
};

TEST(ConfigRewrite, KeepsLinksOwnersAndModesAndRefusesWhatItCannotRewriteWhole) {
  if (::geteuid() != 0) GTEST_SKIP() << "the set-ups give files to uid 65534, which needs root";
  for (const RewriteCase& c : kCases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    ASSERT_EQ(::chmod(dir.path("").c_str(), 0777), 0);  // the other user makes files here too
    const std::string path = c.set_up(dir);
    const std::string before = fs::exists(path) ? read_bytes(path) : std::string();

    const int result = c.as_nobody ? set_as_nobody(path) : config_set_int(path.c_str(), "", "k", 2);
    if (result == 77) GTEST_SKIP() << "cannot drop to uid 65534 here";
    EXPECT_EQ(result, c.expected);
    if (fs::exists(path)) {
      EXPECT_EQ(read_bytes(path), c.expected == 0 ? kNew : before);
    }
    if (c.check) c.check(dir, path);
    // No temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(dir.path(""))) {
      EXPECT_EQ(entry.path().filename().string().rfind(".helmert7-", 0), std::string::npos)
          << entry.path();
    }
  }
}

#else

TEST(ConfigRewrite, KeepsLinksOwnersAndModesAndRefusesWhatItCannotRewriteWhole) {
  GTEST_SKIP() << "owners, modes, symbolic and hard links are POSIX set-ups";
}

#endif

}  // namespace
}  // namespace helmert7
