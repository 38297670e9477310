// Line reads with limits, the two kinds of yes/no question and the closing prompt.
#include <string>

#include <gtest/gtest.h>

#include "driver/dialogue.h"
#include "tests/driver/program_run.h"

namespace {

struct QuestionCase {
  AnswerDefault answerDefault;
  std::string input;
  int32_t yes;
};

class Question : public testing::TestWithParam<QuestionCase> {};

TEST_P(Question, FirstCharacterDecidesCaseSensitively) {
  const QuestionCase& c = GetParam();
  ConsoleCapture console(c.input);
  EXPECT_EQ(askQuestion(c.answerDefault, "Program ROM segment %d now (y/n)[n]? ", 3), c.yes);
  EXPECT_EQ(console.out(), "Program ROM segment 3 now (y/n)[n]? ");
}

INSTANTIATE_TEST_SUITE_P(
    DefaultNo, Question,
    testing::Values(QuestionCase{AnswerDefault::no, "y\n", 1},
                    QuestionCase{AnswerDefault::no, "yes\n", 1},
                    QuestionCase{AnswerDefault::no, "Y\n", 0},
                    QuestionCase{AnswerDefault::no, "n\n", 0},
                    QuestionCase{AnswerDefault::no, "\n", 0},
                    QuestionCase{AnswerDefault::no, " y\n", 0},
                    QuestionCase{AnswerDefault::no, "", 0}));  // end of input
INSTANTIATE_TEST_SUITE_P(
    DefaultYes, Question,
    testing::Values(QuestionCase{AnswerDefault::yes, "n\n", 0},
                    QuestionCase{AnswerDefault::yes, "no\n", 0},
                    QuestionCase{AnswerDefault::yes, "N\n", 1},
                    QuestionCase{AnswerDefault::yes, "y\n", 1},
                    QuestionCase{AnswerDefault::yes, "\n", 1},
                    QuestionCase{AnswerDefault::yes, "x", 1},
                    QuestionCase{AnswerDefault::yes, "", 0}));  // end of input: no reboot

TEST(Dialogue, AnswerReadStopsAfterNineCharactersAndLeavesTheRest) {
  ConsoleCapture console("nnnnnnnnnyes\nnext\n");
  EXPECT_EQ(askQuestion(AnswerDefault::yes, "Reboot Q7340 module now (y/n)[y]? "), 0);
  EXPECT_EQ(askQuestion(AnswerDefault::no, "(y/n)[n]? "), 1);  // reads "yes\n"
  EXPECT_EQ(console.inputLeft(), "next\n");
}

TEST(Dialogue, ReadReplyTakesOneLineWithinTheLimit) {
  ConsoleCapture console("abcdef\nxy\n");
  EXPECT_EQ(readReply(4), 4);
  EXPECT_STREQ(reply, "abcd");
  EXPECT_EQ(readReply(4), 3);
  EXPECT_STREQ(reply, "ef\n");
  EXPECT_EQ(readReply(255), 3);
  EXPECT_STREQ(reply, "xy\n");
  EXPECT_EQ(readReply(255), -1);
  EXPECT_STREQ(reply, "");
}

TEST(Dialogue, ReadReplyNeverWritesBeyondTheBuffer) {
  std::string longLine(400, 'a');
  ConsoleCapture console(longLine + "\n");
  EXPECT_EQ(readReply(1000), REPLY_SIZE - 1);
  EXPECT_EQ(std::string(reply), std::string(REPLY_SIZE - 1, 'a'));
  EXPECT_EQ(console.inputLeft(), std::string(400 - (REPLY_SIZE - 1), 'a') + "\n");
}

TEST(Dialogue, ClosingPromptReadsOneShortLine) {
  ConsoleCapture console("0123456789\nrest\n");
  waitForExit();
  EXPECT_EQ(console.out(), "\nPress Enter to exit.");
  EXPECT_EQ(console.inputLeft(), "9\nrest\n");
}

}  // namespace
