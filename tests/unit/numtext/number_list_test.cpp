// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "numtext/numtext.h"

namespace helmert7 {
namespace {

using namespace std::string_literals;

// The what() text of the exception that parsing `text` throws; fails the test
// when it throws nothing or something else.
template <typename Exception>
std::string failure_text(const std::string& text) {
  try {
    read_numbers(text);
  } catch (const Exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "no expected exception for \"" << text << "\"";
  return {};
}

TEST(ReadNumbers, CommaIsTheOnlySeparatorAndBlanksVanishEverywhere) {
  EXPECT_EQ(read_numbers("1,2,3"), (CoordinateList{1, 2, 3}));
  EXPECT_EQ(read_numbers("  1 , 2 ,3  "), (CoordinateList{1, 2, 3}));
  EXPECT_EQ(read_numbers("1 234.5, - 2"), (CoordinateList{1234.5, -2}));
  EXPECT_EQ(read_numbers("1 2 3"), (CoordinateList{123}));
  EXPECT_EQ(read_numbers("1,2,3,4,5,6,7").size(), 7u);  // no grouping into points
}

TEST(ReadNumbers, EmptyOrBlankTextGivesNoValues) {
  EXPECT_TRUE(read_numbers("").empty());
  EXPECT_TRUE(read_numbers("     ").empty());
}

TEST(ReadNumbers, OneTrailingCommaAddsNothing) {
  EXPECT_EQ(read_numbers("1,2,3,"), (CoordinateList{1, 2, 3}));
  EXPECT_EQ(read_numbers("1,2,3,   "), (CoordinateList{1, 2, 3}));
  EXPECT_THROW(read_numbers("1,2,3,\n"), std::invalid_argument);
  EXPECT_THROW(read_numbers("1,2,3,,"), std::invalid_argument);
}

TEST(ReadNumbers, LineBreaksAreWhiteSpaceNotSeparators) {
  EXPECT_EQ(read_numbers("1,\n2,\r\n3"), (CoordinateList{1, 2, 3}));
  EXPECT_EQ(read_numbers("\t1,\v2,\f3\n"), (CoordinateList{1, 2, 3}));
  EXPECT_EQ(read_numbers("1,2,3\n"), (CoordinateList{1, 2, 3}));
  EXPECT_EQ(read_numbers("1,2,3,\r\n4,5,6\r\n"), (CoordinateList{1, 2, 3, 4, 5, 6}));
}

// Regression: the bytes after a number were ignored, so "3\n4" (points one to a
// line without a comma at the line end) read as 3 and the point counts slipped.
TEST(ReadNumbers, NothingButWhiteSpaceMayFollowANumber) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"1,2,3\n4,5,6",
       R"(value 3 is "3\n4": separate the values with commas, also at the end of a line)"},
      {"1,2\r\n3",
       R"(value 2 is "2\r\n3": separate the values with commas, also at the end of a line)"},
      {"1.5abc", R"(value 1 is "1.5abc": only white space may follow the number)"},
      {"1;2,3", R"(value 1 is "1;2": only white space may follow the number)"},
      {"7,1e", R"(value 2 is "1e": only white space may follow the number)"},
      {"1,2x3", R"(value 2 is "2x3": only white space may follow the number)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(failure_text<std::invalid_argument>(c.text),
              std::string("invalid stod argument: ") + c.message);
  }
}

TEST(ReadNumbers, PieceWithoutANumberIsInvalid) {
  for (const char* text : {"1,,2", ",1", ",", "abc", "1,\t", "-", "+.", "e5", "1,x2"})
    EXPECT_THROW(read_numbers(text), std::invalid_argument) << text;
}

TEST(ReadNumbers, NumberFormsOfTheCLibrary) {
  EXPECT_EQ(read_numbers("-1.5e3,+2,.5,7."), (CoordinateList{-1500, 2, 0.5, 7}));
  EXPECT_EQ(read_numbers("1E2,1e+2,25e-1"), (CoordinateList{100, 100, 2.5}));
  EXPECT_EQ(read_numbers("0x10,0X1p-2,-0x.8"), (CoordinateList{16, 0.25, -0.5}));

  const CoordinateList special = read_numbers("inf,-Infinity,nan,NAN(123),-nan");
  ASSERT_EQ(special.size(), 5u);
  EXPECT_EQ(special[0], std::numeric_limits<double>::infinity());
  EXPECT_EQ(special[1], -std::numeric_limits<double>::infinity());
  for (std::size_t i = 2; i < special.size(); ++i) EXPECT_TRUE(std::isnan(special[i])) << i;
}

TEST(ReadNumbers, EmbeddedNulEndsTheNumberButNotThePiece) {
  EXPECT_THROW(read_numbers("1,2\0junk,3"s), std::invalid_argument);
  EXPECT_THROW(read_numbers("1,\0"
                            "2"s),
               std::invalid_argument);
}

TEST(ReadNumbers, RangeErrorsAsStrtodReportsThem) {
  for (const char* text : {"1e999", "-1e999", "1,2,1e400", "1e-400"})
    EXPECT_THROW(read_numbers(text), std::out_of_range) << text;
  // glibc flags an inexact subnormal result as a range error, an exact one not.
  EXPECT_THROW(read_numbers("1e-310"), std::out_of_range);
  EXPECT_EQ(read_numbers("0x1p-1074"), (CoordinateList{std::numeric_limits<double>::denorm_min()}));
  EXPECT_EQ(read_numbers("2.2250738585072014e-308"),
            (CoordinateList{std::numeric_limits<double>::min()}));
  EXPECT_EQ(read_numbers("1.7976931348623157e308"),
            (CoordinateList{std::numeric_limits<double>::max()}));
}

