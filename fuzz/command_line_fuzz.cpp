// Fuzz target: arbitrary command lines and console input into the program's
// entry, with the update session replaced by a stand-in that checks the
// settings it is handed.
//
// Input: NUL-terminated arguments (argument 0 first) up to the first empty
// one; what follows it is standard input.
//
// Checks: the session is reached only with settings the driver has accepted
// (segment -1 to 4, logical address 0 to 255, text fields terminated within
// their arrays, not after -u, -? or -v), and the exit status is 0 or -1.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/console.h"
#include "driver/driver.h"
#include "driver/get_option.h"

namespace {

constexpr size_t MAX_ARGUMENTS = 24;

void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

bool terminatedWithin(const char* field, size_t capacity) {
  return std::memchr(field, '\0', capacity) != nullptr;
}

int32_t standInSession(UpdateOptions* options) {
  if (options->usageShown || options->showVersion) fail("session run after -u, -? or -v");
  if (options->segment < -1 || options->segment > 4) fail("session run with a bad segment");
  if (options->logicalAddress < 0 || options->logicalAddress > 255)
    fail("session run with a bad logical address");
  if (!terminatedWithin(options->vxiInterface, sizeof options->vxiInterface) ||
      !terminatedWithin(options->ipAddress, sizeof options->ipAddress))
    fail("session run with an unterminated text field");
  if (options->programName == nullptr) fail("session run without a program name");
  return 0;
}

FILE* sink = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) fail("cannot open /dev/null");
  consoleOut = consoleErr = sink;
  updateSessionEntry = standInSession;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Each argument in a block of its own, so that a read past its end is caught.
  std::vector<std::unique_ptr<char[]>> arguments;
  size_t at = 0;
  while (at < size && arguments.size() < MAX_ARGUMENTS) {
    const void* end = std::memchr(data + at, '\0', size - at);
    size_t length = end != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(end) - (data + at))
                                   : size - at;
    if (length == 0) {
      ++at;  // the empty argument ends the command line
      break;
    }
    auto argument = std::make_unique<char[]>(length + 1);
    std::memcpy(argument.get(), data + at, length);
    argument[length] = '\0';
    arguments.push_back(std::move(argument));
    at += length + 1;
  }
  if (at > size) at = size;
  std::vector<const char*> argv;
  for (const auto& argument : arguments) argv.push_back(argument.get());
  argv.push_back(nullptr);

  std::vector<char> input(data + at, data + size);
  FILE* in = input.empty() ? std::fopen("/dev/null", "r") : fmemopen(input.data(), input.size(), "r");
  if (in == nullptr) fail("cannot open the input stream");
  consoleIn = in;
  optIndex = 0;  // the parser's position is process-wide
  optArg = nullptr;

  int32_t status = q7340Main(static_cast<int32_t>(arguments.size()), argv.data());
  if (status != 0 && status != -1) fail("exit status other than 0 or -1");

  std::fclose(in);
  consoleIn = stdin;
  return 0;
}
