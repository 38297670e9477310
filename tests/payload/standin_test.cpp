// The carried files in their formats: S-record images with valid records and
// CR LF line ends, ELF objects a standard reader accepts, and the revision
// mark that the reader in payload/standin.h finds again.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "payload/payload.h"
#include "payload/standin.h"
#include "payload/tools/standin_write.h"

namespace {

std::vector<unsigned char> bytesOf(const PayloadRecord* record) {
  return {payloadData(record), payloadData(record) + record->fileSize};
}

// ---- S-records -------------------------------------------------------------

struct SrecSummary {
  std::string error;  // empty: every line is a valid record
  int headers = 0, data = 0, ends = 0;
  char dataType = 0;        // '2' or '3'; 0 when the types were mixed
  uint64_t dataBytes = 0;
  bool contiguous = true;   // each data record starts where the last ended
};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

SrecSummary checkSrec(const std::vector<unsigned char>& file) {
  SrecSummary summary;
  std::string text(file.begin(), file.end());
  size_t at = 0;
  uint64_t nextAddress = 0;
  bool lastWasEnd = false;
  for (int line = 1; at < text.size(); ++line) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) return summary.error = "line " + std::to_string(line) + " lacks CR LF", summary;
    std::string record = text.substr(at, end - at);
    at = end + 2;
    auto fail = [&](const std::string& why) {
      summary.error = "line " + std::to_string(line) + ": " + why + ": " + record;
      return summary;
    };
    if (record.find_first_of("\r\n") != std::string::npos) return fail("stray line end");
    if (record.size() < 10 || record[0] != 'S' || record.size() % 2 != 0) return fail("not a record");
    if (lastWasEnd) return fail("record after the S9 end record");
    std::vector<int> bytes;
    for (size_t i = 2; i < record.size(); i += 2) {
      int high = hexValue(record[i]), low = hexValue(record[i + 1]);
      if (high < 0 || low < 0) return fail("not upper-case hex");
      bytes.push_back(high * 16 + low);
    }
    if (bytes[0] + 1 != static_cast<int>(bytes.size())) return fail("count does not match the length");
    int sum = 0;
    for (int b : bytes) sum += b;
    if ((sum & 0xFF) != 0xFF) return fail("bad checksum");

    int addressBytes = 0;
    switch (record[1]) {
      case '0': ++summary.headers; addressBytes = 2; break;
      case '9': ++summary.ends; lastWasEnd = true; addressBytes = 2; break;
      case '2': case '3': {
        addressBytes = record[1] - '0' + 1;
        if (summary.data == 0) summary.dataType = record[1];
        else if (summary.dataType != record[1]) summary.dataType = 0;
        ++summary.data;
        break;
      }
      default: return fail("unexpected record type");
    }
    if (bytes[0] < addressBytes + 1) return fail("too short for its address");
    if (record[1] == '2' || record[1] == '3') {
      uint64_t address = 0;
      for (int i = 1; i <= addressBytes; ++i) address = address << 8 | static_cast<uint64_t>(bytes[i]);
      uint64_t length = static_cast<uint64_t>(bytes[0] - addressBytes - 1);
      if (summary.data > 1 && address != nextAddress) summary.contiguous = false;
      if (length == 0) return fail("data record without data");
      nextAddress = address + length;
      summary.dataBytes += length;
    }
  }
  return summary;
}

TEST(StandinSrec, CarriedImagesAreValidRecordFiles) {
  struct Image { const char* name; char dataType; };
  for (Image image : {Image{"vxWorks_rom.hex", '3'}, Image{"bootrom.hex", '3'}, Image{"vxiga.hex", '2'},
                      Image{"bbbga.hex", '2'}, Image{"fibga.hex", '2'}}) {
    SCOPED_TRACE(image.name);
    const PayloadRecord* record = payloadFind(image.name);
    ASSERT_NE(record, nullptr);
    SrecSummary summary = checkSrec(bytesOf(record));
    EXPECT_EQ(summary.error, "");
    EXPECT_EQ(summary.dataType, image.dataType);
    EXPECT_EQ(summary.ends, 1);
    EXPECT_GT(summary.data, 1000);
#ifdef Q7_STANDIN_FIRMWARE
    EXPECT_EQ(summary.headers, 1);
    EXPECT_TRUE(summary.contiguous);
#endif
  }
}

// The generator meets every even size exactly, also where the last record
// would be too short and two records share what is left.
TEST(StandinSrec, EveryEvenSizeIsMetWithValidRecords) {
  for (StandinFormat format : {StandinFormat::Srec2, StandinFormat::Srec3}) {
    for (uint32_t size = 200; size <= 400; size += 2) {
      SCOPED_TRACE(size);
      StandinFile file{"x.hex", size, 42, format, ""};
      std::vector<unsigned char> bytes;
      std::string error;
      ASSERT_TRUE(standinMake(file, &bytes, &error)) << error;
      ASSERT_EQ(bytes.size(), size);
      SrecSummary summary = checkSrec(bytes);
      ASSERT_EQ(summary.error, "");
      EXPECT_EQ(summary.dataType, format == StandinFormat::Srec3 ? '3' : '2');
      EXPECT_TRUE(summary.contiguous);
    }
  }
  StandinFile odd{"x.hex", 301, 42, StandinFormat::Srec2, ""};
  std::vector<unsigned char> bytes;
  std::string error;
  EXPECT_FALSE(standinMake(odd, &bytes, &error));
  EXPECT_NE(error, "");
}

