// SPDX-License-Identifier: MIT
// Rewrites of one file by many processes or threads at once, through every
// spelling of its path; readers during rewrites in place; and a whole-file read
// that is capped: POSIX processes and pipes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "config_test_support.h"

namespace helmert7 {
namespace {

using config_test::read_bytes;
using config_test::ScratchDir;
using config_test::write_bytes;

#ifndef _WIN32

// Starts `count` children that wait on one pipe until the parent closes it, then
// run `work(i)` and exit with its result; returns how many exited 0.
template <typename Work>
int run_together(int count, Work work) {
  int gate[2];
  EXPECT_EQ(::pipe(gate), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(gate[1]);
      char byte;
      while (::read(gate[0], &byte, 1) > 0) {
      }
      ::_exit(work(i));
    }
    children.push_back(child);
  }
  ::close(gate[0]);
  ::close(gate[1]);  // all start now
  int succeeded = 0;
  for (const pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    succeeded += WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return succeeded;
}

TEST(ConfigConcurrency, TwentyProcessesSettingTheirOwnKeysAllKeepTheirChange) {
  constexpr int kProcesses = 20;
  ScratchDir scratch;
  const std::string file = scratch.path("shared.ini");
  std::string text = "# shared\n";
  for (int i = 0; i < kProcesses; ++i) text += "k" + std::to_string(i) + " = 0\n";
  write_bytes(file, text);
  const int succeeded = run_together(kProcesses, [&file](int i) {
    const std::string key = "k" + std::to_string(i);
    return config_set_int(file.c_str(), "", key.c_str(), i + 1) == 0 ? 0 : 1;
  });
  EXPECT_EQ(succeeded, kProcesses);
  const ConfigRecordList list = config_load_file(file.c_str());
  ASSERT_EQ(list.size(), static_cast<std::size_t>(kProcesses));
  for (int i = 0; i < kProcesses; ++i) {
    EXPECT_EQ(list[i].value, std::to_string(i + 1)) << "k" << i;
  }
  EXPECT_EQ(scratch.entries(), std::vector<std::string>{"shared.ini"});
}

// A file with two names is rewritten in place; a reader takes it whole or not at all.
TEST(ConfigConcurrency, ReadersNeverSeeARewriteInPlaceHalfDone) {
  constexpr int kRounds = 200;
  ScratchDir scratch;
  const std::string file = scratch.path("linked.ini");
  const std::string a(4000, 'a'), b(4000, 'b');
  write_bytes(file, "k = " + a + "\nj = 1\n");
  ASSERT_EQ(::link(file.c_str(), scratch.path("other.ini").c_str()), 0);
  const pid_t writer = ::fork();
  if (writer == 0) {
    for (int round = 0; round < kRounds; ++round) {
      if (config_set_string(file.c_str(), "", "k", (round % 2 ? a : b).c_str()) != 0) ::_exit(1);
    }
    ::_exit(0);
  }
  int torn = 0;
  for (int round = 0; round < kRounds; ++round) {
    ConfigDocument document;
    std::string reason;
    ASSERT_TRUE(config_read_document(file.c_str(), document, reason)) << reason;
    const bool whole = document.records.size() == 2 &&
                       (document.records[0].value == a || document.records[0].value == b) &&
                       document.records[1].value == "1";
    torn += !whole;
  }
  int status = 0;
  ::waitpid(writer, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(torn, 0);
}

TEST(ConfigReadText, APipeIsReadOnceAndDevicesAndLargeFilesAreRefused) {
  ScratchDir scratch;
  const std::string fifo = scratch.path("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const pid_t writer = ::fork();
  if (writer == 0) {
    std::FILE* out = std::fopen(fifo.c_str(), "w");
    std::fputs("src = 1,2,3\ndes = 4,5,6\n", out);
    std::fclose(out);
    ::_exit(0);
  }
  ConfigDocument document;
  std::string reason;
  ASSERT_TRUE(config_read_document(fifo.c_str(), document, reason)) << reason;
  ::waitpid(writer, nullptr, 0);
  ASSERT_EQ(document.records.size(), 2u);
  EXPECT_EQ(document.records[1].value, "4,5,6");

  std::string text;
  EXPECT_FALSE(config_read_text("/dev/zero", text, reason));
  EXPECT_EQ(reason, "not a regular file or a pipe");
  EXPECT_FALSE(config_read_text(scratch.path("").c_str(), text, reason));
  EXPECT_EQ(reason, "not a regular file or a pipe");
  write_bytes(scratch.path("big.ini"), std::string((2u << 20) + 1, 'x'));
  EXPECT_FALSE(config_read_text(scratch.path("big.ini").c_str(), text, reason, 2u << 20));
  EXPECT_NE(reason.find("larger than 2 MiB"), std::string::npos) << reason;
}

#endif

namespace fs = std::filesystem;

// The working folder changed for a scope, for relative spellings of a path.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& folder) : saved_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~WorkingFolder() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

// Spellings of the path of "shared.ini" in the working folder, the first plain.
std::vector<std::string> spellings_of_shared_ini() {
  const std::string absolute = (fs::current_path() / "shared.ini").string();
#ifdef _WIN32
  // The file system ignores letter case, and ".\\" is the working folder.
  return {"shared.ini", "SHARED.INI", ".\\Shared.Ini", absolute};
#else
  fs::create_directory("sub");
  fs::create_symlink("shared.ini", "link.ini");
  return {"shared.ini", "./shared.ini", "sub/../shared.ini", "link.ini", absolute};
#endif
}

// While one spelling holds the file's lock, each other spelling waits for it.
TEST(ConfigConcurrency, EverySpellingOfAPathWaitsForTheLockOfItsFile) {
  enum State { waiting, locked, failed };
  ScratchDir scratch;
  const WorkingFolder here(scratch.path(""));
  write_bytes("shared.ini", "k = 0\n");
  const std::vector<std::string> spellings = spellings_of_shared_ini();
  for (const std::string& other : spellings) {
    SCOPED_TRACE(other);
    std::atomic<State> state{waiting};
    std::thread waiter;
    {
      const ConfigRewriteLock held(spellings.front().c_str());
      std::string text;
      ASSERT_TRUE(held.read_text(text));
      waiter = std::thread([&state, &other] {
        const ConfigRewriteLock lock(other.c_str());
        std::string text;
        state = lock.read_text(text) ? locked : failed;
      });
      // A fixed pause, long enough for a lock that does not exclude to be taken.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      EXPECT_EQ(state, waiting);
    }
    waiter.join();
    EXPECT_EQ(state, locked);
  }
}

TEST(ConfigConcurrency, ThreadsSettingTheirOwnKeysThroughOtherSpellingsAllKeepTheirChange) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 3;
  ScratchDir scratch;
  const WorkingFolder here(scratch.path(""));
  std::string text;
  for (int i = 0; i < kThreads; ++i) text += "k" + std::to_string(i) + " = 0\n";
  write_bytes("shared.ini", text);
  const std::vector<std::string> spellings = spellings_of_shared_ini();
  const std::vector<std::string> entries = scratch.entries();
  std::atomic<int> refused{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      const std::string key = "k" + std::to_string(i);
      const std::string& path = spellings[static_cast<std::size_t>(i) % spellings.size()];
      for (int round = 1; round <= kRounds; ++round) {
        refused += config_set_int(path.c_str(), "", key.c_str(), round) != 0;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(refused, 0);
  const ConfigRecordList list = config_load_file("shared.ini");
  ASSERT_EQ(list.size(), static_cast<std::size_t>(kThreads));
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(list[i].value, std::to_string(kRounds)) << "k" << i;
  }
  EXPECT_EQ(scratch.entries(), entries);  // no temporary file left
}

// What the loader cannot take as it stands, with its line and key.
TEST(ConfigDocument, IssuesNameTheirLineAndKey) {
  ConfigDocument document;
  const std::string long_value(32800, '1');
  config_parse_text("\xEF\xBB\xBFsrc = 1\rdes = " + long_value + "\r\ntest = 1,2,3,\n4,5,6\nx = a" +
                        std::string(1, '\0') + "b\n",
                    document);
  ASSERT_EQ(document.records.size(), 2u);
  EXPECT_EQ(document.records[0].key, "src");  // not hidden by the byte-order mark
  EXPECT_EQ(document.records[1].key, "test");
  EXPECT_EQ(document.records[1].line, 3);
  ASSERT_EQ(document.issues.size(), 3u);
  EXPECT_EQ(document.issues[0].line, 2);
  EXPECT_EQ(document.issues[0].key, "des");
  EXPECT_EQ(document.issues[0].what, "a key or value too long to hold");
  EXPECT_EQ(document.issues[1].line, 4);
  EXPECT_EQ(document.issues[1].key, "");
  EXPECT_EQ(document.issues[1].what, "a line that is no key = value, header or comment");
  EXPECT_EQ(document.issues[2].line, 5);
  EXPECT_EQ(document.issues[2].key, "x");
  EXPECT_EQ(document.issues[2].what, "a NUL byte inside a line");
}

}  // namespace
}  // namespace helmert7
