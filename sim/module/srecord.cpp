// S-record parsing: one record per line, "S", a type digit, a count byte,
// address, data and a checksum byte in hex; the checksum is the one's
// complement of the sum of the count, address and data bytes.
#include "sim/module/srecord.h"

namespace sim::module {

namespace {

int hexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One record's line (without its line end): true and its type when sound.
bool recordIsSound(const uint8_t* line, size_t length, char* type) {
  if (length < 4 || line[0] != 'S' || (length - 2) % 2 != 0) return false;
  *type = static_cast<char>(line[1]);
  size_t bytes = (length - 2) / 2;
  unsigned sum = 0;
  int count = -1;
  for (size_t i = 0; i < bytes; ++i) {
    int high = hexValue(line[2 + 2 * i]), low = hexValue(line[3 + 2 * i]);
    if (high < 0 || low < 0) return false;
    unsigned value = static_cast<unsigned>(high * 16 + low);
    if (i == 0) count = static_cast<int>(value);
    sum += value;
  }
  // The count covers address, data and checksum: all bytes after itself.
  if (count != static_cast<int>(bytes) - 1) return false;
  return (sum & 0xFF) == 0xFF;
}

}  // namespace

bool srecordImageIsSound(const uint8_t* data, size_t size, char dataType) {
  size_t at = 0;
  size_t records = 0, dataRecords = 0;
  bool ended = false;
  while (at < size) {
    size_t end = at;
    while (end < size && data[end] != '\n') ++end;
    size_t length = end - at;
    if (length > 0 && data[at + length - 1] == '\r') --length;
    if (length > 0) {
      char type = 0;
      if (ended || !recordIsSound(data + at, length, &type)) return false;
      if (type == '0') {
        if (records != 0) return false;
      } else if (type == dataType) {
        ++dataRecords;
      } else if (type == '9') {
        ended = true;
      } else {
        return false;
      }
      ++records;
    }
    at = end + 1;
  }
  return ended && dataRecords > 0;
}

}  // namespace sim::module
