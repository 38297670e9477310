// Console dialogue with the operator: line reads with a length limit, yes/no
// questions and the closing prompt. Everything reads consoleIn and writes
// consoleOut.
#pragma once

#include <cstdint>

constexpr int32_t REPLY_SIZE = 256;
// Answers to questions and to the closing prompt are read this far.
constexpr int32_t ANSWER_READ_MAX = 9;

// The one line buffer of console input.
extern char reply[REPLY_SIZE];

// Reads one line, at most maxChars characters of it (1 to REPLY_SIZE - 1),
// into reply; what lies beyond stays unread for the next read. Returns the
// number of characters read, or -1 at the end of input (reply then empty).
int32_t readReply(int32_t maxChars);

// What an answer other than the explicit opposite means: "(y/n)[n]? " questions
// are yes only for a first character 'y', "(y/n)[y]? " questions are no only
// for a first character 'n'. The end of input is no for both.
enum class AnswerDefault { no, yes };

// Prints the question (printf format) and reads the answer; 1 = yes, 0 = no.
int32_t askQuestion(AnswerDefault answerDefault, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// "\nPress Enter to exit." and one line read; the end of input ends it too.
void waitForExit();
