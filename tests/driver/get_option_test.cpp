// The option parser on its own: letters, arguments and where parsing ends.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "driver/get_option.h"

namespace {

// One call's result: the letter and optArg ("<null>" when there is none).
using Step = std::pair<int32_t, std::string>;

std::vector<Step> parseAll(std::vector<const char*> argv, const char* optionString) {
  optIndex = 0;
  std::vector<Step> steps;
  int32_t argc = static_cast<int32_t>(argv.size());
  argv.push_back(nullptr);
  for (;;) {
    int32_t letter = getOption(argc, argv.data(), optionString);
    steps.emplace_back(letter, optArg != nullptr ? optArg : "<null>");
    if (letter == -1) break;
  }
  return steps;
}

const std::string NONE = "<null>";

TEST(GetOption, ArgumentInSameOrNextArgumentWithOneSeparatorSkipped) {
  EXPECT_EQ(parseAll({"p", "-S4", "-S", "-1", "-S=4", "-S:4", "-S", "=5", "-S==6", "/S", "7"},
                     "d:fS:"),
            (std::vector<Step>{{'S', "4"}, {'S', "-1"}, {'S', "4"}, {'S', "4"}, {'S', "5"},
                               {'S', "=6"}, {'S', "7"}, {-1, NONE}}));
}

TEST(GetOption, OneLetterPerArgumentAndUnknownLettersReturned) {
  // -fq yields f only; x is not described, so it comes back without an argument
  // and the argument after it is examined as an option of its own.
  EXPECT_EQ(parseAll({"p", "-fq", "-x", "-q", "/f", "-"}, "fq"),
            (std::vector<Step>{{'f', NONE}, {'x', NONE}, {'q', NONE}, {'f', NONE}, {0, NONE},
                               {-1, NONE}}));
}

TEST(GetOption, NonOptionArgumentStopsParsingAndIsHandedBack) {
  EXPECT_EQ(parseAll({"p", "-f", "file.hex", "-q"}, "fq"),
            (std::vector<Step>{{'f', NONE}, {-1, "file.hex"}}));
  EXPECT_EQ(optIndex, 2);
  EXPECT_EQ(parseAll({"p", "", "-f"}, "f"), (std::vector<Step>{{-1, ""}}));
}

TEST(GetOption, MissingLastArgumentEndsParsingAndFurtherCallsStayAtTheEnd) {
  const char* argv[] = {"p", "-f", "-S", nullptr};
  optIndex = 0;
  EXPECT_EQ(getOption(3, argv, "fS:"), 'f');
  EXPECT_EQ(getOption(3, argv, "fS:"), -1);
  EXPECT_EQ(optArg, nullptr);
  for (int call = 0; call < 3; ++call) EXPECT_EQ(getOption(3, argv, "fS:"), -1);
  EXPECT_EQ(optIndex, 3);
}

TEST(GetOption, OptionalArgumentOnlyFromTheSameArgument) {
  EXPECT_EQ(parseAll({"p", "-afoo", "-a", "bar"}, "a;b"),
            (std::vector<Step>{{'a', "foo"}, {'a', NONE}, {-1, "bar"}}));
  EXPECT_EQ(parseAll({"p", "-a=1", "-a:2", "-a", "-b"}, "a;b"),
            (std::vector<Step>{{'a', "1"}, {'a', "2"}, {'a', NONE}, {'b', NONE}, {-1, NONE}}));
}

TEST(GetOption, DescriptorCharactersAndHighBytesAreNotMistakenForTheEnd) {
  // ':' describes letters and takes no argument itself; a byte above 127 must
  // not come back as -1, which would end parsing early.
  EXPECT_EQ(parseAll({"p", "-:", "x", "-\xff", "-f"}, "S:f"),
            (std::vector<Step>{{':', NONE}, {-1, "x"}}));
  EXPECT_EQ(parseAll({"p", "-\xff", "-f"}, "S:f"),
            (std::vector<Step>{{0xff, NONE}, {'f', NONE}, {-1, NONE}}));
}

TEST(GetOption, NoArgumentsAtAll) {
  const char* argv[] = {nullptr};
  optIndex = 0;
  EXPECT_EQ(getOption(0, argv, "f"), -1);
  EXPECT_EQ(getOption(0, argv, "f"), -1);
}

}  // namespace
