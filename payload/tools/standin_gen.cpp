// Build tool: writes one stand-in firmware file.
//   q7_standin_gen <name> <fileSize> <revision> <elf|srec3|srec2> <entry symbol or -> <output>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "payload/tools/standin_write.h"

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr,
                 "usage: %s <name> <fileSize> <revision> <elf|srec3|srec2> <entry|-> <output>\n",
                 argv[0]);
    return 2;
  }
  StandinFile file;
  file.name = argv[1];
  file.fileSize = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
  file.revision = static_cast<int32_t>(std::strtol(argv[3], nullptr, 10));
  if (!standinParseFormat(argv[4], &file.format)) {
    std::fprintf(stderr, "q7_standin_gen: %s: unknown format \"%s\"\n", argv[1], argv[4]);
    return 1;
  }
  if (std::string(argv[5]) != "-") file.entrySymbol = argv[5];

  std::vector<unsigned char> bytes;
  std::string error;
  if (!standinMake(file, &bytes, &error)) {
    std::fprintf(stderr, "q7_standin_gen: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  FILE* out = std::fopen(argv[6], "wb");
  if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "q7_standin_gen: cannot write %s\n", argv[6]);
    std::remove(argv[6]);  // no half-written output that looks up to date
    return 1;
  }
  return 0;
}