// ---- ELF objects -------------------------------------------------------------

uint32_t be16(const std::vector<unsigned char>& b, size_t at) { return uint32_t{b[at]} << 8 | b[at + 1]; }
uint32_t be32(const std::vector<unsigned char>& b, size_t at) { return be16(b, at) << 16 | be16(b, at + 2); }

struct ElfSection { std::string name; uint32_t type, offset, size, link, info, entsize; };

// An independent reading of the section table; fails the test on any bound.
std::vector<ElfSection> elfSections(const std::vector<unsigned char>& elf) {
  std::vector<ElfSection> sections;
  uint32_t shoff = be32(elf, 32), shnum = be16(elf, 48), shstrndx = be16(elf, 50);
  EXPECT_EQ(be16(elf, 46), 40u);
  EXPECT_LE(uint64_t{shoff} + shnum * 40ull, elf.size());
  if (uint64_t{shoff} + shnum * 40ull > elf.size() || shstrndx >= shnum) return sections;
  for (uint32_t i = 0; i < shnum; ++i) {
    size_t h = shoff + i * 40;
    sections.push_back({"", be32(elf, h + 4), be32(elf, h + 16), be32(elf, h + 20), be32(elf, h + 24),
                        be32(elf, h + 28), be32(elf, h + 36)});
    EXPECT_LE(uint64_t{sections.back().offset} + sections.back().size, elf.size()) << i;
  }
  const ElfSection& names = sections[shstrndx];
  for (uint32_t i = 0; i < shnum; ++i) {
    size_t h = shoff + i * 40;
    sections[i].name = reinterpret_cast<const char*>(elf.data() + names.offset + be32(elf, h));
  }
  return sections;
}

struct ElfCase { const char* name; const char* entry; };
const ElfCase ELF_FILES[] = {{"dldmsgLib.out", "dldmsgLibInit"}, {"romupdate.out", "romupdateInit"},
                             {"selfTest.out", nullptr}};

TEST(StandinElf, HeadersOfBigEndianPowerPcRelocatables) {
  for (const ElfCase& c : ELF_FILES) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> elf = bytesOf(payloadFind(c.name));
    ASSERT_GE(elf.size(), 52u);
    const unsigned char ident[] = {0x7F, 'E', 'L', 'F', 1 /* 32-bit */, 2 /* MSB */, 1 /* EV_CURRENT */};
    EXPECT_EQ(std::vector<unsigned char>(elf.begin(), elf.begin() + 7),
              std::vector<unsigned char>(ident, ident + 7));
    EXPECT_EQ(be16(elf, 16), 1u);   // ET_REL
    EXPECT_EQ(be16(elf, 18), 20u);  // EM_PPC
    EXPECT_EQ(be32(elf, 20), 1u);   // e_version
    EXPECT_EQ(be16(elf, 40), 52u);  // e_ehsize
    std::vector<ElfSection> sections = elfSections(elf);
    ASSERT_FALSE(sections.empty());
    EXPECT_EQ(sections[0].type, 0u);
    EXPECT_EQ(sections[be16(elf, 50)].name, ".shstrtab");
  }
}

#ifdef Q7_STANDIN_FIRMWARE
TEST(StandinElf, EntryPointIsAGlobalFunction) {
  for (const ElfCase& c : ELF_FILES) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> elf = bytesOf(payloadFind(c.name));
    std::vector<ElfSection> sections = elfSections(elf);
    std::vector<std::string> names;
    const ElfSection* symtab = nullptr;
    for (const ElfSection& s : sections) {
      names.push_back(s.name);
      if (s.type == 2 /* SHT_SYMTAB */) symtab = &s;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"", ".text", ".data", ".revision", ".symtab", ".strtab",
                                               ".shstrtab"}));
    ASSERT_NE(symtab, nullptr);
    ASSERT_EQ(symtab->entsize, 16u);
    const ElfSection& strtab = sections.at(symtab->link);
    std::vector<std::string> globalFunctions;
    for (uint32_t at = symtab->offset; at < symtab->offset + symtab->size; at += 16) {
      uint32_t info = elf[at + 12];
      if (info == 0x12 /* STB_GLOBAL, STT_FUNC */) {
        globalFunctions.push_back(reinterpret_cast<const char*>(elf.data() + strtab.offset + be32(elf, at)));
        EXPECT_EQ(sections.at(be16(elf, at + 14)).name, ".text");
        EXPECT_GE((at - symtab->offset) / 16, symtab->info) << "globals follow the locals";
      }
    }
    EXPECT_EQ(globalFunctions, c.entry ? std::vector<std::string>{c.entry} : std::vector<std::string>{});
  }
}
#endif

bool haveReadelf() { return std::system("readelf --version >/dev/null 2>&1") == 0; }

