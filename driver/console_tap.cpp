#include "driver/console_tap.h"

#include <cstdio>

#include "common/console.h"

namespace {

constexpr int MAX_LISTENERS = 4;
ConsoleListener listeners[MAX_LISTENERS];
int listenerCount = 0;
FILE* realOut = nullptr;  // the streams the tap stands in front of; null while off
FILE* realErr = nullptr;

struct Target {
  FILE* stream;
  bool error;
};
Target outTarget, errTarget;

ssize_t writeThrough(void* cookie, const char* data, size_t size) {
  const Target* target = static_cast<const Target*>(cookie);
  for (int i = 0; i < listenerCount; ++i) listeners[i](target->error, data, size);
  size_t written = std::fwrite(data, 1, size, target->stream);
  std::fflush(target->stream);
  return static_cast<ssize_t>(written);
}

FILE* wrap(Target* target) {
  cookie_io_functions_t functions = {nullptr, writeThrough, nullptr, nullptr};
  FILE* wrapped = fopencookie(target, "w", functions);
  if (wrapped == nullptr) return target->stream;
  std::setvbuf(wrapped, nullptr, _IOLBF, 0);
  return wrapped;
}

}  // namespace

void consoleTapListen(ConsoleListener listener) {
  if (realOut == nullptr) {
    realOut = consoleOut;
    realErr = consoleErr;
    outTarget = {realOut, false};
    errTarget = {realErr, true};
    consoleOut = wrap(&outTarget);
    consoleErr = wrap(&errTarget);
  }
  if (listenerCount < MAX_LISTENERS) listeners[listenerCount++] = listener;
}

void consoleTapStop() {
  if (realOut == nullptr) return;
  if (consoleOut != realOut) std::fclose(consoleOut);
  if (consoleErr != realErr) std::fclose(consoleErr);
  consoleOut = realOut;
  consoleErr = realErr;
  realOut = realErr = nullptr;
  listenerCount = 0;
}