TEST(ReadNumbers, MessageNamesValueNumberAndPiece) {
  EXPECT_EQ(failure_text<std::invalid_argument>("1,,2"), R"(invalid stod argument: value 2 is "")");
  EXPECT_EQ(failure_text<std::invalid_argument>("1, 2, x y ,4"),
            R"(invalid stod argument: value 3 is "xy")");
  EXPECT_EQ(failure_text<std::out_of_range>("0,0,0,1e 999"),
            R"(stod argument out of range: value 4 is "1e999")");
  EXPECT_EQ(failure_text<std::invalid_argument>("1,2,3,\n"),
            R"(invalid stod argument: value 4 is "\n")");
}

TEST(ReadNumbers, MessageEscapesControlBytesAndKeepsOthers) {
  EXPECT_EQ(failure_text<std::invalid_argument>("\t\r\x01\x1f\x7f"
                                                "a"),
            R"(invalid stod argument: value 1 is "\t\r\x01\x1F\x7Fa")");
  EXPECT_EQ(failure_text<std::invalid_argument>("\0"s),
            R"(invalid stod argument: value 1 is "\x00")");
  EXPECT_EQ(failure_text<std::invalid_argument>("\xC3\xA9t\xE9"),
            "invalid stod argument: value 1 is \"\xC3\xA9t\xE9\"");
}

TEST(ReadNumbers, MessageCutsLongPiecesAfterFortyBytes) {
  const std::string forty(40, 'a');
  EXPECT_EQ(failure_text<std::invalid_argument>(forty),
            "invalid stod argument: value 1 is \"" + forty + "\"");
  EXPECT_EQ(failure_text<std::invalid_argument>("1," + forty + "bcdef"),
            "invalid stod argument: value 2 is \"" + forty + "...\"");

  // The cut counts bytes of the piece, before escaping.
  std::string escaped;
  for (int i = 0; i < 40; ++i) escaped += "\\n";
  const std::string message = failure_text<std::invalid_argument>(std::string(41, '\n') + "x");
  EXPECT_EQ(message, "invalid stod argument: value 1 is \"" + escaped + "...\"");
  EXPECT_EQ(message.find('\n'), std::string::npos);
}

// A long text whose values are known exactly: quarters print exactly with "%f".
std::string quarters_text(std::size_t n, CoordinateList& expected) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) {
    const double value = static_cast<double>(i) * 0.25 - 1000.0;
    expected.push_back(value);
    text += std::to_string(value) + (i % 3 == 2 ? ",\n" : ", ");
  }
  return text;
}

TEST(ReadNumbers, LongTextParsesCompletelyAndNumbersFailuresCorrectly) {
  CoordinateList expected;
  const std::string text = quarters_text(100000, expected);
  EXPECT_EQ(read_numbers(text), expected);
  EXPECT_EQ(failure_text<std::invalid_argument>(text + "bad"),
            R"(invalid stod argument: value 100001 is "bad")");
}

TEST(Excerpt, KeepsFortyBytesEscapedAndSaysWhetherItCut) {
  const struct {
    std::string text;
    std::string shown;
    bool cut;
  } cases[] = {{"1.5abc", "1.5abc", false},
               {"a\tb\x01", "a\\tb\\x01", false},
               {std::string(40, '7'), std::string(40, '7'), false},
               {std::string(41, '7'), std::string(40, '7'), true},
               {std::string(39, '7') + "\n8", std::string(39, '7') + "\\n", true},
               // A no-break or ideographic space looks like a blank but is none.
               {"0\xC2\xA0", "0\\xC2\\xA0", false},
               {"1\xE3\x80\x80" "2", "1\\xE3\\x80\\x80" "2", false},
               // GBK and other bytes above 0x7F pass as they are.
               {"\xB0\xE6\xC2", "\xB0\xE6\xC2", false}};
  for (const auto& c : cases) {
    const Excerpt excerpt = excerpt_of(c.text);
    EXPECT_EQ(excerpt.text, c.shown) << c.text;
    EXPECT_EQ(excerpt.cut, c.cut) << c.text;
  }
}

// Commas split a list into pieces, empty ones kept, so that an empty name or
// angle can be refused; trimming takes every kind of white space, inner blanks kept.
TEST(CommaPieces, KeepEmptyPiecesAndTrimOnlyTheEnds) {
  const struct {
    std::string text;
    std::vector<std::string> trimmed_pieces;
  } cases[] = {{"", {""}},
               {"P1", {"P1"}},
               {" P1 ,\tP 2\r\n", {"P1", "P 2"}},
               {"a,,b", {"a", "", "b"}},
               {",", {"", ""}},
               {" \v\f", {""}}};
  for (const auto& c : cases) {
    std::vector<std::string> pieces;
    for (const std::string_view piece : comma_pieces(c.text)) pieces.emplace_back(trimmed(piece));
    EXPECT_EQ(pieces, c.trimmed_pieces) << in_quotes(c.text);
  }
}

}  // namespace
}  // namespace helmert7
