// Build tool: turns one firmware file into a payload record blob.
//   q7_payload_pack <input file> <name> <revision> <expected fileSize> <output>
// Fails, naming the file, when it is missing or its size is not the one the
// manifest lists (a file of another size is another build, and the manifest's
// revision would be stamped on it falsely).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "payload/tools/record.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s <input> <name> <revision> <fileSize> <output>\n", argv[0]);
    return 2;
  }
  const char* inputPath = argv[1];
  const char* name = argv[2];
  int32_t revision = static_cast<int32_t>(std::strtol(argv[3], nullptr, 10));
  unsigned long expectedSize = std::strtoul(argv[4], nullptr, 10);

  FILE* in = std::fopen(inputPath, "rb");
  if (in == nullptr) {
    std::fprintf(stderr, "q7_payload_pack: firmware file %s is missing or unreadable\n", inputPath);
    return 1;
  }
  std::vector<unsigned char> data;
  unsigned char chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) data.insert(data.end(), chunk, chunk + got);
  bool readError = std::ferror(in) != 0;
  std::fclose(in);
  if (readError) {
    std::fprintf(stderr, "q7_payload_pack: cannot read %s\n", inputPath);
    return 1;
  }
  if (data.size() != expectedSize) {
    std::fprintf(stderr,
                 "q7_payload_pack: %s has %zu bytes, payload/manifest.txt lists %lu for %s; "
                 "update the manifest (size and revision) for this firmware\n",
                 inputPath, data.size(), expectedSize, name);
    return 1;
  }

  std::vector<unsigned char> record;
  if (payloadBuildRecord(name, revision, data.data(), static_cast<uint32_t>(data.size()), &record) != 0) {
    std::fprintf(stderr, "q7_payload_pack: %s: name longer than 39 characters or file too large\n", name);
    return 1;
  }
  FILE* out = std::fopen(argv[5], "wb");
  if (out == nullptr || std::fwrite(record.data(), 1, record.size(), out) != record.size() ||
      std::fclose(out) != 0) {
    std::fprintf(stderr, "q7_payload_pack: cannot write %s\n", argv[5]);
    std::remove(argv[5]);  // no half-written output that looks up to date
    return 1;
  }
  return 0;
}
