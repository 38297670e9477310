// The option parser: walks the arguments one call at a time.
#include "driver/get_option.h"

#include <cstring>

int32_t optIndex = 0;
const char* optArg = nullptr;

namespace {

// ":" and ";" describe letters in the option string and are never letters themselves.
const char* findOptionLetter(const char* optionString, char letter) {
  if (letter == '\0' || letter == ':' || letter == ';') return nullptr;
  return std::strchr(optionString, letter);
}

// "-S=4" and "-S:4" read as "-S4".
const char* skipSeparator(const char* argument) {
  return (argument[0] == ':' || argument[0] == '=') ? argument + 1 : argument;
}

}  // namespace

int32_t getOption(int32_t argc, const char* const argv[], const char* optionString) {
  optArg = nullptr;
  // Stay on the end once it is reached, so a further call never reads past argv.
  if (optIndex >= argc) {
    optIndex = argc;
    return -1;
  }
  ++optIndex;
  if (optIndex >= argc) return -1;

  const char* argument = argv[optIndex];
  if (argument[0] != '-' && argument[0] != '/') {
    optArg = argument;
    return -1;
  }

  char letter = argument[1];
  const char* described = findOptionLetter(optionString, letter);
  if (described == nullptr) return static_cast<unsigned char>(letter);

  const char* rest = argument + 2;
  if (described[1] == ':') {
    if (rest[0] != '\0') {
      optArg = skipSeparator(rest);
    } else {
      ++optIndex;
      if (optIndex >= argc) return -1;  // the option's argument is missing: parsing ends
      optArg = skipSeparator(argv[optIndex]);
    }
  } else if (described[1] == ';') {
    if (rest[0] != '\0') optArg = skipSeparator(rest);
  }
  return static_cast<unsigned char>(letter);
}
