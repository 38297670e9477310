#include "driver/long_options.h"

#include <cstring>

int32_t takeLongOptions(int32_t argc, const char* const argv[], LongOptions* options,
                        const char* rest[], int32_t capacity) {
  static const char visaLibrary[] = "--visa-library=";
  static const char visaTrace[] = "--visa-trace=";
  static const char report[] = "--report=";
  int32_t count = 0;
  for (int32_t i = 0; i < argc && argv[i] != nullptr; ++i) {
    const char* argument = argv[i];
    if (i > 0 && std::strcmp(argument, "--help") == 0) {
      options->help = 1;
    } else if (i > 0 && std::strcmp(argument, "--version") == 0) {
      options->version = 1;
    } else if (i > 0 && std::strncmp(argument, visaLibrary, sizeof visaLibrary - 1) == 0) {
      options->visaLibrary = argument + sizeof visaLibrary - 1;
    } else if (i > 0 && std::strncmp(argument, visaTrace, sizeof visaTrace - 1) == 0) {
      options->visaTrace = argument + sizeof visaTrace - 1;
    } else if (i > 0 && std::strncmp(argument, report, sizeof report - 1) == 0) {
      options->report = argument + sizeof report - 1;
    } else if (count < capacity) {
      rest[count++] = argument;
    }
  }
  rest[count] = nullptr;
  return count;
}
