// Runs the program's entry, q7340Main, in-process with the given arguments
// and standard-input text, and captures standard output, standard error and
// the exit status. Whatever updateSessionEntry points at is the session that
// runs: the real one unless a test put a stand-in there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct ConsoleRun {
  std::string out;
  std::string err;
  int32_t status = 0;
  std::string inputLeft;  // standard input the run did not read
};

ConsoleRun runEntry(const std::string& argument0, const std::vector<std::string>& arguments,
                    const std::string& input);

// A temporary file holding text, positioned at its start.
FILE* temporaryFileWith(const std::string& text);
// What a file holds from its start (fromStart) or from the present position.
std::string fileText(FILE* file, bool fromStart);
