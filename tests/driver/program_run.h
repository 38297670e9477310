// Runs the program's entry in-process: given arguments and standard-input
// text, it captures standard output, standard error and the exit status, with
// the update session replaced by a recorder.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/options.h"

struct ProgramRun {
  std::string out;
  std::string err;
  int32_t status = 0;
  // The settings the session was given, if it ran; programName (which points
  // into the arguments, gone after the run) is copied to sessionProgramName.
  std::optional<UpdateOptions> session;
  std::string sessionProgramName;
  std::string inputLeft;                 // standard input the run did not read
};

// What the stand-in session does; by default nothing, and it returns 0.
using SessionStandIn = std::function<int32_t(UpdateOptions*)>;

// argv[0] is "/opt/vxi/bin/q7340romupdate" unless arguments are given with it.
ProgramRun runProgram(const std::vector<std::string>& arguments, const std::string& input,
                      SessionStandIn session = {});
ProgramRun runProgramNamed(const std::string& argument0, const std::vector<std::string>& arguments,
                           const std::string& input, SessionStandIn session = {});

// Streams for code that reads consoleIn and writes consoleOut directly.
struct ConsoleCapture {
  explicit ConsoleCapture(const std::string& input);
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;
  std::string out();
  std::string inputLeft();

 private:
  FILE* in_;
  FILE* out_;
};

// Texts every transcript is built from.
std::string usageText(const std::string& programName);
extern const std::string UPDATE_REVISIONS;  // the table of this update, blank line after
extern const std::string CLOSING_PROMPT;
extern const std::string VERSION_LINE;
