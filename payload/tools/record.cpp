// The layout of one payload record, built byte by byte.
#include "payload/tools/record.h"

#include <cstring>

#include "payload/payload.h"

int32_t payloadBuildRecord(const char* name, int32_t revision, const unsigned char* data,
                           uint32_t fileSize, std::vector<unsigned char>* record) {
  PayloadRecord header{};
  size_t nameLength = std::strlen(name);
  if (nameLength == 0 || nameLength >= sizeof(header.name)) return -1;
  uint64_t paddedSize = (uint64_t{fileSize} + 3) / 4 * 4;
  uint64_t recordSize = sizeof(PayloadRecord) + paddedSize + 4;
  if (recordSize > UINT32_MAX) return -1;

  header.recordSize = static_cast<uint32_t>(recordSize);
  header.fileSize = fileSize;
  header.revision = revision;
  std::memcpy(header.name, name, nameLength);  // the rest stays NUL

  record->assign(header.recordSize, 0);
  std::memcpy(record->data(), &header, sizeof header);
  if (fileSize > 0) std::memcpy(record->data() + sizeof header, data, fileSize);
  std::memset(record->data() + sizeof header + paddedSize, 0x0A, 4);
  return 0;
}
