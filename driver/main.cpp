// The program: its exit status is the entry's (-1 reaches the shell as 255).
#include "driver/driver.h"

int main(int argc, char* argv[]) { return q7340Main(argc, argv); }
