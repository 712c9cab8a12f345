// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "config/config.h"
#include "config_test_support.h"

namespace helmert7 {
namespace {

using config_test::ScratchDir;
using config_test::write_bytes;

std::string get_string(const std::string& path, const char* section, const char* key,
                       const char* default_value) {
  std::string out(kConfigValueCapacity, 'X');
  EXPECT_EQ(config_get_string(path.c_str(), section, key, out.data(), out.size(), default_value),
            0);
  return out.c_str();
}

TEST(ConfigGetString, ValueOrDefault) {
  ScratchDir scratch;
  const std::string file = scratch.path("points.ini");
  write_bytes(file, "src =  1, 2,3  \ndes =\ntest=1\ntest=2\n[points]\nsrc=4,5,6\n");
  EXPECT_EQ(get_string(file, "", "src", "d"), "1, 2,3");
  EXPECT_EQ(get_string(file, "", "SRC", "d"), "1, 2,3");
  EXPECT_EQ(get_string(file, "", "Src", "d"), "1, 2,3");
  EXPECT_EQ(get_string(file, "POINTS", "src", "d"), "4,5,6");
  EXPECT_EQ(get_string(file, "", "test", "d"), "1");
  EXPECT_EQ(get_string(file, "", "des", "d"), "d");    // empty value
  EXPECT_EQ(get_string(file, "", "other", "d"), "d");  // missing key
  EXPECT_EQ(get_string(file, "nowhere", "src", ""), "");
  EXPECT_EQ(get_string(scratch.path("missing.ini"), "", "src", "d"), "d");
}

TEST(ConfigGetString, LongestValueFitsTheFullBuffer) {
  ScratchDir scratch;
  const std::string value(kConfigValueCapacity - 1, '7');
  write_bytes(scratch.path("long.ini"), "src=" + value + "\n");
  EXPECT_EQ(get_string(scratch.path("long.ini"), "", "src", ""), value);
}

// Writes into a buffer followed by a guard region and returns what came before it.
class SmallBuffer : public ::testing::Test {
 protected:
  void SetUp() override { write_bytes(scratch_.path("five.ini"), "k=abcde\n"); }

  std::string get(const char* key, std::size_t capacity, const char* default_value = "") {
    std::memset(buffer_, 'G', sizeof buffer_);
    config_get_string(scratch_.path("five.ini").c_str(), "", key, buffer_, capacity, default_value);
    for (std::size_t i = capacity; i < sizeof buffer_; ++i) {
      EXPECT_EQ(buffer_[i], 'G') << "written past the capacity at " << i;
    }
    return std::string(buffer_, capacity);
  }

  ScratchDir scratch_;
  char buffer_[32];
};

TEST_F(SmallBuffer, ExactFitHoldsTheValueAndItsNul) {
  EXPECT_EQ(get("k", 6), std::string("abcde\0", 6));
  EXPECT_EQ(get("missing", 4, "def"), std::string("def\0", 4));
}

TEST_F(SmallBuffer, OneTooSmallGivesTheEmptyStringNotACutValue) {
  EXPECT_EQ(get("k", 5).front(), '\0');
  EXPECT_EQ(get("k", 1), std::string(1, '\0'));
  EXPECT_EQ(get("missing", 3, "def").front(), '\0');
}

TEST_F(SmallBuffer, CapacityZeroWritesNothing) { EXPECT_EQ(get("k", 0), ""); }

TEST(ConfigGetNumbers, ConvertLikeAtoiAndAtof) {
  ScratchDir scratch;
  const std::string file = scratch.path("numbers.ini");
  write_bytes(file,
              "n=42\nneg=-17\nmixed=12abc\nwords=abc\nhex=0x10\napples=7 apples\nempty=\n"
              "big=99999999999\nsmall=-99999999999\nexp=1.5e3\nhalf=-.5x\n");
  const auto int_of = [&](const char* key) {
    int out = 0;
    EXPECT_EQ(config_get_int(file.c_str(), "", key, &out, -1), 0);
    return out;
  };
  EXPECT_EQ(int_of("n"), 42);
  EXPECT_EQ(int_of("neg"), -17);
  EXPECT_EQ(int_of("mixed"), 12);
  EXPECT_EQ(int_of("words"), 0);  // no number is 0, not the default
  EXPECT_EQ(int_of("hex"), 0);
  EXPECT_EQ(int_of("apples"), 7);
  EXPECT_EQ(int_of("empty"), -1);
  EXPECT_EQ(int_of("missing"), -1);
  EXPECT_EQ(int_of("big"), INT_MAX);
  EXPECT_EQ(int_of("small"), INT_MIN);
  EXPECT_EQ(int_of("exp"), 1);

  const auto double_of = [&](const std::string& path, const char* key) {
    double out = 0.0;
    EXPECT_EQ(config_get_double(path.c_str(), "", key, &out, 2.25), 0);
    return out;
  };
  EXPECT_EQ(double_of(file, "exp"), 1500.0);
  EXPECT_EQ(double_of(file, "half"), -0.5);
  EXPECT_EQ(double_of(file, "words"), 0.0);
  EXPECT_EQ(double_of(file, "empty"), 2.25);
  EXPECT_EQ(double_of(scratch.path("missing.ini"), "n"), 2.25);
}

}  // namespace
}  // namespace helmert7
