// Fuzz target: arbitrary bytes as a firmware image into standinRevision, the
// reader that finds the revision a stand-in ELF object or S-record image
// carries. It must read no byte outside the image and answer 0 or -1.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "payload/standin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t revision = 0;
  int32_t result = standinRevision(data, static_cast<uint32_t>(size), &revision);
  if (result != 0 && result != -1) {
    std::fprintf(stderr, "fuzz check failed: standinRevision returned %d\n", result);
    std::abort();
  }
  return 0;
}
