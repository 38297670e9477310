#include "tests/support/console_run.h"

#include <gtest/gtest.h>

#include "common/console.h"
#include "driver/driver.h"
#include "driver/get_option.h"

FILE* temporaryFileWith(const std::string& text) {
  FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  return file;
}

std::string fileText(FILE* file, bool fromStart) {
  std::fflush(file);
  if (fromStart) std::rewind(file);
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  return text;
}

ConsoleRun runEntry(const std::string& argument0, const std::vector<std::string>& arguments,
                    const std::string& input) {
  ConsoleRun run;
  std::vector<const char*> argv{argument0.c_str()};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);

  FILE* in = temporaryFileWith(input);
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  consoleIn = in;
  consoleOut = out;
  consoleErr = err;
  optIndex = 0;  // program-start state, also when the cases share one process

  run.status = q7340Main(static_cast<int32_t>(argv.size() - 1), argv.data());

  run.out = fileText(out, true);
  run.err = fileText(err, true);
  run.inputLeft = fileText(in, false);
  consoleIn = stdin;
  consoleOut = stdout;
  consoleErr = stderr;
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  return run;
}
