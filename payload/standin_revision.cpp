// Reads the revision mark of a stand-in image back (see standin.h). Every
// offset and length taken from the image is checked against its size first,
// since the image may be any bytes a module was sent.
#include "payload/standin.h"

#include <cstring>

namespace {

// Parses an optional '-' and decimal digits in text[0..length), stopping at
// a NUL or the end. Returns 0, or -1 when there is no digit, another
// character follows, or the value leaves the int32_t range.
int32_t parseDecimal(const unsigned char* text, uint32_t length, int32_t* value) {
  uint32_t at = 0;
  bool negative = false;
  if (at < length && text[at] == '-') {
    negative = true;
    ++at;
  }
  int64_t magnitude = 0;
  uint32_t digits = 0;
  for (; at < length && text[at] != '\0'; ++at) {
    if (text[at] < '0' || text[at] > '9') return -1;
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) return -1;
    ++digits;
  }
  if (digits == 0) return -1;
  int64_t result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN) return -1;
  *value = static_cast<int32_t>(result);
  return 0;
}

uint32_t big16(const unsigned char* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t big32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// ELF32, big-endian: the contents of the section named ".revision".
int32_t elfRevision(const unsigned char* data, uint32_t size, int32_t* revision) {
  constexpr uint32_t EHDR_SIZE = 52;
  constexpr uint32_t SHDR_SIZE = 40;
  if (size < EHDR_SIZE || data[4] != 1 /* ELFCLASS32 */ || data[5] != 2 /* ELFDATA2MSB */) {
    return -1;
  }
  uint64_t shoff = big32(data + 32);
  uint32_t shentsize = big16(data + 46);
  uint32_t shnum = big16(data + 48);
  uint32_t shstrndx = big16(data + 50);
  if (shentsize != SHDR_SIZE || shstrndx >= shnum || shoff + uint64_t{shnum} * SHDR_SIZE > size) {
    return -1;
  }
  const unsigned char* names = data + shoff + uint64_t{shstrndx} * SHDR_SIZE;
  uint64_t namesOffset = big32(names + 16);
  uint64_t namesSize = big32(names + 20);
  if (namesOffset + namesSize > size) return -1;

  uint32_t wantedLength = static_cast<uint32_t>(std::strlen(STANDIN_REVISION_SECTION)) + 1;
  for (uint32_t index = 1; index < shnum; ++index) {
    const unsigned char* section = data + shoff + uint64_t{index} * SHDR_SIZE;
    uint64_t nameAt = big32(section);
    if (nameAt + wantedLength > namesSize ||
        std::memcmp(data + namesOffset + nameAt, STANDIN_REVISION_SECTION, wantedLength) != 0) {
      continue;
    }
    uint64_t offset = big32(section + 16);
    uint64_t length = big32(section + 20);
    if (offset + length > size) return -1;
    return parseDecimal(data + offset, static_cast<uint32_t>(length), revision);
  }
  return -1;
}

int32_t hexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The S0 header records that open an S-record image, up to the first other
// record: the first whose data begins with "rev=" gives the revision.
int32_t srecRevision(const unsigned char* data, uint32_t size, int32_t* revision) {
  const uint32_t tagLength = static_cast<uint32_t>(std::strlen(STANDIN_SREC_REVISION_TAG));
  uint32_t at = 0;
  while (at + 4 <= size && data[at] == 'S' && data[at + 1] == '0') {
    int32_t high = hexDigit(data[at + 2]);
    int32_t low = hexDigit(data[at + 3]);
    if (high < 0 || low < 0) return -1;
    uint32_t count = static_cast<uint32_t>(high * 16 + low);  // address, data and checksum bytes
    if (count < 3 || at + 4 + 2 * count > size) return -1;

    unsigned char bytes[255];
    uint32_t sum = count;
    for (uint32_t i = 0; i < count; ++i) {
      high = hexDigit(data[at + 4 + 2 * i]);
      low = hexDigit(data[at + 5 + 2 * i]);
      if (high < 0 || low < 0) return -1;
      bytes[i] = static_cast<unsigned char>(high * 16 + low);
      sum += bytes[i];
    }
    if ((sum & 0xFF) != 0xFF) return -1;  // the checksum byte completes the sum to 0xFF

    const unsigned char* text = bytes + 2;  // behind the 16-bit address
    uint32_t textLength = count - 3;
    if (textLength > tagLength && std::memcmp(text, STANDIN_SREC_REVISION_TAG, tagLength) == 0) {
      return parseDecimal(text + tagLength, textLength - tagLength, revision);
    }

    at += 4 + 2 * count;
    while (at < size && (data[at] == '\r' || data[at] == '\n')) ++at;
  }
  return -1;
}

}  // namespace

int32_t standinRevision(const unsigned char* data, uint32_t size, int32_t* revision) {
  if (data == nullptr || revision == nullptr) return -1;
  if (size >= 4 && data[0] == 0x7F && data[1] == 'E' && data[2] == 'L' && data[3] == 'F') {
    return elfRevision(data, size, revision);
  }
  return srecRevision(data, size, revision);
}