std::string run(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return *status = -1, output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  *status = pclose(pipe);
  return output;
}

TEST(StandinElf, ReadelfAcceptsThem) {
  if (!haveReadelf()) GTEST_SKIP() << "readelf (binutils) is not installed";
  for (const ElfCase& c : ELF_FILES) {
    SCOPED_TRACE(c.name);
    std::string path = testing::TempDir() + "/q7_payload_" + c.name;
    std::vector<unsigned char> elf = bytesOf(payloadFind(c.name));
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(elf.data(), 1, elf.size(), file), elf.size());
    std::fclose(file);
    int status = 0;
    std::string out = run("readelf -h -S -s -W '" + path + "' 2>&1", &status);
    std::remove(path.c_str());
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("ELF32"), std::string::npos) << out;
    EXPECT_NE(out.find("big endian"), std::string::npos) << out;
    EXPECT_NE(out.find("REL (Relocatable file)"), std::string::npos) << out;
    EXPECT_NE(out.find("PowerPC"), std::string::npos) << out;
    EXPECT_EQ(out.find("readelf:"), std::string::npos) << out;  // its errors and warnings
#ifdef Q7_STANDIN_FIRMWARE
    EXPECT_NE(out.find(".revision"), std::string::npos) << out;
    if (c.entry) {
      EXPECT_NE(out.find(std::string("FUNC    GLOBAL DEFAULT    1 ") + c.entry), std::string::npos) << out;
    }
#endif
  }
}

// ---- Revision marks ---------------------------------------------------------

#ifdef Q7_STANDIN_FIRMWARE
TEST(StandinRevision, ReadsTheCarriedRevisionOfEveryFile) {
  for (const PayloadRecord* const* record = payloadRecords; *record != nullptr; ++record) {
    SCOPED_TRACE((*record)->name);
    int32_t revision = -12345;
    ASSERT_EQ(standinRevision(payloadData(*record), (*record)->fileSize, &revision), 0);
    EXPECT_EQ(revision, (*record)->revision);
  }
}
#endif

TEST(StandinRevision, RoundTripsEveryFormatAndRange) {
  const int32_t revisions[] = {0, 7, 120000, -1, std::numeric_limits<int32_t>::max(),
                               std::numeric_limits<int32_t>::min()};
  for (StandinFormat format : {StandinFormat::Elf, StandinFormat::Srec2, StandinFormat::Srec3}) {
    for (int32_t revision : revisions) {
      SCOPED_TRACE(std::to_string(static_cast<int>(format)) + " rev " + std::to_string(revision));
      std::vector<unsigned char> bytes;
      std::string error;
      ASSERT_TRUE(standinMake({"f.x", 2000, revision, format, "fInit"}, &bytes, &error)) << error;
      int32_t read = 0;
      ASSERT_EQ(standinRevision(bytes.data(), static_cast<uint32_t>(bytes.size()), &read), 0);
      EXPECT_EQ(read, revision);
    }
  }
}

std::vector<unsigned char> standin(StandinFormat format, int32_t revision) {
  std::vector<unsigned char> bytes;
  std::string error;
  EXPECT_TRUE(standinMake({"f.x", 1000, revision, format, ""}, &bytes, &error)) << error;
  return bytes;
}

void expectRefused(const std::vector<unsigned char>& bytes, uint32_t size) {
  int32_t revision = 99;
  EXPECT_EQ(standinRevision(bytes.data(), size, &revision), -1);
  EXPECT_EQ(revision, 99);
}

TEST(StandinRevision, RefusesDamagedOrForeignImages) {
  std::vector<unsigned char> elf = standin(StandinFormat::Elf, 2080609);
  expectRefused(elf, 51);                      // shorter than the ELF header
  expectRefused(elf, 200);                     // cut inside the section header table
  auto noSection = elf;
  noSection[52 + 3 * 40 + 3] ^= 0x01;          // the .revision section's name now points elsewhere
  expectRefused(noSection, static_cast<uint32_t>(noSection.size()));
  auto outside = elf;
  outside[52 + 3 * 40 + 16] = 0x7F;            // .revision offset far beyond the file
  expectRefused(outside, static_cast<uint32_t>(outside.size()));
  auto littleEndian = elf;
  littleEndian[5] = 1;
  expectRefused(littleEndian, static_cast<uint32_t>(littleEndian.size()));

  std::vector<unsigned char> srec = standin(StandinFormat::Srec3, 110000);
  auto badChecksum = srec;
  badChecksum[12] = badChecksum[12] == '0' ? '1' : '0';  // a hex digit of the header's data
  expectRefused(badChecksum, static_cast<uint32_t>(badChecksum.size()));
  expectRefused(srec, 10);                     // the header record cut short
  auto notSrec = srec;
  notSrec[0] = 'X';
  expectRefused(notSrec, static_cast<uint32_t>(notSrec.size()));
  std::vector<unsigned char> empty(1, 0);
  expectRefused(empty, 0);
  int32_t revision = 0;
  EXPECT_EQ(standinRevision(nullptr, 10, &revision), -1);
}

}  // namespace
