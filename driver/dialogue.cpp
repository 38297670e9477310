// Line reads, yes/no questions and the closing prompt.
#include "driver/dialogue.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/console.h"

char reply[REPLY_SIZE];

int32_t readReply(int32_t maxChars) {
  if (maxChars < 1) maxChars = 1;
  if (maxChars > REPLY_SIZE - 1) maxChars = REPLY_SIZE - 1;
  // The prompt is shown before the operator types.
  std::fflush(consoleOut);
  if (std::fgets(reply, maxChars + 1, consoleIn) == nullptr) {
    reply[0] = '\0';
    return -1;
  }
  return static_cast<int32_t>(std::strlen(reply));
}

int32_t askQuestion(AnswerDefault answerDefault, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(consoleOut, format, arguments);
  va_end(arguments);

  if (readReply(ANSWER_READ_MAX) < 0) return 0;
  if (answerDefault == AnswerDefault::no) return reply[0] == 'y' ? 1 : 0;
  return reply[0] == 'n' ? 0 : 1;
}

void waitForExit() {
  std::fputs("\nPress Enter to exit.", consoleOut);
  readReply(ANSWER_READ_MAX);
}
