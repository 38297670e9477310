// The carried records: the release's names, sizes and revisions, and the
// record layout around the data (header, padding, trailer).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "payload/payload.h"
#include "payload/tools/record.h"

namespace {

struct Carried {
  const char* name;
  uint32_t fileSize;
  int32_t revision;
};

const Carried RELEASE[] = {
    {"dldmsgLib.out", 34664, 2080609},  {"romupdate.out", 21990, 2080609},
    {"vxWorks_rom.hex", 3459174, 110000}, {"vxiga.hex", 518288, 2051614},
    {"bbbga.hex", 1423782, 2071509},    {"fibga.hex", 674128, 3041016},
    {"selfTest.out", 485500, 10800},    {"bootrom.hex", 566030, 110000},
};

// Checks the bytes around the data of a record laid out in memory.
void expectLayout(const unsigned char* bytes, uint32_t fileSize) {
  const auto* record = reinterpret_cast<const PayloadRecord*>(bytes);
  uint32_t padded = (fileSize + 3) / 4 * 4;
  EXPECT_EQ(record->recordSize, 52 + padded + 4);
  EXPECT_EQ(record->fileSize, fileSize);
  size_t nameLength = strnlen(record->name, sizeof record->name);
  ASSERT_LT(nameLength, sizeof record->name);
  for (size_t i = nameLength; i < sizeof record->name; ++i) EXPECT_EQ(record->name[i], '\0') << i;
  for (uint32_t i = fileSize; i < padded; ++i) EXPECT_EQ(bytes[52 + i], 0) << "padding byte " << i;
  for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(bytes[52 + padded + i], 0x0A) << "trailer byte " << i;
  if (fileSize % 4 == 0) {
    EXPECT_EQ(record->recordSize, fileSize + 56);
  }
}

TEST(PayloadRecords, CarryTheReleaseInTableOrder) {
  for (int i = 0; i < PAYLOAD_RECORD_COUNT; ++i) {
    SCOPED_TRACE(RELEASE[i].name);
    const PayloadRecord* record = payloadRecords[i];
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->name, RELEASE[i].name);
    EXPECT_EQ(record->revision, RELEASE[i].revision);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record) % 4, 0u);
    EXPECT_EQ(payloadData(record), reinterpret_cast<const unsigned char*>(record) + 52);
    expectLayout(reinterpret_cast<const unsigned char*>(record), RELEASE[i].fileSize);
  }
  EXPECT_EQ(payloadRecords[PAYLOAD_RECORD_COUNT], nullptr);
}

TEST(PayloadRecords, FindByExactName) {
  for (const Carried& carried : RELEASE) EXPECT_EQ(payloadFind(carried.name)->fileSize, carried.fileSize);
  EXPECT_EQ(payloadFind("vxiga"), nullptr);
  EXPECT_EQ(payloadFind("vxiga.hex "), nullptr);
  EXPECT_EQ(payloadFind("VXIGA.HEX"), nullptr);
  EXPECT_EQ(payloadFind(""), nullptr);
  EXPECT_EQ(payloadFind(nullptr), nullptr);
}

// Every remainder of fileSize modulo 4, directly on the builder.
TEST(PayloadRecordBuilder, PadsToFourAndAppendsTheTrailer) {
  for (uint32_t size = 0; size <= 9; ++size) {
    SCOPED_TRACE(size);
    std::vector<unsigned char> data(size);
    for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>(0xA0 + i);
    std::vector<unsigned char> record;
    ASSERT_EQ(payloadBuildRecord("file.bin", -7, data.data(), size, &record), 0);
    ASSERT_EQ(record.size(), 52 + (size + 3) / 4 * 4 + 4);
    expectLayout(record.data(), size);
    const auto* header = reinterpret_cast<const PayloadRecord*>(record.data());
    EXPECT_EQ(header->revision, -7);
    EXPECT_STREQ(header->name, "file.bin");
    if (size > 0) {
      EXPECT_EQ(std::memcmp(payloadData(header), data.data(), size), 0);
    }
  }
}

TEST(PayloadRecordBuilder, RefusesNamesThatDoNotFit) {
  std::vector<unsigned char> record;
  unsigned char byte = 1;
  EXPECT_EQ(payloadBuildRecord(std::string(39, 'n').c_str(), 1, &byte, 1, &record), 0);
  EXPECT_EQ(record[52 - 1], '\0');
  EXPECT_EQ(payloadBuildRecord(std::string(40, 'n').c_str(), 1, &byte, 1, &record), -1);
  EXPECT_EQ(payloadBuildRecord("", 1, &byte, 1, &record), -1);
}

}  // namespace
