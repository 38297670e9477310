// Stand-in firmware generator.
//
// S-record image: "S0" revision header, data records of 32 bytes at
// consecutive addresses, one "S9" end record; lines end CR LF. Every line has
// an even length (8 characters of type, count, checksum and line end, plus two
// per address and data byte), so an even file size is met exactly by
// shortening the last data record, or the last two when what is left is too
// short for a record of its own.
//
// ELF object: header, section header table, .data, .revision, .symtab,
// .strtab, .shstrtab, and .text last, whose length makes up the file size.
#include "payload/tools/standin_write.h"

#include <cstring>

#include "payload/standin.h"

namespace {

// A small deterministic byte stream (xorshift32) seeded from the file name,
// so that files differ from each other and from run to run never.
struct ByteStream {
  uint32_t state;
  explicit ByteStream(const std::string& seed) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : seed) hash = (hash ^ c) * 16777619u;
    state = hash != 0 ? hash : 1;
  }
  uint32_t next32() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  unsigned char next() { return static_cast<unsigned char>(next32() >> 24); }
};

constexpr uint32_t SREC_FULL_DATA = 32;  // data bytes of an ordinary record

void appendSrec(std::vector<unsigned char>* out, char type, uint32_t address, int addressBytes,
                const unsigned char* data, uint32_t length) {
  static const char hex[] = "0123456789ABCDEF";
  unsigned char bytes[260];
  uint32_t count = static_cast<uint32_t>(addressBytes) + length + 1;
  bytes[0] = static_cast<unsigned char>(count);
  for (int i = 0; i < addressBytes; ++i) {
    bytes[1 + i] = static_cast<unsigned char>(address >> (8 * (addressBytes - 1 - i)));
  }
  if (length > 0) std::memcpy(bytes + 1 + addressBytes, data, length);
  uint32_t sum = 0;
  for (uint32_t i = 0; i < count; ++i) sum += bytes[i];
  bytes[count] = static_cast<unsigned char>(~sum);

  out->push_back('S');
  out->push_back(static_cast<unsigned char>(type));
  for (uint32_t i = 0; i <= count; ++i) {
    out->push_back(static_cast<unsigned char>(hex[bytes[i] >> 4]));
    out->push_back(static_cast<unsigned char>(hex[bytes[i] & 0xF]));
  }
  out->push_back('\r');
  out->push_back('\n');
}

uint32_t srecLineLength(int addressBytes, uint32_t dataBytes) {
  return 8 + 2 * static_cast<uint32_t>(addressBytes) + 2 * dataBytes;
}

bool makeSrec(const StandinFile& file, int addressBytes, std::vector<unsigned char>* out,
              std::string* error) {
  std::string header = std::string(STANDIN_SREC_REVISION_TAG) + std::to_string(file.revision);
  std::vector<unsigned char> headerLine;
  appendSrec(&headerLine, '0', 0, 2, reinterpret_cast<const unsigned char*>(header.data()),
             static_cast<uint32_t>(header.size()));
  std::vector<unsigned char> endLine;
  appendSrec(&endLine, '9', 0, 2, nullptr, 0);

  if (file.fileSize % 2 != 0) {
    *error = "an S-record image has an even size (every line has an even length)";
    return false;
  }
  const uint32_t fullLine = srecLineLength(addressBytes, SREC_FULL_DATA);
  const uint32_t shortestLine = srecLineLength(addressBytes, 1);
  uint64_t fixed = headerLine.size() + endLine.size();
  if (file.fileSize < fixed + fullLine + shortestLine) {
    *error = "size too small for a stand-in S-record image";
    return false;
  }

  // Data bytes of each record: full records, then a short last one, or two
  // shorter ones when what is left would not hold a record with data.
  uint32_t rest = static_cast<uint32_t>(file.fileSize - fixed);
  uint32_t fullCount = rest / fullLine;
  uint32_t left = rest % fullLine;
  std::vector<uint32_t> tail;
  if (left >= shortestLine) {
    tail.push_back((left - srecLineLength(addressBytes, 0)) / 2);
  } else if (left > 0) {
    --fullCount;
    uint32_t both = (fullLine + left - 2 * srecLineLength(addressBytes, 0)) / 2;
    tail.push_back(both / 2);
    tail.push_back(both - both / 2);
  }

  out->clear();
  out->reserve(file.fileSize);
  out->insert(out->end(), headerLine.begin(), headerLine.end());
  ByteStream stream(file.name);
  uint32_t address = addressBytes == 4 ? 0xFF800000u : 0;  // flash window; FPGA images from 0
  auto dataRecord = [&](uint32_t length) {
    unsigned char data[SREC_FULL_DATA];
    for (uint32_t i = 0; i < length; ++i) data[i] = stream.next();
    appendSrec(out, addressBytes == 4 ? '3' : '2', address, addressBytes, data, length);
    address += length;
  };
  for (uint32_t i = 0; i < fullCount; ++i) dataRecord(SREC_FULL_DATA);
  for (uint32_t length : tail) dataRecord(length);
  out->insert(out->end(), endLine.begin(), endLine.end());

  if (out->size() != file.fileSize) {
    *error = "internal error: S-record image of " + std::to_string(out->size()) + " bytes";
    return false;
  }
  return true;
}

