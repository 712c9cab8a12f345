// SPDX-License-Identifier: MIT
// What the loader makes of a file's bytes: one table of texts with the records,
// the issues and the searches they give, each text also written back from its
// records and loaded again.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "config/config.h"
#include "config_test_support.h"

namespace helmert7 {
namespace {

using config_test::load_rows;
using config_test::Row;
using config_test::rows;
using config_test::ScratchDir;
using config_test::write_bytes;
using Rows = std::vector<Row>;
using Kind = ConfigIssue::Kind;

/// (line, key, kind) of an issue.
using IssueRow = std::tuple<int, std::string, Kind>;
using IssueRows = std::vector<IssueRow>;

/// A search and the value it finds, or nullopt when it finds no record.
struct Lookup {
  std::string section;
  std::string key;
  std::optional<std::string> value;
};

struct LoadCase {
  const char* name;
  std::string text;
  Rows records;
  IssueRows issues;
  bool whole;  // no line dropped or split
  std::vector<Lookup> lookups;
};

// A literal's bytes, NULs inside it included.
template <std::size_t size>
std::string bytes(const char (&text)[size]) {
  return std::string(text, size - 1);
}

const std::string kKey510(510, 'k'), kKey511(511, 'k'), kValue32767(32767, 'v');
const std::string kName511(511, 's');

const LoadCase kLoadCases[] = {
    // Line ends.
    {"LF, CR LF and a lone CR end a line: 'a\\rb=c' is the stray line 'a' and the key 'b'",
     "[main]\r\nsrc = 1,2,3\r\na\rb=c\r\n\r\n[other]\r\nk=v\r\n",
     {{0, "main", "src", "1,2,3"}, {1, "main", "b", "c"}, {0, "other", "k", "v"}},
     {{3, "", Kind::syntax}}, true, {}},
    {"the same file with LF line ends reads alike",
     "[main]\nsrc = 1,2,3\na\nb=c\n\n[other]\nk=v\n",
     {{0, "main", "src", "1,2,3"}, {1, "main", "b", "c"}, {0, "other", "k", "v"}},
     {{3, "", Kind::syntax}}, true, {}},
    {"the last line needs no line end", "a=1\nb=2", {{0, "", "a", "1"}, {1, "", "b", "2"}}, {},
     true, {}},
    {"a byte-order mark does not hide the first key", "\xEF\xBB\xBFsrc = 1\n",
     {{0, "", "src", "1"}}, {}, true, {}},
    {"an empty file", "", {}, {}, true, {}},
    {"blank lines and comments only", "\n  \t\n# only\n;comments\r\n", {}, {}, true, {}},

    // NUL, form feed and SUB are part of their line.
    {"a NUL inside a key line drops that line whole",
     bytes("a=1\0b=2\nkey=ab\0cd=ef\n\0\0x=3\ny=4"),
     {{0, "", "y", "4"}},
     {{1, "a", Kind::byte}, {2, "key", Kind::byte}, {3, bytes("\0\0x"), Kind::byte}}, false,
     {{"", "b", std::nullopt}, {"", "cd", std::nullopt}}},
    {"a NUL inside a comment keeps the rest of the line in the comment",
     bytes("# note\0src = 9,9,9\nsrc=1\n"), {{0, "", "src", "1"}}, {}, true,
     {{"", "src", "1"}}},
    {"keys under a header that holds a NUL are dropped", bytes("[a\0b]\nk=1\n[c]\nj=2\n"),
     {{0, "c", "j", "2"}}, {{2, "k", Kind::section}}, false, {}},
    {"form feed and SUB stay in the value, noted as bytes other readers end a line at",
     "k=v\f\n[s]\f\nz=9\na=b\fc=d\nsub=1\x1a" "e=2\n",
     {{0, "", "k", "v\f"}, {1, "", "z", "9"}, {2, "", "a", "b\fc=d"}, {3, "", "sub", "1\x1a" "e=2"}},
     {{1, "k", Kind::byte}, {2, "", Kind::syntax}, {4, "a", Kind::byte}, {5, "sub", Kind::byte}},
     true, {{"s", "z", std::nullopt}, {"", "c", std::nullopt}}},
    {"a form feed inside a coordinate text keeps every point on its line, with its key",
     "des = 4,5,6\ntest = 1,1,1\f 2,2,2, 3,3,3\n",
     {{0, "", "des", "4,5,6"}, {1, "", "test", "1,1,1\f 2,2,2, 3,3,3"}},
     {{2, "test", Kind::byte}}, true, {}},

    // Headers, comments, keys and values.
    {"headers are trimmed; '[ ]' and '[]' join the section before the first header",
     "a=0\n  [ main ]  \n\tk\t=\t v w \t\n[ ]\nb=1\n[]\nc=2\n",
     {{0, "", "a", "0"}, {0, "main", "k", "v w"}, {0, "", "b", "1"}, {0, "", "c", "2"}}, {}, true,
     {{"", "c", "2"}}},
    {"the header test comes before '=': '[main', '[main] ; note' and '[' are no lines",
     "[a=b]\nk=v\n[a]=1\n[main\n[main] ; note\n[\n", {{0, "a=b", "k", "v"}, {1, "a=b", "[a]", "1"}},
     {{4, "", Kind::syntax}, {5, "", Kind::syntax}, {6, "", Kind::syntax}}, true, {}},
    {"comments only at the start of a line",
     "# a=1\n  # b=2\n;c=3\n\t;d=4\nx=1 ; c\ny=2 # d\nq = \"quoted\" = yes\n",
     {{0, "", "x", "1 ; c"}, {1, "", "y", "2 # d"}, {2, "", "q", "\"quoted\" = yes"}}, {}, true,
     {{"", "a", std::nullopt}}},
    {"the first '=' splits; empty values stay; a line beginning with '=' is none",
     "key =\nkey2=\n=value\n  = v\nk = a = b\nbare\n",
     {{0, "", "key", ""}, {1, "", "key2", ""}, {2, "", "k", "a = b"}},
     {{3, "", Kind::syntax}, {4, "", Kind::syntax}, {6, "", Kind::syntax}}, true, {}},
    {"names match with the case bit ignored, the first in file order",
     "src=a\nSRC=b\n[s]\nkey=1\nKEY=2\nkEy=3\n",
     {{0, "", "src", "a"}, {1, "", "SRC", "b"}, {0, "s", "key", "1"}, {1, "s", "KEY", "2"},
      {2, "s", "kEy", "3"}},
     {}, true,
     {{"", "src", "a"}, {"S", "Key", "1"}, {"s", "src", std::nullopt}, {"", "sr", std::nullopt}}},
    {"the 0x20 bit pairs more than letters: '[' with '{', '_' with DEL, '1' with 0x11",
     "[[x]]\na_1=v\n", {{0, "[x]", "a_1", "v"}}, {}, true,
     {{"{X}", "A\x7f\x11", "v"}, {"[x]", "a_2", std::nullopt}}},
    {"a section named twice resumes", "[a]\nx=1\n[b]\ny=2\n[A]\nx=3\nz=4\n",
     {{0, "a", "x", "1"}, {0, "b", "y", "2"}, {0, "A", "x", "3"}, {1, "A", "z", "4"}}, {}, true,
     {{"a", "x", "1"}, {"a", "z", "4"}}},

    // Lengths.
    {"a line of the limit's length, the longest the writer writes, is taken whole",
     kKey510 + " = " + kValue32767 + "\n", {{0, "", kKey510, kValue32767}}, {}, true, {}},
    {"past the limit the part read is dropped and the rest reads as a new line",
     std::string(kConfigLineLimit, ' ') + "a=1\n", {{0, "", "a", "1"}},
     {{1, "", Kind::length}}, false, {}},
    {"a key or value too long for its field drops the line whole",
     kKey511 + "=1\n" + kKey511 + "k=2\nb=" + kValue32767 + "\nc=" + kValue32767 + "v\nd=4\n",
     {{0, "", kKey511, "1"}, {1, "", "b", kValue32767}, {2, "", "d", "4"}},
     {{2, "", Kind::length}, {4, "c", Kind::length}}, false, {}},
    {"keys under a header too long to hold are dropped",
     "[a]\nx=1\n[" + kName511 + "]\ny=2\n[" + kName511 + "s]\nx=3\nz=4\n[b]\nw=5\n",
     {{0, "a", "x", "1"}, {0, kName511, "y", "2"}, {0, "b", "w", "5"}},
     {{6, "x", Kind::section}, {7, "z", Kind::section}}, false, {{"a", "z", std::nullopt}}},
};

IssueRows issue_rows(const std::vector<ConfigIssue>& issues) {
  IssueRows result;
  for (const ConfigIssue& issue : issues) result.emplace_back(issue.line, issue.key, issue.kind);
  return result;
}

TEST(ConfigLoad, RecordsIssuesAndSearchesOfEachText) {
  ScratchDir scratch;
  const std::string file = scratch.path("case.ini");
  for (const LoadCase& c : kLoadCases) {
    SCOPED_TRACE(c.name);
    write_bytes(file, c.text);
    ConfigRecordList list;
    EXPECT_EQ(config_load_whole_file(file.c_str(), list), c.whole);
    EXPECT_EQ(rows(list), c.records);
    ConfigDocument document;
    std::string reason;
    ASSERT_TRUE(config_read_document(file.c_str(), document, reason)) << reason;
    EXPECT_EQ(issue_rows(document.issues), c.issues);
    for (const Lookup& lookup : c.lookups) {
      const ConfigRecord* found =
          config_find_record(list, lookup.section.c_str(), lookup.key.c_str());
      EXPECT_EQ(found ? std::optional<std::string>(found->value) : std::nullopt, lookup.value)
          << "[" << lookup.section << "] " << lookup.key;
    }
    // The records written back load whole as the same records.
    const std::string rewritten = scratch.path("rewritten.ini");
    ASSERT_TRUE(config_write_file(rewritten.c_str(), list));
    ConfigRecordList reloaded;
    EXPECT_TRUE(config_load_whole_file(rewritten.c_str(), reloaded));
    EXPECT_EQ(rows(reloaded), rows(list));
  }
}

TEST(ConfigLoad, NoFileGivesNoRecords) {
  ScratchDir scratch;
  ConfigRecordList list;
  EXPECT_FALSE(config_load_whole_file(scratch.path("missing.ini").c_str(), list));
  EXPECT_TRUE(list.empty());
  // A folder is no file to read.
  EXPECT_FALSE(config_load_whole_file(scratch.path("").c_str(), list));
  EXPECT_TRUE(list.empty());
}

TEST(ConfigSplit, KeysAndValuesMustFitTheirBuffers) {
  char key[4] = "***";
  char value[3] = "**";
  EXPECT_EQ(config_split_key_value(key, 4, value, 3, "abc = de"), 0);
  EXPECT_STREQ(key, "abc");
  EXPECT_STREQ(value, "de");
  EXPECT_EQ(config_split_key_value(key, 4, value, 3, "abcd=1"), -1);
  EXPECT_EQ(config_split_key_value(key, 4, value, 3, "a=def"), -1);
  EXPECT_EQ(config_split_key_value(key, 4, value, 3, "=1"), -1);
  EXPECT_EQ(config_split_key_value(key, 4, value, 3, "no equals"), -1);
  EXPECT_STREQ(key, "abc");  // refused lines leave the buffers alone
  EXPECT_STREQ(value, "de");
}

TEST(ConfigTrim, OnlyBlanksAndTabs) {
  EXPECT_EQ(config_trim(" \t a b \t "), "a b");
  EXPECT_EQ(config_trim(" \t "), "");
  EXPECT_EQ(config_trim("\r\va\f\n"), "\r\va\f\n");
}

}  // namespace
}  // namespace helmert7
