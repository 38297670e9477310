// The program: its exit status is the entry's (-1 reaches the shell as 255).
#include <cstdio>

#include "driver/driver.h"

int main(int argc, char* argv[]) {
  // Every line goes out when it ends, also into a pipe or a log file, so that
  // a log is live and its standard output and standard error lines keep the
  // order in which they were written.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  return q7340Main(argc, argv);
}