void put16(std::vector<unsigned char>* out, size_t at, uint32_t value) {
  (*out)[at] = static_cast<unsigned char>(value >> 8);
  (*out)[at + 1] = static_cast<unsigned char>(value);
}
void put32(std::vector<unsigned char>* out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}
uint32_t align4(uint32_t value) { return (value + 3) & ~3u; }

bool makeElf(const StandinFile& file, std::vector<unsigned char>* out, std::string* error) {
  enum { SEC_NULL, SEC_TEXT, SEC_DATA, SEC_REVISION, SEC_SYMTAB, SEC_STRTAB, SEC_SHSTRTAB, SEC_COUNT };
  constexpr uint32_t EHDR_SIZE = 52, SHDR_SIZE = 40, SYM_SIZE = 16;
  constexpr uint32_t SHT_PROGBITS = 1, SHT_SYMTAB = 2, SHT_STRTAB = 3;
  constexpr uint32_t SHF_WRITE = 1, SHF_ALLOC = 2, SHF_EXECINSTR = 4;

  // String tables. Section names: "\0.text\0.data\0.revision\0.symtab\0.strtab\0.shstrtab\0".
  const char* sectionNames[SEC_COUNT] = {"", ".text", ".data", STANDIN_REVISION_SECTION,
                                         ".symtab", ".strtab", ".shstrtab"};
  std::string shstrtab(1, '\0');
  uint32_t nameAt[SEC_COUNT] = {};
  for (int i = 1; i < SEC_COUNT; ++i) {
    nameAt[i] = static_cast<uint32_t>(shstrtab.size());
    shstrtab += sectionNames[i];
    shstrtab += '\0';
  }
  std::string sourceName = file.name.substr(0, file.name.rfind('.')) + ".c";
  std::string strtab(1, '\0');
  strtab += sourceName + '\0';
  uint32_t entryNameAt = static_cast<uint32_t>(strtab.size());
  if (!file.entrySymbol.empty()) strtab += file.entrySymbol + '\0';

  // Symbols: null, the FILE symbol (local), the entry point (global FUNC).
  uint32_t symbolCount = file.entrySymbol.empty() ? 2 : 3;
  std::string revisionText = std::to_string(file.revision);
  revisionText += '\0';
  constexpr uint32_t DATA_SIZE = 16;

  uint32_t shoff = EHDR_SIZE;
  uint32_t offsets[SEC_COUNT] = {};
  uint32_t sizes[SEC_COUNT] = {0, 0, DATA_SIZE, static_cast<uint32_t>(revisionText.size()),
                               symbolCount * SYM_SIZE, static_cast<uint32_t>(strtab.size()),
                               static_cast<uint32_t>(shstrtab.size())};
  uint32_t at = shoff + SEC_COUNT * SHDR_SIZE;
  offsets[SEC_DATA] = at;
  at += sizes[SEC_DATA];
  offsets[SEC_REVISION] = at;
  at += sizes[SEC_REVISION];
  at = align4(at);
  offsets[SEC_SYMTAB] = at;
  at += sizes[SEC_SYMTAB];
  offsets[SEC_STRTAB] = at;
  at += sizes[SEC_STRTAB];
  offsets[SEC_SHSTRTAB] = at;
  at += sizes[SEC_SHSTRTAB];
  at = align4(at);
  offsets[SEC_TEXT] = at;
  if (file.fileSize < at + 8) {
    *error = "size too small for a stand-in ELF object (at least " + std::to_string(at + 8) + ")";
    return false;
  }
  sizes[SEC_TEXT] = file.fileSize - at;

  out->assign(file.fileSize, 0);
  ByteStream stream(file.name);

  // ELF header: ELFCLASS32, ELFDATA2MSB, EV_CURRENT, ET_REL, EM_PPC.
  const unsigned char ident[] = {0x7F, 'E', 'L', 'F', 1, 2, 1};
  std::memcpy(out->data(), ident, sizeof ident);
  put16(out, 16, 1);          // e_type ET_REL
  put16(out, 18, 20);         // e_machine EM_PPC
  put32(out, 20, 1);          // e_version
  put32(out, 32, shoff);      // e_shoff
  put16(out, 40, EHDR_SIZE);  // e_ehsize
  put16(out, 46, SHDR_SIZE);  // e_shentsize
  put16(out, 48, SEC_COUNT);  // e_shnum
  put16(out, 50, SEC_SHSTRTAB);

  struct Header { uint32_t type, flags, link, info, align, entsize; };
  const Header headers[SEC_COUNT] = {
      {0, 0, 0, 0, 0, 0},
      {SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, 0, 0, 4, 0},
      {SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, 0, 0, 4, 0},
      {SHT_PROGBITS, 0, 0, 0, 1, 0},
      {SHT_SYMTAB, 0, SEC_STRTAB, 2 /* first global symbol */, 4, SYM_SIZE},
      {SHT_STRTAB, 0, 0, 0, 1, 0},
      {SHT_STRTAB, 0, 0, 0, 1, 0},
  };
  for (uint32_t i = 1; i < SEC_COUNT; ++i) {
    size_t h = shoff + i * SHDR_SIZE;
    put32(out, h, nameAt[i]);
    put32(out, h + 4, headers[i].type);
    put32(out, h + 8, headers[i].flags);
    put32(out, h + 16, offsets[i]);
    put32(out, h + 20, sizes[i]);
    put32(out, h + 24, headers[i].link);
    put32(out, h + 28, headers[i].info);
    put32(out, h + 32, headers[i].align);
    put32(out, h + 36, headers[i].entsize);
  }

  for (uint32_t i = 0; i < DATA_SIZE; ++i) (*out)[offsets[SEC_DATA] + i] = stream.next();
  std::memcpy(out->data() + offsets[SEC_REVISION], revisionText.data(), revisionText.size());
  std::memcpy(out->data() + offsets[SEC_STRTAB], strtab.data(), strtab.size());
  std::memcpy(out->data() + offsets[SEC_SHSTRTAB], shstrtab.data(), shstrtab.size());

  size_t symbol = offsets[SEC_SYMTAB] + SYM_SIZE;  // entry 0 stays all zero
  put32(out, symbol, 1);                          // st_name: the source file
  (*out)[symbol + 12] = 0x04;                     // STB_LOCAL, STT_FILE
  put16(out, symbol + 14, 0xFFF1);                // SHN_ABS
  if (!file.entrySymbol.empty()) {
    symbol += SYM_SIZE;
    put32(out, symbol, entryNameAt);
    put32(out, symbol + 8, 8);       // st_size: the two instructions below
    (*out)[symbol + 12] = 0x12;      // STB_GLOBAL, STT_FUNC
    put16(out, symbol + 14, SEC_TEXT);
  }

  // .text: "li r3,0; blr" at the entry point, then filler.
  size_t text = offsets[SEC_TEXT];
  put32(out, text, 0x38600000);
  put32(out, text + 4, 0x4E800020);
  for (size_t i = text + 8; i < file.fileSize; ++i) (*out)[i] = stream.next();
  return true;
}

}  // namespace

bool standinParseFormat(const std::string& text, StandinFormat* format) {
  if (text == "elf") *format = StandinFormat::Elf;
  else if (text == "srec3") *format = StandinFormat::Srec3;
  else if (text == "srec2") *format = StandinFormat::Srec2;
  else return false;
  return true;
}

bool standinMake(const StandinFile& file, std::vector<unsigned char>* bytes, std::string* error) {
  switch (file.format) {
    case StandinFormat::Elf: return makeElf(file, bytes, error);
    case StandinFormat::Srec3: return makeSrec(file, 4, bytes, error);
    case StandinFormat::Srec2: return makeSrec(file, 3, bytes, error);
  }
  *error = "unknown format";
  return false;
}
