// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "config/config.h"
#include "config_test_support.h"

namespace helmert7 {
namespace {

using config_test::data_file;
using config_test::load_rows;
using config_test::Row;
using config_test::rows;
using config_test::ScratchDir;
using config_test::write_bytes;
using Rows = std::vector<Row>;

// A lone CR ends a line as LF and CR LF do: "a\rb=c" is the stray line "a" and the
// key "b".
TEST(ConfigLoad, LfCrLfAndALoneCrEndALine) {
  const Rows expected = {
      {0, "main", "src", "1,2,3"}, {1, "main", "b", "c"}, {0, "other", "k", "v"}};
  EXPECT_EQ(load_rows(data_file("crlf.ini")), expected);

  // The same file with LF line ends reads alike.
  ScratchDir scratch;
  std::string text = config_test::read_bytes(data_file("crlf.ini"));
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  std::replace(text.begin(), text.end(), '\r', '\n');
  write_bytes(scratch.path("lf.ini"), text);
  EXPECT_EQ(load_rows(scratch.path("lf.ini")), expected);
}

TEST(ConfigLoad, NulEndsALine) {
  const Rows expected = {{0, "", "a", "1"},
                         {1, "", "b", "2"},
                         {2, "", "key", "ab"},
                         {3, "", "cd", "ef"},
                         {4, "", "x", "3"}};
  EXPECT_EQ(load_rows(data_file("nul_byte.ini")), expected);
}

TEST(ConfigLoad, FormFeedAndSubEndALineAsItsLastByte) {
  // "[s]\f" does not end in "]", so it is no header and "z" stays in the empty section.
  const Rows expected = {{0, "", "k", "v\f"}, {1, "", "z", "9"},       {2, "", "a", "b\f"},
                         {3, "", "c", "d"},   {4, "", "sub", "1\x1a"}, {5, "", "e", "2"}};
  EXPECT_EQ(load_rows(data_file("form_feed.ini")), expected);
}

TEST(ConfigLoad, LastLineNeedsNoLineEnd) {
  const Rows expected = {{0, "", "a", "1"}, {1, "", "b", "2"}};
  EXPECT_EQ(load_rows(data_file("no_trailing_newline.ini")), expected);
}

TEST(ConfigLoad, HeadersTrimAndEmptyNamesJoinTheLeadingSection) {
  const Rows expected = {
      {0, "", "a", "0"}, {0, "main", "k", "v w"}, {0, "", "b", "1"}, {0, "", "c", "2"}};
  const ConfigRecordList list = config_load_file(data_file("headers.ini").c_str());
  EXPECT_EQ(rows(list), expected);
  ASSERT_NE(config_find_record(list, "", "c"), nullptr);
  EXPECT_EQ(config_find_record(list, "", "c")->value, "2");
}

TEST(ConfigLoad, HeaderTestComesBeforeEquals) {
  // "[main", "[main] ; note" and "[" are neither headers nor key lines.
  const Rows expected = {{0, "a=b", "k", "v"}, {1, "a=b", "[a]", "1"}};
  EXPECT_EQ(load_rows(data_file("bracket_equals.ini")), expected);
}

TEST(ConfigLoad, CommentsOnlyAtTheStart) {
  const Rows expected = {
      {0, "", "x", "1 ; c"}, {1, "", "y", "2 # d"}, {2, "", "q", "\"quoted\" = yes"}};
  EXPECT_EQ(load_rows(data_file("comments.ini")), expected);
}

TEST(ConfigLoad, FirstEqualsSplitsAndEmptyValuesStay) {
  const Rows expected = {{0, "", "key", ""}, {1, "", "key2", ""}, {2, "", "k", "a = b"}};
  EXPECT_EQ(load_rows(data_file("empty_value.ini")), expected);
}

TEST(ConfigLoad, NamesMatchWithTheCaseBitIgnoredFirstInFileOrder) {
  const ConfigRecordList list = config_load_file(data_file("repeated_keys.ini").c_str());
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(config_find_record(list, "", "src"), &list[0]);
  EXPECT_EQ(config_find_record(list, "S", "Key"), &list[2]);
  EXPECT_EQ(config_find_record(list, "s", "src"), nullptr);
  EXPECT_EQ(config_find_record(list, "", "sr"), nullptr);

  // The 0x20 bit pairs more than letters: "[" with "{", "_" with DEL, "1" with 0x11.
  ConfigRecordList odd = {{0, "[x]", "a_1", "v"}};
  EXPECT_NE(config_find_record(odd, "{X}", "A\x7f\x11"), nullptr);
  EXPECT_EQ(config_find_record(odd, "[x]", "a_2"), nullptr);
}

TEST(ConfigLoad, SectionNamedTwiceResumes) {
  const ConfigRecordList list = config_load_file(data_file("section_twice.ini").c_str());
  const Rows expected = {
      {0, "a", "x", "1"}, {0, "b", "y", "2"}, {0, "A", "x", "3"}, {1, "A", "z", "4"}};
  EXPECT_EQ(rows(list), expected);
  EXPECT_EQ(config_find_record(list, "a", "x")->value, "1");
  EXPECT_EQ(config_find_record(list, "a", "z")->value, "4");
}

TEST(ConfigLoad, NothingToReadGivesNoRecords) {
  ScratchDir scratch;
  write_bytes(scratch.path("empty.ini"), "");
  write_bytes(scratch.path("blank.ini"), "\n  \t\n# only\n;comments\r\n");
  EXPECT_TRUE(config_load_file(scratch.path("empty.ini").c_str()).empty());
  EXPECT_TRUE(config_load_file(scratch.path("blank.ini").c_str()).empty());
  EXPECT_TRUE(config_load_file(scratch.path("missing.ini").c_str()).empty());
  // A folder opens but fails at its first read.
  EXPECT_TRUE(config_load_file(scratch.path("").c_str()).empty());
}

TEST(ConfigLoad, LongLineEndsAtTheLimitAndGoesOnAsANewLine) {
  ScratchDir scratch;
  write_bytes(scratch.path("long_line.ini"), std::string(kConfigLineLimit, ' ') + "a=1\n");
  EXPECT_EQ(load_rows(scratch.path("long_line.ini")), (Rows{{0, "", "a", "1"}}));

}

TEST(ConfigLoad, OverlongKeyOrValueDropsTheLineWhole) {
  ScratchDir scratch;
  const std::string key511(511, 'k'), value32767(32767, 'v');
  write_bytes(scratch.path("overlong.ini"),
              key511 + "=1\n" + key511 + "k=2\nb=" + value32767 + "\nc=" + value32767 + "v\nd=4\n");
  const Rows expected = {{0, "", key511, "1"}, {1, "", "b", value32767}, {2, "", "d", "4"}};
  EXPECT_EQ(load_rows(scratch.path("overlong.ini")), expected);
}

TEST(ConfigLoad, KeysUnderAnOverlongHeaderAreDropped) {
  ScratchDir scratch;
  const std::string name511(511, 's');
  write_bytes(scratch.path("overlong_section.ini"),
              "[a]\nx=1\n[" + name511 + "]\ny=2\n[" + name511 + "s]\nx=3\nz=4\n[b]\nw=5\n");
  const ConfigRecordList list = config_load_file(scratch.path("overlong_section.ini").c_str());
  const Rows expected = {{0, "a", "x", "1"}, {0, name511, "y", "2"}, {0, "b", "w", "5"}};
  EXPECT_EQ(rows(list), expected);
  EXPECT_EQ(config_find_record(list, "a", "z"), nullptr);
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
